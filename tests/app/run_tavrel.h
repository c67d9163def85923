#pragma once

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
    const std::string folder =
        workingFolder.empty() ? std::string() : "cd '" + workingFolder.string() + "' && ";
    const std::string command = folder + "TAVREL_LIBRARY_DIR='" + library.string() + "' '" +
                                TAVREL_BINARY "' " + arguments + " 2>&1 </dev/null";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe))
        result.output += buffer.data();
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace tavrel::test
