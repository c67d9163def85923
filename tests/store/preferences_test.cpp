#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Operation = test::FaultInjectingFileSystem::Operation;

class PreferencesTest : public test::StoreFixture {
protected:
    fs::path folder() const { return temp.path() / "config"; }
    fs::path file() const { return folder() / "preferences.json"; }
    void startWith(const std::optional<std::string>& bytes) {
        if (bytes) {
            fs::create_directories(folder());
            test::writeFile(file(), *bytes);
        }
        store->usePreferences(PreferencesStorage(folder()));
    }
};

TEST_F(PreferencesTest, ChangesAreSavedAndReadBackWithKeysThisVersionDoesNotKnow) {
    startWith(R"({"futureKey": {"nested": [1, 2]}, "latencyPreset": "low", "oscPort": 9000})");
    EXPECT_EQ(store->preferences().latencyPreset, LatencyPreset::low);
    EXPECT_EQ(store->preferences().oscPort, 9000);
    EXPECT_EQ(store->preferences().midiMappings.size(), 12u);
    EXPECT_EQ(store->preferences().midiMappings[11].number, 47);

    Preferences changed = store->preferences();
    changed.outputDevice = "hall.monitor";
    changed.mirrorTargets = {{"10.0.0.2:53535", "비밀"}};
    changed.midiMappings = {{"fade", MidiMapping::Kind::controller, 64, 10}};
    ASSERT_TRUE(store->setPreferences(changed));

    const Preferences reread = decodePreferences(test::readFile(file()));
    EXPECT_EQ(reread, changed);
    EXPECT_EQ(reread.otherKeys.at("futureKey"), R"({"nested":[1,2]})");
    EXPECT_FALSE(store->persistenceError());
}

TEST_F(PreferencesTest, AnUnusableFileGivesTheDefaultsIsPreservedAndTheUserIsTold) {
    for (const std::string& bytes : std::vector<std::string>{
             "{not json", "[]", R"({"oscEnabled": "yes"})", R"({"latencyPreset": "fastest"})",
             std::string(40, '[') + std::string(40, ']')}) {
        SCOPED_TRACE(bytes);
        fs::remove_all(folder());
        store->setPersistenceError(std::nullopt);
        startWith(bytes);
        EXPECT_EQ(store->preferences(), Preferences{});
        ASSERT_TRUE(store->persistenceError());
        EXPECT_NE(store->persistenceError()->find("환경설정 파일을 읽지 못해 기본값을 사용합니다."),
                  std::string::npos);
        // The original is kept beside it, untouched, until the user changes a setting.
        EXPECT_EQ(test::readFile(file()), bytes);
        EXPECT_EQ(test::entryNames(folder()).size(), 2u);
    }
}

TEST_F(PreferencesTest, AFifoIsNotOpenedAndAMissingFileIsNotWritten) {
    fs::create_directories(folder());
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    startWith(std::nullopt);  // would block forever if opened
    EXPECT_EQ(store->preferences(), Preferences{});
    EXPECT_TRUE(store->persistenceError());

    fs::remove_all(folder());
    store->setPersistenceError(std::nullopt);
    startWith(std::nullopt);
    EXPECT_FALSE(store->persistenceError());
    EXPECT_FALSE(fs::exists(folder()));
}

TEST_F(PreferencesTest, AFailedSaveChangesNothingAndSaysWhy) {
    startWith(std::nullopt);
    fileSystem.failEvery(Operation::writeAtomically);
    Preferences changed = store->preferences();
    changed.fadeSeconds = 4.0;
    EXPECT_FALSE(store->setPreferences(changed));
    EXPECT_EQ(store->preferences(), Preferences{});
    EXPECT_TRUE(store->persistenceError());
}

TEST(PreferencesDecoding, FadeIsClampedAndOutOfRangePortsStayVisibleToTheirCheck) {
    const auto decoded = decodePreferences(R"({"fadeSeconds": 60, "oscPort": 70000})");
    EXPECT_EQ(decoded.fadeSeconds, Preferences::maximumFadeSeconds);
    EXPECT_EQ(decoded.oscPort, 70000);
    EXPECT_EQ(decodePreferences(R"({"fadeSeconds": 0.1})").fadeSeconds,
              Preferences::minimumFadeSeconds);
}

}  // namespace
}  // namespace tavrel
