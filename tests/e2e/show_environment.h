#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "child_process.h"

namespace tavrel::e2e {

// A private X server and sound server ("pulseaudio" or "pipewire") with a
// null sink whose monitor is recorded, and the real tavrel binary running
// against a prepared library.
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
    bool applicationRunning();
    // Kills the application as a crash would.
    void killApplication();
    std::string startApplication(const std::filesystem::path& library);

    // Real X key events (XTEST) to the application's window.
    void key(const std::string& keysym);
    // A key held down until keyUp; X auto-repeats it meanwhile.
    void keyDown(const std::string& keysym);
    void keyUp(const std::string& keysym);
    // `count` auto-repeat pairs of a held key, each arriving split as under load.
    void splitRepeats(const std::string& keysym, int count);
    // Runs tavrel once more, on the same library and display, until it ends or
    // `timeout` passes; `output` gets its standard error. -1: still running.
    int runAgain(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                 std::string& output);
    // Another program's window over the application's, until the object goes.
    ChildProcess coverApplication();
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
    void screenshot(const std::string& name);
    // What the recorder has written so far, while it goes on.
    const std::filesystem::path& recording() const { return m_recording; }
    // Stops the recorder and returns the raw float32 stereo file.
    std::filesystem::path stopRecording();
    // Closes the window as a window manager would; returns the exit status.
    int quitApplication();

    const std::filesystem::path& root() const { return m_root; }
    std::string logs() const;

private:
    std::map<std::string, std::string> environment() const;
    std::string xdotool(const std::vector<std::string>& arguments);

    std::filesystem::path m_root;
    std::filesystem::path m_runtime;
    std::filesystem::path m_recording;
    std::filesystem::path m_library;
    std::string m_soundServer;
    std::string m_display;
    std::string m_windowID;
    std::string m_sessionBus;
    ChildProcess m_xserver;
    ChildProcess m_bus;
    ChildProcess m_keepAlive;
    ChildProcess m_recorder;
    ChildProcess m_application;
};

}  // namespace tavrel::e2e
