// A FIFO named "cues.json" blocks whoever opens it to read until a writer
// comes: the start and the check must report it at once instead (a hang
// fails by the test's time limit).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "run_tavrel.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

TEST(FifoDocument, StartAndCheckReportItAtOnce) {
    test::TemporaryDirectory temp;
    const fs::path library = temp.path() / "Tavrel";
    fs::create_directories(library);
    ASSERT_EQ(::mkfifo((library / "cues.json").c_str(), 0644), 0);

    const auto check = test::runTavrel("--check", library);
    EXPECT_EQ(check.exitCode, 2) << check.output;
    EXPECT_NE(check.output.find("설정 파일을 읽지 못했습니다."), std::string::npos) << check.output;
    // An unusable document: reported the same way, and no copy is preserved.
    fs::remove(library / "cues.json");
    test::writeFile(library / "cues.json", "{}");
    EXPECT_EQ(test::runTavrel("--check", library).exitCode, 2);
    EXPECT_EQ(test::entryNames(library), std::set<std::string>{"cues.json"});
    fs::remove(library / "cues.json");
    ASSERT_EQ(::mkfifo((library / "cues.json").c_str(), 0644), 0);

    const fs::path screenshot = temp.path() / "start.png";
    const auto start = test::runTavrel("--screenshot '" + screenshot.string() + "'", library);
    EXPECT_EQ(start.exitCode, 0) << start.output;
    EXPECT_TRUE(fs::exists(screenshot)) << start.output;
    // Nothing preserved or written over; the lock of the one window stays behind, empty.
    EXPECT_EQ(test::entryNames(library),
              (std::set<std::string>{".tavrel-lock", "Media", "SavedSets", "cues.json"}));
}

}  // namespace
}  // namespace tavrel
