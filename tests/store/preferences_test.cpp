#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

class PreferencesTest : public test::StoreFixture {
protected:
    fs::path folder() const { return temp.path() / "config"; }
    fs::path file() const { return folder() / "preferences.json"; }
    void startWith(const std::optional<std::string>& bytes) {
        fs::remove_all(folder());
        store->setPersistenceError(std::nullopt);
        if (bytes)
            test::writeFile(file(), *bytes);
        store->usePreferences(PreferencesStorage(folder()));
    }
};

TEST_F(PreferencesTest, ChangesAreSavedWithKeysThisVersionDoesNotKnowUnlessTheSaveFails) {
    startWith(R"({"futureKey": {"nested": [1, 2]}, "latencyPreset": "low", "fadeSeconds": 60})");
    EXPECT_EQ(store->preferences().latencyPreset, LatencyPreset::low);
    EXPECT_EQ(store->preferences().fadeSeconds, Preferences::maximumFadeSeconds);
    Preferences changed = store->preferences();
    changed.mirrorTargets = {{"10.0.0.2:53535", "비밀"}};
    changed.midiMappings = {{"fade", MidiMapping::Kind::controller, 64, 10}};
    ASSERT_TRUE(store->setPreferences(changed));
    const Preferences reread = decodePreferences(test::readFile(file()));
    EXPECT_EQ(reread, changed);
    EXPECT_EQ(reread.otherKeys.at("futureKey"), R"({"nested":[1,2]})");
    // A port out of range stays visible to its own check rather than becoming a default.
    const auto decoded = decodePreferences(R"({"fadeSeconds": 0.1, "oscPort": 70000})");
    EXPECT_EQ(std::pair(decoded.fadeSeconds, decoded.oscPort),
              std::pair(Preferences::minimumFadeSeconds, 70000));

    fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::writeAtomically);
    changed.fadeSeconds = 4.0;
    EXPECT_FALSE(store->setPreferences(changed));
    EXPECT_EQ(store->preferences(), reread);
    EXPECT_TRUE(store->persistenceError());
}

TEST_F(PreferencesTest, AnUnusableFileGivesTheDefaultsIsPreservedAndTheUserIsTold) {
    for (const std::string& bytes :
         {std::string("{not json"), std::string(R"({"oscEnabled": "yes"})"),
          std::string(R"({"latencyPreset": "fastest"})"),
          std::string(40, '[') + std::string(40, ']')}) {
        SCOPED_TRACE(bytes);
        startWith(bytes);
        EXPECT_EQ(store->preferences(), Preferences{});
        EXPECT_NE(store->persistenceError().value_or("").find(
                      "환경설정 파일을 읽지 못해 기본값을 사용합니다."),
                  std::string::npos);
        // The original is kept beside it, untouched, until the user changes a setting.
        EXPECT_EQ(test::readFile(file()), bytes);
        EXPECT_EQ(test::entryNames(folder()).size(), 2u);
    }
}

TEST_F(PreferencesTest, AFifoIsNotOpenedAndAMissingFileIsNotWritten) {
    startWith(std::nullopt);
    EXPECT_FALSE(store->persistenceError());
    EXPECT_FALSE(fs::exists(folder()));
    fs::create_directories(folder());
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    store->usePreferences(PreferencesStorage(folder()));  // would block forever if opened
    EXPECT_EQ(store->preferences(), Preferences{});
    EXPECT_TRUE(store->persistenceError());
}

}  // namespace
}  // namespace tavrel
