#include <gtest/gtest.h>

#include <string>

#include "model/document_json.h"
#include "run_tavrel.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel {
namespace {

test::RunResult runCheck(const std::filesystem::path& library) {
    return test::runTavrel("--check", library);
}

TEST(CheckCommand, EmptyLibraryPassesAndWritesNothing) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    const auto result = runCheck(library);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(library.string()), std::string::npos);
    EXPECT_NE(result.output.find("= | 큐 12"), std::string::npos) << result.output;
    EXPECT_FALSE(std::filesystem::exists(library));
}

TEST(CheckCommand, MissingMediaIsListedAndFails) {
    test::TemporaryDirectory library;
    auto document = CueDocument::empty();
    document.slots[0].title = "오프닝";
    document.slots[0].audioFilename = "audio-present.wav";
    document.slots[1].audioFilename = "audio-gone.wav";
    LoopTrack track;
    track.title = "배경";
    track.audioFilename = "loop-gone.mp3";
    document.loopTracks.push_back(track);
    test::writeFile(library.path() / "cues.json", encodeDocument(document));
    test::writeFile(library.path() / "Media" / "audio-present.wav", "x");
    const auto before = test::entryNames(library.path());

    const auto result = runCheck(library.path());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("1 | 오프닝 | audio-present.wav | 재생 가능"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("2 | 큐 2 | audio-gone.wav | 파일 없음"), std::string::npos);
    EXPECT_NE(result.output.find("배경 | loop-gone.mp3 | 파일 없음"), std::string::npos);
    EXPECT_EQ(test::entryNames(library.path()), before);
}

TEST(CheckCommand, UnreadableDocumentIsReportedWithoutPreservingACopy) {
    test::TemporaryDirectory library;
    test::writeFile(library.path() / "cues.json", "{}");
    const auto result = runCheck(library.path());
    EXPECT_EQ(result.exitCode, 2) << result.output;
    EXPECT_NE(result.output.find("설정 파일을 읽지 못했습니다."), std::string::npos);
    EXPECT_EQ(test::entryNames(library.path()), std::set<std::string>{"cues.json"});
}

}  // namespace
}  // namespace tavrel
