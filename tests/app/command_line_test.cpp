#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run_tavrel.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel {
namespace {

using test::runTavrel;

TEST(CommandLine, VersionPrintsOneLineAndTouchesNothing) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    const auto result = runTavrel("--version", library);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(std::regex_match(result.output, std::regex("Tavrel [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << result.output;
    EXPECT_FALSE(std::filesystem::exists(library));
}

TEST(CommandLine, HelpIsKoreanAndNamesEveryOptionAndTheLibrary) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    const auto result = runTavrel("--help", library);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    for (const char* expected :
         {"사용법: tavrel", "--check", "--screenshot PATH", "--version", "--help",
          "$XDG_DATA_HOME/Tavrel", "~/.local/share/Tavrel", "TAVREL_LIBRARY_DIR", "라이브러리"}) {
        EXPECT_NE(result.output.find(expected), std::string::npos)
            << "missing \"" << expected << "\" in:\n"
            << result.output;
    }
    EXPECT_FALSE(std::filesystem::exists(library));
}

TEST(CommandLine, InformationOptionWinsOverCheck) {
    test::TemporaryDirectory library;
    test::writeFile(library.path() / "cues.json", "{}");
    const auto result = runTavrel("--check --version", library.path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output.find("설정 파일을 읽지 못했습니다."), std::string::npos)
        << result.output;
}

TEST(CommandLine, AnythingElsePrintsTheHelpAndFailsWithoutStarting) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    // Run from the temporary folder: a window started headless would write its
    // screenshot under ./build.
    for (const char* arguments : {"--output", "--check --list", "-x", "stray", "--check=yes"}) {
        const auto result =
            runTavrel("--screenshot x.png " + std::string(arguments), library, root.path());
        EXPECT_EQ(result.exitCode, 2) << arguments << "\n" << result.output;
        EXPECT_NE(result.output.find("알 수 없는 옵션입니다"), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("사용법: tavrel"), std::string::npos) << result.output;
    }
    EXPECT_EQ(test::entryNames(root.path()), std::set<std::string>{});
}

}  // namespace
}  // namespace tavrel
