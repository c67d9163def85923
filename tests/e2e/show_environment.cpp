#include "show_environment.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tavrel::e2e {

using namespace std::chrono_literals;

void ChildProcess::start(std::vector<std::string> arguments,
                         const std::filesystem::path& stdoutFile,
                         const std::filesystem::path& stderrFile) {
    terminate();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    std::vector<char*> argv;
    for (auto& s : arguments)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const int error = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(error));
    }
}

bool ChildProcess::running() {
    if (m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
        m_pid = -1;
    return m_pid > 0;
}

int ChildProcess::wait() {
    if (m_pid > 0 && ::waitpid(m_pid, &m_status, 0) == m_pid)
        m_pid = -1;
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

int ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        if (!waitFor([this] { return !running(); }, grace))
            ::kill(m_pid, SIGKILL);
    }
    return wait();  // -1 when killed
}

std::string runCommand(const std::vector<std::string>& arguments, int* exitCode) {
    char output[] = "/tmp/tavrel-e2e-output-XXXXXX";
    ::close(::mkstemp(output));
    ChildProcess child;
    child.start(arguments, output);
    // A tool stuck on a frozen window or server fails the test, never hangs it.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (child.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    if (child.running()) {
        std::cerr << "gave up after 60 s on";
        for (const auto& argument : arguments)
            std::cerr << ' ' << argument;
        std::cerr << '\n';
    }
    const int status = child.terminate();
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

namespace fs = std::filesystem;

namespace {

// The show runs an optimised build: `make test` points this at one, so that
// what is heard is timed as on stage; the sanitised build is the fallback.
std::string applicationBinary() {
    const char* binary = std::getenv("TAVREL_E2E_BINARY");
    return binary && *binary ? binary : TAVREL_BINARY;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

void setEnvironment(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

}  // namespace

ShowEnvironment::ShowEnvironment(fs::path root, std::string soundServer)
    : m_root(std::move(root)),
      m_runtime(m_root / "run"),
      m_recording(m_root / "monitor.raw"),
      m_soundServer(std::move(soundServer)) {
    fs::create_directories(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
    fs::create_directories(m_root / "home");
    setEnvironment("XDG_RUNTIME_DIR", m_runtime.string());
    setEnvironment("HOME", (m_root / "home").string());
    setEnvironment("PULSE_SERVER", "unix:" + (m_runtime / "pulse" / "native").string());
    setEnvironment("DISPLAY", "");
    setEnvironment("WAYLAND_DISPLAY", "");
    setEnvironment("QT_QPA_PLATFORM", "xcb");
    setEnvironment("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    setEnvironment("LSAN_OPTIONS", "suppressions=" TAVREL_LSAN_SUPPRESSIONS);
    // Never no session bus: without one libdbus forks a launcher from the
    // sanitized, threaded application, and that child can hang.
    setEnvironment("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_runtime / "no-bus").string());
}

ShowEnvironment::~ShowEnvironment() {
    m_application.terminate();
    m_cover.terminate();
    m_recorder.terminate();
    m_keepAlive.terminate();
    m_xserver.terminate();
    m_bus.terminate();  // the accessibility bus and its registry end with it
    killSoundServer();
}

std::string ShowEnvironment::startSoundServer() {
    // A server that did not come up (once in about sixty PipeWire restarts
    // under load) is stopped and started once more; the first try is told.
    std::string said;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int exitCode = 0;
        const auto output = runCommand({"sh", TAVREL_NULL_SINK_SCRIPT, "start", m_runtime.string(),
                                        "tavrel_e2e", m_soundServer},
                                       &exitCode);
        if (exitCode == 0) {
            std::cerr << said;
            return {};
        }
        said += m_soundServer + " did not start:\n" + output;
        runCommand({"sh", TAVREL_NULL_SINK_SCRIPT, "stop", m_runtime.string()});
    }
    return said;
}

// As a crash would (SIGKILL).
void ShowEnvironment::killSoundServer() {
    m_recorder.terminate();
    m_keepAlive.terminate();
    runCommand({"sh", TAVREL_NULL_SINK_SCRIPT, "stop", m_runtime.string()});
}

int ShowEnvironment::windowCount(const std::string& namePattern) {
    const auto output = xdotool({"search", "--onlyvisible", "--name", namePattern});
    return static_cast<int>(std::count(output.begin(), output.end(), '\n'));
}

void ShowEnvironment::killApplication() {
    if (m_application.pid() > 0)
        ::kill(m_application.pid(), SIGKILL);
    m_application.terminate();
}

std::string ShowEnvironment::startServers() {
    if (auto error = startSoundServer(); !error.empty())
        return error;
    // Xvfb picks a free display and names it once it takes connections.
    const fs::path display = m_root / "display";
    m_xserver.start({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"},
                    display, m_root / "xvfb.log");
    if (!waitFor([&] { return fileText(display).find('\n') != std::string::npos; }, 20s))
        return "Xvfb did not start:\n" + fileText(m_root / "xvfb.log");
    setEnvironment("DISPLAY", ":" + firstLine(fileText(display)));
    // The session bus starts the accessibility bus when the application asks for it.
    const fs::path address = m_root / "bus.address";
    m_bus.start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, address,
                m_root / "bus.log");
    if (!waitFor([&] { return fileText(address).find('\n') != std::string::npos; }, 20s))
        return "dbus-daemon did not start:\n" + fileText(m_root / "bus.log");
    setEnvironment("DBUS_SESSION_BUS_ADDRESS", firstLine(fileText(address)));
    return {};
}

std::string ShowEnvironment::startRecording() {
    // Silence played into the sink keeps it and its monitor running, so the
    // recording has no gap at the first sound.
    m_keepAlive.start({"pacat", "--playback", "-d", "tavrel_e2e", "/dev/zero"}, "/dev/null",
                      m_root / "pacat.log");
    fs::remove(m_recording);
    m_recorder.start({"parecord", "--raw", "--format=float32le", "--rate=48000", "--channels=2",
                      "--latency-msec=20", "-d", "tavrel_e2e.monitor", m_recording.string()},
                     "/dev/null", m_root / "parecord.log");
    // Recording once the monitor's first samples are written.
    const bool writing = waitFor(
        [&] {
            std::error_code error;
            return fs::file_size(m_recording, error) > 0 && !error;
        },
        20s);
    if (!writing || !m_recorder.running())
        return "parecord failed:\n" + fileText(m_root / "parecord.log");
    return {};
}

std::string ShowEnvironment::startApplication(const fs::path& library) {
    setEnvironment("TAVREL_LIBRARY_DIR", library.string());
    m_application.start({applicationBinary()}, m_root / "tavrel.out", m_root / "tavrel.log");
    m_windowID = firstLine(xdotool({"search", "--sync", "--onlyvisible", "--name", "^Tavrel"}));
    if (m_windowID.empty() || !m_application.running())
        return "the tavrel window did not appear:\n" + fileText(m_root / "tavrel.log");
    xdotool({"windowfocus", "--sync", m_windowID});
    // Ready once its widgets can be found: the accessibility bridge is up.
    if (!waitFor([&] { return widget("^편집 모드$").has_value(); }, 20s))
        return "the window's widgets are not on the accessibility bus:\n" + logs();
    return {};
}

std::string ShowEnvironment::xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    return runCommand(arguments);
}

void ShowEnvironment::key(const std::string& keysym, const std::string& action) {
    xdotool({"windowfocus", "--sync", m_windowID});
    xdotool({action, "--clearmodifiers", keysym});
}

void ShowEnvironment::splitRepeats(const std::string& keysym, int count) {
    runCommand({TAVREL_X_TOOL, "split-repeats", m_windowID, keysym, std::to_string(count)});
}

int ShowEnvironment::runAgain(std::vector<std::string> arguments, std::chrono::milliseconds timeout,
                              std::string& output) {
    arguments.insert(arguments.begin(), applicationBinary());
    const fs::path log = m_root / "tavrel-again.log";
    fs::remove(log);
    ChildProcess again;
    again.start(arguments, m_root / "tavrel-again.out", log);
    const bool ended = waitFor([&] { return !again.running(); }, timeout);
    const int status = ended ? again.terminate() : -1;
    output = fileText(log) + fileText(m_root / "tavrel-again.out");
    return status;
}

void ShowEnvironment::coverApplication() {
    m_cover.start({TAVREL_X_TOOL, "cover", m_windowID});
}

bool ShowEnvironment::applicationOnTop() {
    int status = -1;
    runCommand({TAVREL_X_TOOL, "on-top", m_windowID}, &status);
    return status == 0;
}

std::optional<ShowEnvironment::Widget> ShowEnvironment::widget(const std::string& namePattern,
                                                               const std::string& role) {
    std::istringstream lines(runCommand({TAVREL_X_TOOL, "find", namePattern}));
    std::optional<Widget> result;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Widget found;
        std::string checked, itsRole;
        fields >> found.x >> found.y >> found.width >> found.height >> checked >> std::ws;
        std::getline(fields, itsRole);
        if (!role.empty() && itsRole != role)
            continue;
        if (result)
            return std::nullopt;  // which one is meant is not clear
        found.checked = checked == "checked";
        result = found;
    }
    return result;
}

bool ShowEnvironment::click(const std::string& namePattern, const std::string& role, int fromLeft) {
    const auto found = widget(namePattern, role);
    if (!found)
        return false;
    const int x = found->x + (fromLeft < 0 ? found->width / 2 : fromLeft);
    xdotool(
        {"mousemove", "--sync", std::to_string(x), std::to_string(found->y + found->height / 2)});
    xdotool({"click", "1"});
    return true;
}

fs::path ShowEnvironment::stopRecording() {
    m_recorder.terminate();
    return m_recording;
}

int ShowEnvironment::quitApplication() {
    runCommand({TAVREL_X_TOOL, "close", m_windowID});
    // While a sound plays the window asks first; its "종료" answers Alt+Q.
    const bool ended = waitFor(
        [&] {
            const std::string box = xdotool({"search", "--onlyvisible", "--name", "종료할까요"});
            if (!box.empty()) {
                xdotool({"windowfocus", "--sync", firstLine(box)});
                xdotool({"key", "--clearmodifiers", "alt+q"});
            }
            return !m_application.running();
        },
        20s);
    return ended ? m_application.terminate() : -1;
}

std::string ShowEnvironment::logs() const {
    return "--- tavrel stderr:\n" + fileText(m_root / "tavrel.log") + "--- sound server:\n" +
           fileText(m_runtime / "pulse.log") + fileText(m_runtime / "pipewire-pulse.log");
}

}  // namespace tavrel::e2e
