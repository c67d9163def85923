#include <sys/stat.h>

#include <regex>

#include "run_tavrel.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::runTavrel;

// An information option wins over --check and touches nothing; anything else
// prints the help and fails without starting.
TEST(CommandLine, InformationOptionsPrintAndAnythingElseFailsTouchingNothing) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    const auto version = runTavrel("--check --version", library);
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_TRUE(std::regex_match(version.output, std::regex("Tavrel [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.output;
    test::expectRun(runTavrel("--help", library), 0,
                    {"사용법: tavrel", "--check", "--screenshot PATH", "--version",
                     "$XDG_DATA_HOME/Tavrel", "TAVREL_LIBRARY_DIR"});
    // Run from the temporary folder: a window started headless would write its
    // screenshot under ./build.
    for (const std::string arguments : {"--output", "--check --list", "-x", "stray", "--check=yes"})
        test::expectRun(runTavrel("--screenshot x.png " + arguments, library, root.path()), 2,
                        {"알 수 없는 옵션입니다", "사용법: tavrel"});
    EXPECT_EQ(test::entryNames(root.path()), std::set<std::string>{});
}

// A FIFO named "cues.json" blocks whoever opens it to read until a writer
// comes: the start and the check must report it at once instead (a hang
// fails by the test's time limit).
TEST(CommandLine, AFifoDocumentIsReportedAtOnceByTheStartAndTheCheck) {
    test::TemporaryDirectory temp;
    const fs::path library = temp.path() / "Tavrel", document = library / "cues.json";
    fs::create_directories(library);
    ASSERT_EQ(::mkfifo(document.c_str(), 0644), 0);
    test::expectRun(runTavrel("--check", library), 2, {"설정 파일을 읽지 못했습니다."});
    // An unusable document: reported the same way, and no copy is preserved.
    fs::remove(document);
    test::writeFile(document, "{}");
    EXPECT_EQ(runTavrel("--check", library).exitCode, 2);
    EXPECT_EQ(test::entryNames(library), std::set<std::string>{"cues.json"});
    fs::remove(document);
    ASSERT_EQ(::mkfifo(document.c_str(), 0644), 0);

    const auto start =
        runTavrel("--screenshot '" + (temp.path() / "start.png").string() + "'", library);
    EXPECT_EQ(start.exitCode, 0) << start.output;
    EXPECT_TRUE(fs::exists(temp.path() / "start.png")) << start.output;
    // Nothing preserved or written over; the lock of the one window stays behind, empty.
    EXPECT_EQ(test::entryNames(library),
              (std::set<std::string>{".tavrel-lock", "Media", "SavedSets", "cues.json"}));
}

}  // namespace
}  // namespace tavrel
