#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/signal_files.h"
#include "model/document_json.h"
#include "run_tavrel.h"
#include "support/bad_media.h"
#include "support/fault_injecting_file_system.h"
#include "support/scoped_environment_variable.h"

namespace tavrel {
namespace {

test::RunResult runCheck(const std::filesystem::path& library) {
    return test::runTavrel("--check", library);
}

TEST(CheckCommand, MissingAndUnplayableMediaAreListedAndFailWithoutHanging) {
    test::TemporaryDirectory library;
    std::filesystem::create_directories(library.path() / "Media");
    const auto bad = test::writeBadMedia(library.path() / "Media");
    test::writeWav(library.path() / "Media" / "audio-present.wav", test::sines({{440, 0.3}}, 0.5));
    auto document = CueDocument::empty();
    document.slots[0].title = "오프닝";
    document.slots[0].audioFilename = "audio-present.wav";
    document.slots[1].audioFilename = "audio-gone.wav";
    for (std::size_t i = 0; i < bad.all().size(); ++i)
        document.slots[2 + i].audioFilename = bad.all()[i].filename().string();
    LoopTrack track;
    track.title = "배경";
    track.audioFilename = "loop-gone.mp3";
    document.loopTracks.push_back(track);
    test::writeFile(library.path() / "cues.json", encodeDocument(document));
    const auto before = test::entryNames(library.path());

    const auto result = runCheck(library.path());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    for (const std::string line :
         {"1 | 오프닝 | audio-present.wav | 재생 가능", "2 | 큐 2 | audio-gone.wav | 파일 없음",
          "배경 | loop-gone.mp3 | 파일 없음", "재생할 수 없는 미디어 파일 5개"})
        EXPECT_NE(result.output.find(line), std::string::npos) << line << "\n" << result.output;
    for (const auto& file : bad.all()) {
        EXPECT_NE(
            result.output.find(file.filename().string() + " | 음원 파일을 재생할 수 없습니다. ("),
            std::string::npos)
            << result.output;
    }
    EXPECT_EQ(test::entryNames(library.path()), before);
}

// A private sound server with one null sink, as the operator's machine has its own.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        const std::string start = std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " start '" +
                                  m_runtime.path().string() + "' tavrel_check_sink";
        m_started = std::system(start.c_str()) == 0;
    }
    ~PrivateSoundServer() {
        const std::string stop = std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " stop '" +
                                 m_runtime.path().string() + "'";
        [[maybe_unused]] const int ignored = std::system(stop.c_str());
    }
    bool started() const { return m_started; }
    std::string address() const {
        return "unix:" + (m_runtime.path() / "pulse" / "native").string();
    }

private:
    test::TemporaryDirectory m_runtime;
    bool m_started = false;
};

TEST(OutputsCommand, ListsTheServersOutputsAndTheCheckNamesTheOneItWouldUse) {
    test::TemporaryDirectory library;
    test::TemporaryDirectory config;
    const test::ScopedEnvironmentVariable configFolder("TAVREL_CONFIG_DIR", config.path().c_str());
    {
        const test::ScopedEnvironmentVariable nowhere("PULSE_SERVER", "unix:/nonexistent/native");
        const auto none = test::runTavrel("--outputs", library.path());
        EXPECT_EQ(none.exitCode, 1) << none.output;
        EXPECT_NE(none.output.find("사운드 서버가 응답하지 않습니다."), std::string::npos);
    }
    PrivateSoundServer server;
    ASSERT_TRUE(server.started());
    const test::ScopedEnvironmentVariable there("PULSE_SERVER", server.address().c_str());
    const auto listed = test::runTavrel("--outputs", library.path());
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find("tavrel_check_sink\t"), std::string::npos) << listed.output;

    test::writeFile(config.path() / "preferences.json",
                    R"({"outputDevice": "tavrel_check_sink", "latencyPreset": "low"})");
    const auto check = test::runTavrel("--check", library.path());
    EXPECT_NE(check.output.find("(tavrel_check_sink), 지연: 저지연"), std::string::npos)
        << check.output;
    // An empty library passes, lists the empty board and writes nothing.
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("= | 큐 12"), std::string::npos) << check.output;
    EXPECT_EQ(test::entryNames(config.path()), std::set<std::string>{"preferences.json"});
    EXPECT_TRUE(test::entryNames(library.path()).empty());
}

}  // namespace
}  // namespace tavrel
