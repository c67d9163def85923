#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tavrel::test {

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// Runs the built binary with `arguments` against a library folder, in
// `workingFolder` when given; stdout and stderr together.
inline RunResult runTavrel(const std::string& arguments, const std::filesystem::path& library,
                           const std::filesystem::path& workingFolder = {}) {
    const std::string command =
        (workingFolder.empty() ? "" : "cd '" + workingFolder.string() + "' && ") +
        "TAVREL_LIBRARY_DIR='" + library.string() + "' '" TAVREL_BINARY "' " + arguments +
        " 2>&1 </dev/null";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe))
        result.output += buffer.data();
    const int status = pipe ? pclose(pipe) : -1;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Checks the exit code and that the output holds each of `texts`.
inline void expectRun(const RunResult& result, int exitCode,
                      std::initializer_list<std::string> texts) {
    EXPECT_EQ(result.exitCode, exitCode) << result.output;
    for (const auto& text : texts)
        EXPECT_THAT(result.output, testing::HasSubstr(text));
}

}  // namespace tavrel::test
