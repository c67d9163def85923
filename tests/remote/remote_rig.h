#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "remote/remote_control.h"
#include "support/store_fixture.h"

namespace tavrel::test {

using namespace std::chrono_literals;

// A manual loop that wakes the test when another thread posts to it, so a
// test waits for the remote's command itself instead of for a while.
class SignallingMainLoop final : public MainLoop {
public:
    explicit SignallingMainLoop(ManualMainLoop& inner) : m_inner(inner) {}

    void post(Task task) override;
    std::unique_ptr<TimerHandle> startRepeatingTimer(std::chrono::milliseconds interval,
                                                     Task task) override {
        return m_inner.startRepeatingTimer(interval, std::move(task));
    }
    Clock::time_point now() const override { return m_inner.now(); }

    // Runs posted tasks until `done` holds; false when it still does not after `bound`.
    bool runUntil(const std::function<bool()>& done, std::chrono::seconds bound = 30s);

private:
    ManualMainLoop& m_inner;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::uint64_t m_postCount = 0;
};

// A UDP socket on 127.0.0.1, as a show controller uses one.
class OscClient {
public:
    OscClient();
    ~OscClient();
    OscClient(const OscClient&) = delete;
    OscClient& operator=(const OscClient&) = delete;

    void send(int port, const std::string& datagram) const;
    // The next datagram; nothing after `bound` (zero: only what has already arrived).
    std::optional<std::string> receive(std::chrono::milliseconds bound = 30s) const;
    bool hasDatagram() const;

private:
    int m_socket = -1;
};

// A UDP port on 127.0.0.1 that nothing used a moment ago.
int freeUdpPort();
// Nothing listens on this port of 127.0.0.1 now.
bool udpPortIsFree(int port);

// A store whose twelve slots all have a sound (fake players), driven through a
// remote control on a signalling loop.
class RemoteRig : public StoreFixture {
public:
    RemoteRig();
    ~RemoteRig() override;

    // Publishes the preferences, then makes the remote control that follows them.
    void startRemote(const Preferences& preferences);
    bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done); }
    bool runUntilState(const PlaybackState& state) {
        return runUntil([&] { return controller->state() == state; });
    }
    // The client's next datagram, running the loop until it arrives.
    std::optional<std::string> receive(const OscClient& client) {
        return runUntil([&] { return client.hasDatagram(); }) ? client.receive(0ms) : std::nullopt;
    }
    // How many times the sound of cue N (1…12) was started.
    int starts(int cue) const;
    // Local OSC on a free port, no passcode.
    static Preferences oscPreferences(const std::string& passcode = {});

    SignallingMainLoop loop{mainLoop};
    std::shared_ptr<RemoteControl> remote;
};

}  // namespace tavrel::test
