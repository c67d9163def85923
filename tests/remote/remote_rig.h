#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "remote/remote_control.h"
#include "support/store_fixture.h"

namespace tavrel::test {

using namespace std::chrono_literals;

// A UDP socket on 127.0.0.1 (port 0: any), as a show controller uses one.
class OscClient {
public:
    explicit OscClient(int port = 0) {
        const sockaddr_in address = loopback(port);
        bound = ::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~OscClient() { ::close(m_socket); }

    bool bound = false;
    int port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    void send(int port, const std::string& datagram) const {
        const sockaddr_in address = loopback(port);
        ::sendto(m_socket, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    // A datagram that has already arrived, if any.
    std::optional<std::string> receive() const {
        std::string buffer(65536, '\0');
        const ssize_t size = ::recv(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        return size < 0 ? std::nullopt : std::optional(buffer.substr(0, std::size_t(size)));
    }

private:
    static sockaddr_in loopback(int port) {
        return {AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    }
    int m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
};

// A store whose twelve slots all have a sound (fake players), driven through a
// remote control on the manual loop, which its threads post to.
class RemoteRig : public StoreFixture {
public:
    RemoteRig() {
        CueDocument document = CueDocument::empty();
        std::vector<std::string> media;
        for (int cue = 1; cue <= RemoteCommand::cueCount; ++cue)
            media.push_back(*(document.slots.at(cue - 1).audioFilename = mediaName(cue)));
        seed(document, media);
    }

    // Publishes the preferences, then makes the remote control that follows them.
    void startRemote(const Preferences& preferences) {
        store->setPreferences(preferences);
        remote = RemoteControl::create(store, mainLoop);
    }
    // Runs posted tasks until `done` holds; false when it still does not after 30 s.
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (; mainLoop.runPending(), !done(); std::this_thread::sleep_for(1ms))
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        return true;
    }
    bool runUntilState(const PlaybackState& state) {
        return runUntil([&] { return controller->state() == state; });
    }
    // The client's next datagram, running the loop until it arrives.
    std::optional<std::string> receive(const OscClient& client) {
        std::optional<std::string> datagram;
        runUntil([&] { return (datagram = client.receive()).has_value(); });
        return datagram;
    }
    // How many times the sound of cue N (1…12) was started.
    int starts(int cue) const {
        return int(std::ranges::count_if(factory->requestedURLs, [&](const auto& url) {
            return url.filename() == mediaName(cue);
        }));
    }
    // Local OSC on a free port.
    static Preferences oscPreferences(const std::string& passcode = {}) {
        Preferences preferences;
        preferences.oscEnabled = true;
        preferences.oscPort = OscClient().port();
        preferences.oscPasscode = passcode;
        return preferences;
    }

    std::shared_ptr<RemoteControl> remote;

private:
    static std::string mediaName(int cue) { return "audio-cue" + std::to_string(cue) + ".mp3"; }
};

}  // namespace tavrel::test
