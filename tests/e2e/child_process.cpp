#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrel::e2e {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

std::vector<std::string> flatten(const std::map<std::string, std::string>& env) {
    std::vector<std::string> result;
    for (const auto& [key, value] : env)
        result.push_back(key + "=" + value);
    return result;
}

pid_t spawn(std::vector<std::string> arguments, const std::map<std::string, std::string>& env,
            int stdoutFd, int stderrFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    auto envStrings = flatten(env);
    auto argv = pointers(arguments);
    auto envp = pointers(envStrings);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(error));
    }
    return pid;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           const std::map<std::string, std::string>& env,
                           const std::filesystem::path& stdoutFile,
                           const std::filesystem::path& stderrFile) {
    const int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0 || err < 0)
        throw std::runtime_error("cannot open output files of a child");
    try {
        m_pid = spawn(std::move(arguments), env, out, err);
    } catch (...) {
        ::close(out);
        ::close(err);
        throw;
    }
    ::close(out);
    ::close(err);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(other.m_pid), m_status(other.m_status) {
    other.m_pid = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        terminate();
        m_pid = other.m_pid;
        m_status = other.m_status;
        other.m_pid = -1;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    terminate();
}

bool ChildProcess::running() {
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t result = ::waitpid(m_pid, &status, WNOHANG);
    if (result == m_pid) {
        m_status = status;
        m_pid = -1;
        return false;
    }
    return true;
}

int ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (m_pid <= 0)
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    ::kill(m_pid, SIGTERM);
    const bool ended = waitFor([this] { return !running(); }, grace);
    if (!ended) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

std::string runCommand(const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& env, int* exitCode) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = -1;
    try {
        pid = spawn(arguments, env, pipeFds[1], devNull);
    } catch (...) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::close(devNull);
        throw;
    }
    ::close(pipeFds[1]);
    ::close(devNull);
    std::string output;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (exitCode)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

std::map<std::string, std::string> environmentWith(
    const std::map<std::string, std::string>& overrides) {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [key, value] : overrides)
        env[key] = value;
    return env;
}

}  // namespace tavrel::e2e
