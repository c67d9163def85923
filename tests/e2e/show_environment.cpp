#include "show_environment.h"

#include <signal.h>
#include <sys/stat.h>
#include <cstdlib>

#include <algorithm>

#include <sstream>

namespace tavrel::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The show runs an optimised build: `make test` points this at one, so that
// what is heard is timed as on stage; the sanitised build is the fallback.
std::string applicationBinary() {
    const char* binary = std::getenv("TAVREL_E2E_BINARY");
    return binary && *binary ? binary : TAVREL_BINARY;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const auto newline = text.find('\n');
    return newline == std::string::npos ? text : text.substr(0, newline);
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
}

ShowEnvironment::~ShowEnvironment() {
    m_application.terminate();
    m_recorder.terminate();
    m_keepAlive.terminate();
    m_xserver.terminate();
    m_bus.terminate();  // the accessibility bus and its registry end with it
    killSoundServer();
}

std::map<std::string, std::string> ShowEnvironment::environment() const {
    return environmentWith(
        {{"XDG_RUNTIME_DIR", m_runtime.string()},
         {"HOME", (m_root / "home").string()},
         {"PULSE_SERVER", "unix:" + (m_runtime / "pulse" / "native").string()},
         {"DISPLAY", m_display},
         {"QT_QPA_PLATFORM", "xcb"},
         // A private session bus, through which the accessibility bus is
         // found. Never none: without one libdbus forks a launcher from the
         // sanitized, threaded application, and that child can hang.
         {"DBUS_SESSION_BUS_ADDRESS",
          m_sessionBus.empty() ? "unix:path=" + (m_runtime / "no-bus").string() : m_sessionBus},
         {"WAYLAND_DISPLAY", ""}});
}

std::string ShowEnvironment::startSoundServer() {
    int exitCode = 0;
    runCommand(
        {"sh", TAVREL_NULL_SINK_SCRIPT, "start", m_runtime.string(), "tavrel_e2e", m_soundServer},
        environment(), &exitCode);
    if (exitCode != 0)
        return m_soundServer + " did not start:\n" + fileText(m_runtime / "pulse.log") +
               fileText(m_runtime / "pipewire.log");
    return {};
}

// As a crash would (SIGKILL).
void ShowEnvironment::killSoundServer() {
    m_recorder.terminate();
    m_keepAlive.terminate();
    runCommand({"sh", TAVREL_NULL_SINK_SCRIPT, "stop", m_runtime.string()}, environment());
}

int ShowEnvironment::windowCount(const std::string& namePattern) {
    const auto output = xdotool({"search", "--onlyvisible", "--name", namePattern});
    return static_cast<int>(std::count(output.begin(), output.end(), '\n'));
}

bool ShowEnvironment::applicationRunning() {
    return m_application.running();
}

void ShowEnvironment::killApplication() {
    if (m_application.pid() > 0)
        ::kill(m_application.pid(), SIGKILL);
    m_application.terminate();
}

std::string ShowEnvironment::startServers() {
    if (auto error = startSoundServer(); !error.empty())
        return error;
    for (int number = 90; number < 140 && m_display.empty(); ++number) {
        if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(number)) &&
            !fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            m_display = ":" + std::to_string(number);
        }
    }
    if (m_display.empty())
        return "no free X display number";
    m_xserver = ChildProcess({"Xvfb", m_display, "-screen", "0", "1280x900x24", "-nolisten", "tcp"},
                             environment(), "/dev/null", m_root / "xvfb.log");
    const auto socket = "/tmp/.X11-unix/X" + m_display.substr(1);
    if (!waitFor([&] { return fs::exists(socket); }, 20s)) {
        return "Xvfb did not start:\n" + fileText(m_root / "xvfb.log");
    }
    // The session bus starts the accessibility bus when the application asks for it.
    const fs::path address = m_root / "bus.address";
    m_bus = ChildProcess({"dbus-daemon", "--session", "--nofork", "--print-address=1"},
                         environment(), address, m_root / "bus.log");
    if (!waitFor([&] { return fileText(address).find('\n') != std::string::npos; }, 20s))
        return "dbus-daemon did not start:\n" + fileText(m_root / "bus.log");
    m_sessionBus = trimmed(fileText(address));
    return {};
}

std::string ShowEnvironment::startRecording() {
    // Silence played into the sink keeps it and its monitor running, so the
    // recording has no gap at the first sound.
    m_keepAlive = ChildProcess({"pacat", "--playback", "-d", "tavrel_e2e", "/dev/zero"},
                               environment(), "/dev/null", m_root / "pacat.log");
    fs::remove(m_recording);
    m_recorder =
        ChildProcess({"parecord", "--raw", "--format=float32le", "--rate=48000", "--channels=2",
                      "--latency-msec=20", "-d", "tavrel_e2e.monitor", m_recording.string()},
                     environment(), "/dev/null", m_root / "parecord.log");
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
    m_library = library;
    auto env = environment();
    env["TAVREL_LIBRARY_DIR"] = library.string();
    env["LSAN_OPTIONS"] = "suppressions=" TAVREL_LSAN_SUPPRESSIONS;
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1";
    m_application =
        ChildProcess({applicationBinary()}, env, m_root / "tavrel.out", m_root / "tavrel.log");
    m_windowID = trimmed(xdotool({"search", "--sync", "--onlyvisible", "--name", "^Tavrel"}));
    if (m_windowID.empty() || !m_application.running()) {
        return "the tavrel window did not appear:\n" + fileText(m_root / "tavrel.log");
    }
    xdotool({"windowfocus", "--sync", m_windowID});
    // Ready once its widgets can be found: the accessibility bridge is up.
    if (!waitFor([&] { return widget("^편집 모드$").has_value(); }, 20s))
        return "the window's widgets are not on the accessibility bus:\n" + logs();
    return {};
}

std::string ShowEnvironment::xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, environment());
}

void ShowEnvironment::key(const std::string& keysym) {
    keyDown(keysym);
    keyUp(keysym);
}

void ShowEnvironment::keyDown(const std::string& keysym) {
    xdotool({"windowfocus", "--sync", m_windowID});
    xdotool({"keydown", "--clearmodifiers", keysym});
}

void ShowEnvironment::keyUp(const std::string& keysym) {
    xdotool({"keyup", keysym});
}

void ShowEnvironment::splitRepeats(const std::string& keysym, int count) {
    runCommand({TAVREL_X_TOOL, "split-repeats", m_windowID, keysym, std::to_string(count)},
               environment());
}

int ShowEnvironment::runAgain(const std::vector<std::string>& arguments,
                              std::chrono::milliseconds timeout, std::string& output) {
    auto env = environment();
    env["TAVREL_LIBRARY_DIR"] = m_library.string();
    env["LSAN_OPTIONS"] = "suppressions=" TAVREL_LSAN_SUPPRESSIONS;
    std::vector<std::string> command{applicationBinary()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const fs::path log = m_root / "tavrel-again.log";
    fs::remove(log);
    ChildProcess again(command, env, m_root / "tavrel-again.out", log);
    const bool ended = waitFor([&] { return !again.running(); }, timeout);
    const int status = ended ? again.terminate() : -1;
    output = fileText(log) + fileText(m_root / "tavrel-again.out");
    return status;
}

ChildProcess ShowEnvironment::coverApplication() {
    return ChildProcess({TAVREL_X_TOOL, "cover", m_windowID}, environment());
}

bool ShowEnvironment::applicationOnTop() {
    int status = -1;
    runCommand({TAVREL_X_TOOL, "on-top", m_windowID}, environment(), &status);
    return status == 0;
}

std::optional<ShowEnvironment::Widget> ShowEnvironment::widget(const std::string& namePattern,
                                                               const std::string& role) {
    std::istringstream lines(runCommand({TAVREL_X_TOOL, "find", namePattern}, environment()));
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

void ShowEnvironment::screenshot(const std::string& name) {
    fs::create_directories(TAVREL_SCREENSHOT_DIR);
    runCommand(
        {TAVREL_X_TOOL, "screenshot", std::string(TAVREL_SCREENSHOT_DIR) + "/e2e-" + name + ".png"},
        environment());
}

fs::path ShowEnvironment::stopRecording() {
    m_recorder.terminate();
    return m_recording;
}

int ShowEnvironment::quitApplication() {
    runCommand({TAVREL_X_TOOL, "close", m_windowID}, environment());
    // While a sound plays the window asks first; its "종료" answers Alt+Q.
    const bool ended = waitFor(
        [&] {
            const std::string box = xdotool({"search", "--onlyvisible", "--name", "종료할까요"});
            if (!box.empty()) {
                xdotool({"windowfocus", "--sync", box.substr(0, box.find('\n'))});
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
