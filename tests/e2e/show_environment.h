#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavrel::e2e {

// A child process, with this process's environment, that is killed (SIGTERM,
// then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { terminate(); }

    // Ends what ran before; stdout is truncated, stderr appended to.
    void start(std::vector<std::string> arguments,
               const std::filesystem::path& stdoutFile = "/dev/null",
               const std::filesystem::path& stderrFile = "/dev/null");
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

// Runs a command to completion (a minute at most) and returns its standard
// output; `exitCode` gets its status, -1 when it was killed.
std::string runCommand(const std::vector<std::string>& arguments, int* exitCode = nullptr);

std::string fileText(const std::filesystem::path& file);

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

// A private X server and sound server ("pulseaudio" or "pipewire") with a
// null sink whose monitor is recorded, and the real tavrel binary running
// against a prepared library. This process's environment points at them, so
// that every child it starts finds them.
class ShowEnvironment {
public:
    static constexpr int sampleRate = 48000;

    explicit ShowEnvironment(std::filesystem::path root, std::string soundServer = "pulseaudio");
    ~ShowEnvironment();

    // Each returns an empty string on success, else what went wrong.
    std::string startServers();
    std::string startRecording();
    // The sound server alone: killed as a crash would, started again later.
    std::string startSoundServer();
    void killSoundServer();
    // Visible windows whose name matches the pattern (the window, its alerts).
    int windowCount(const std::string& namePattern);
    bool applicationRunning() { return m_application.running(); }
    // Kills the application as a crash would.
    void killApplication();
    std::string startApplication(const std::filesystem::path& library);

    // Real X key events (XTEST) to the application's window: `action` "key"
    // presses and releases; "keydown" holds it until "keyup", X auto-repeating it.
    void key(const std::string& keysym, const std::string& action = "key");
    // `count` auto-repeat pairs of a held key, each arriving split as under load.
    void splitRepeats(const std::string& keysym, int count);
    // Runs tavrel once more, on the same library and display, until it ends or
    // `timeout` passes; `output` gets its standard error. -1: still running.
    int runAgain(std::vector<std::string> arguments, std::chrono::milliseconds timeout,
                 std::string& output);
    // Another program's window over the application's, from now on.
    void coverApplication();
    // The application's window is the topmost one shown.
    bool applicationOnTop();
    // The one shown widget whose accessible name matches `namePattern` (an
    // ECMAScript regular expression) and, when given, whose role is `role`
    // ("check box"), as the accessibility bus reports it.
    struct Widget {
        int x = 0, y = 0, width = 0, height = 0;  // on the screen
        bool checked = false;
    };
    std::optional<Widget> widget(const std::string& namePattern, const std::string& role = {});
    // A real click at the centre of that widget, or `fromLeft` pixels in from
    // its left edge; false when it is not shown.
    bool click(const std::string& namePattern, const std::string& role = {}, int fromLeft = -1);
    // What the recorder has written so far, while it goes on.
    const std::filesystem::path& recording() const { return m_recording; }
    // Stops the recorder and returns the raw float32 stereo file.
    std::filesystem::path stopRecording();
    // Closes the window as a window manager would; returns the exit status.
    int quitApplication();

    const std::filesystem::path& root() const { return m_root; }
    std::string logs() const;

private:
    std::string xdotool(std::vector<std::string> arguments);

    std::filesystem::path m_root;
    std::filesystem::path m_runtime;
    std::filesystem::path m_recording;
    std::string m_soundServer;
    std::string m_windowID;
    ChildProcess m_xserver;
    ChildProcess m_bus;
    ChildProcess m_keepAlive;
    ChildProcess m_recorder;
    ChildProcess m_application;
    ChildProcess m_cover;
};

}  // namespace tavrel::e2e
