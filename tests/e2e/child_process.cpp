#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tavrel::e2e {

namespace {

int exitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           const std::map<std::string, std::string>& env,
                           const std::filesystem::path& stdoutFile,
                           const std::filesystem::path& stderrFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : env)
        envStrings.push_back(key + "=" + value);
    std::vector<char*> argv, envp;
    for (auto& s : arguments)
        argv.push_back(s.data());
    for (auto& s : envStrings)
        envp.push_back(s.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const int error = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(error));
    }
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
    if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
        m_pid = -1;
    return m_pid > 0;
}

int ChildProcess::wait() {
    if (m_pid > 0 && ::waitpid(m_pid, &m_status, 0) == m_pid)
        m_pid = -1;
    return exitStatus(m_status);
}

int ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        if (!waitFor([this] { return !running(); }, grace))
            ::kill(m_pid, SIGKILL);
    }
    return wait();  // -1 when killed
}

std::string runCommand(const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& env, int* exitCode) {
    char output[] = "/tmp/tavrel-e2e-output-XXXXXX";
    ::close(::mkstemp(output));
    int status = -1;
    {
        ChildProcess child(arguments, env, output);
        status = child.wait();
    }
    if (exitCode)
        *exitCode = status;
    auto text = fileText(output);
    std::filesystem::remove(output);
    return text;
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
