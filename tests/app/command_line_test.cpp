#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run_tavrel.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel {
namespace {

using test::runTavrel;

// An information option wins over --check and touches nothing.
TEST(CommandLine, InformationOptionsPrintAndTouchNothing) {
    test::TemporaryDirectory root;
    const auto library = root.path() / "Tavrel";
    const auto version = runTavrel("--check --version", library);
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_TRUE(std::regex_match(version.output, std::regex("Tavrel [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.output;
    const auto help = runTavrel("--help", library);
    EXPECT_EQ(help.exitCode, 0) << help.output;
    for (const char* expected : {"사용법: tavrel", "--check", "--screenshot PATH", "--version",
                                 "$XDG_DATA_HOME/Tavrel", "TAVREL_LIBRARY_DIR"}) {
        EXPECT_NE(help.output.find(expected), std::string::npos) << expected << "\n" << help.output;
    }
    EXPECT_FALSE(std::filesystem::exists(library));
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
