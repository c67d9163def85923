#include "show_environment.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

#include <fstream>
#include <sstream>
#include <thread>

namespace tavrel::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string fileText(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const auto newline = text.find('\n');
    return newline == std::string::npos ? text : text.substr(0, newline);
}

}  // namespace

ShowEnvironment::ShowEnvironment(fs::path root)
    : m_root(std::move(root)), m_runtime(m_root / "run"), m_recording(m_root / "monitor.raw") {
    fs::create_directories(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
    fs::create_directories(m_root / "home");
}

ShowEnvironment::~ShowEnvironment() {
    m_application.terminate();
    m_recorder.terminate();
    m_keepAlive.terminate();
    m_xserver.terminate();
    m_pulse.terminate();
}

std::map<std::string, std::string> ShowEnvironment::environment() const {
    return environmentWith({{"XDG_RUNTIME_DIR", m_runtime.string()},
                            {"HOME", (m_root / "home").string()},
                            {"PULSE_SERVER", "unix:" + (m_runtime / "pulse" / "native").string()},
                            {"DISPLAY", m_display},
                            {"QT_QPA_PLATFORM", "xcb"},
                            {"WAYLAND_DISPLAY", ""}});
}

std::string ShowEnvironment::startSoundServer() {
    m_pulse =
        ChildProcess({"pulseaudio", "--system=false", "--daemonize=no", "--exit-idle-time=-1", "-n",
                      "--load=module-null-sink sink_name=tavrel_e2e rate=48000 channels=2",
                      "--load=module-native-protocol-unix"},
                     environment(), "/dev/null", m_root / "pulseaudio.log");
    if (!waitFor([&] { return fs::exists(m_runtime / "pulse" / "native"); }, 10s)) {
        return "PulseAudio did not start:\n" + fileText(m_root / "pulseaudio.log");
    }
    return {};
}

void ShowEnvironment::killSoundServer() {
    m_recorder.terminate();
    m_keepAlive.terminate();
    if (m_pulse.pid() > 0)
        ::kill(m_pulse.pid(), SIGKILL);
    m_pulse.terminate();
    std::error_code ignored;
    fs::remove_all(m_runtime / "pulse", ignored);
}

int ShowEnvironment::windowCount(const std::string& namePattern) {
    const auto output = xdotool({"search", "--onlyvisible", "--name", namePattern});
    return static_cast<int>(std::count(output.begin(), output.end(), '\n'));
}

bool ShowEnvironment::applicationRunning() {
    return m_application.running();
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
    if (!waitFor([&] { return fs::exists(socket); }, 10s)) {
        return "Xvfb did not start:\n" + fileText(m_root / "xvfb.log");
    }
    return {};
}

std::string ShowEnvironment::startRecording() {
    // Silence played into the sink keeps it and its monitor running, so the
    // recording has no gap at the first sound.
    m_keepAlive = ChildProcess({"pacat", "--playback", "-d", "tavrel_e2e", "/dev/zero"},
                               environment(), "/dev/null", m_root / "pacat.log");
    m_recorder =
        ChildProcess({"parecord", "--raw", "--format=float32le", "--rate=48000", "--channels=2",
                      "--latency-msec=20", "-d", "tavrel_e2e.monitor", m_recording.string()},
                     environment(), "/dev/null", m_root / "parecord.log");
    std::this_thread::sleep_for(300ms);
    if (!m_recorder.running())
        return "parecord failed:\n" + fileText(m_root / "parecord.log");
    return {};
}

std::string ShowEnvironment::startApplication(const fs::path& library) {
    auto env = environment();
    env["TAVREL_LIBRARY_DIR"] = library.string();
    env["LSAN_OPTIONS"] = "suppressions=" TAVREL_LSAN_SUPPRESSIONS;
    m_application =
        ChildProcess({TAVREL_BINARY}, env, m_root / "tavrel.out", m_root / "tavrel.log");
    int exitCode = 0;
    m_windowID =
        trimmed(runCommand({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Tavrel"},
                           environment(), &exitCode));
    if (m_windowID.empty() || !m_application.running()) {
        return "the tavrel window did not appear:\n" + fileText(m_root / "tavrel.log");
    }
    xdotool({"windowfocus", "--sync", m_windowID});
    std::this_thread::sleep_for(500ms);
    return {};
}

std::string ShowEnvironment::xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, environment());
}

void ShowEnvironment::key(const std::string& keysym) {
    xdotool({"windowfocus", "--sync", m_windowID});
    xdotool({"key", "--clearmodifiers", keysym});
}

void ShowEnvironment::click(int x, int y) {
    xdotool({"mousemove", "--window", m_windowID, std::to_string(x), std::to_string(y)});
    xdotool({"click", "1"});
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
    if (!waitFor([&] { return !m_application.running(); }, 1500ms)) {
        const std::string box = xdotool({"search", "--onlyvisible", "--name", "종료할까요"});
        if (!box.empty()) {
            xdotool({"windowfocus", "--sync", box.substr(0, box.find('\n'))});
            xdotool({"key", "--clearmodifiers", "alt+q"});
        }
    }
    const bool ended = waitFor([&] { return !m_application.running(); }, 5s);
    return ended ? m_application.terminate() : -1;
}

std::string ShowEnvironment::logs() const {
    return "--- tavrel stderr:\n" + fileText(m_root / "tavrel.log") + "--- pulseaudio:\n" +
           fileText(m_root / "pulseaudio.log");
}

}  // namespace tavrel::e2e
