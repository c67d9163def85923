#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/signal_files.h"
#include "model/document_json.h"
#include "run_tavrel.h"
#include "support/bad_media.h"
#include "support/fault_injecting_file_system.h"
#include "support/scoped_environment_variable.h"

namespace tavrel {
namespace {

TEST(CheckCommand, MissingAndUnplayableMediaAreListedAndFailWithoutHanging) {
    test::TemporaryDirectory library;
    std::filesystem::create_directories(library.path() / "Media");
    test::writeBadMedia(library.path() / "Media");
    test::writeWav(library.path() / "Media" / "audio-present.wav", test::sines({{440, 0.3}}, 0.5));
    auto document = CueDocument::empty();
    document.slots[0].title = "오프닝";
    const auto files = {"audio-present.wav", "audio-gone.wav", "fifo.mp3", "zeros.mp3",
                        "noise.mp3"};
    for (std::size_t i = 0; const char* file : files)
        document.slots[i++].audioFilename = file;
    document.loopTracks.push_back({.title = "배경", .audioFilename = "loop-gone.mp3"});
    test::writeFile(library.path() / "cues.json", encodeDocument(document));
    const auto before = test::entryNames(library.path());

    const std::string unplayable = ".mp3 | 음원 파일을 재생할 수 없습니다. (";
    test::expectRun(
        test::runTavrel("--check", library.path()), 1,
        {"1 | 오프닝 | audio-present.wav | 재생 가능", "2 | 큐 2 | audio-gone.wav | 파일 없음",
         "배경 | loop-gone.mp3 | 파일 없음", "재생할 수 없는 미디어 파일 5개", "fifo" + unplayable,
         "zeros" + unplayable, "noise" + unplayable});
    EXPECT_EQ(test::entryNames(library.path()), before);
}

// A private sound server with one null sink, as the operator's machine has its own.
struct PrivateSoundServer {
    PrivateSoundServer() : started(run("start", " tavrel_check_sink")) {}
    ~PrivateSoundServer() { run("stop", ""); }
    bool run(const char* verb, const char* rest) const {
        const std::string command = std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " " + verb +
                                    " '" + runtime.path().string() + "'" + rest;
        return std::system(command.c_str()) == 0;
    }
    std::string address() const { return "unix:" + (runtime.path() / "pulse" / "native").string(); }

    test::TemporaryDirectory runtime;
    const bool started;
};

TEST(OutputsCommand, ListsTheServersOutputsAndTheCheckNamesTheOneItWouldUse) {
    test::TemporaryDirectory library;
    test::TemporaryDirectory config;
    const test::ScopedEnvironmentVariable configFolder("TAVREL_CONFIG_DIR", config.path().c_str());
    {
        const test::ScopedEnvironmentVariable nowhere("PULSE_SERVER", "unix:/nonexistent/native");
        test::expectRun(test::runTavrel("--outputs", library.path()), 1,
                        {"사운드 서버가 응답하지 않습니다."});
    }
    PrivateSoundServer server;
    ASSERT_TRUE(server.started);
    const test::ScopedEnvironmentVariable there("PULSE_SERVER", server.address().c_str());
    test::expectRun(test::runTavrel("--outputs", library.path()), 0, {"tavrel_check_sink\t"});

    test::writeFile(config.path() / "preferences.json",
                    R"({"outputDevice": "tavrel_check_sink", "latencyPreset": "low"})");
    // An empty library passes, lists the empty board and writes nothing.
    test::expectRun(test::runTavrel("--check", library.path()), 0,
                    {"(tavrel_check_sink), 지연: 저지연", "= | 큐 12"});
    EXPECT_EQ(test::entryNames(config.path()), std::set<std::string>{"preferences.json"});
    EXPECT_TRUE(test::entryNames(library.path()).empty());
}

}  // namespace
}  // namespace tavrel
