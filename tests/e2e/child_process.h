#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace tavrel::e2e {

// A child process that is killed (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(std::vector<std::string> arguments, const std::map<std::string, std::string>& env,
                 const std::filesystem::path& stdoutFile = "/dev/null",
                 const std::filesystem::path& stderrFile = "/dev/null");
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();

    bool running();
    // Waits for it to end; returns the exit status, -1 when killed.
    int wait();
    // Sends SIGTERM and waits up to `grace`; returns the exit status or -1 when killed.
    int terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs a command to completion and returns its standard output; `exitCode` gets its status.
std::string runCommand(const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& env, int* exitCode = nullptr);

std::string fileText(const std::filesystem::path& file);

// The current environment with `overrides` applied.
std::map<std::string, std::string> environmentWith(
    const std::map<std::string, std::string>& overrides);

// Polls `condition` every 50 ms until it holds or `timeout` passes.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

}  // namespace tavrel::e2e
