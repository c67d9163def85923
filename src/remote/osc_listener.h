#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "remote/remote_command.h"

namespace tavrel {

// A sender, by IPv4 address and port.
struct OscPeer {
    in_addr_t address = 0;  // network byte order
    in_port_t port = 0;     // network byte order

    bool operator==(const OscPeer&) const = default;
};

// Receives OSC on one UDP socket on its own thread. The thread keeps who has
// connected and hands each command on; it never touches the application's
// state. Feedback goes out of the same socket, so a controller hears back on
// the port it sends from.
class OscListener {
public:
    struct Options {
        int port = 0;              // 0: a free port (tests)
        bool fromNetwork = false;  // else 127.0.0.1 only
        std::string passcode;      // empty: every sender on this machine is obeyed
    };
    struct Handlers {
        // Called on the listener thread: they may only hand the work on.
        std::function<void(const RemoteCommand& command, bool fromMirror)> command;
        std::function<void(const OscPeer& peer)> connected;
    };

    // Listens at once; throws std::system_error with the platform's description.
    OscListener(const Options& options, Handlers handlers);
    ~OscListener();
    OscListener(const OscListener&) = delete;
    OscListener& operator=(const OscListener&) = delete;

    int port() const { return m_port; }
    // Any thread; never blocks: a datagram that does not fit is dropped.
    void sendToPeers(const std::string& datagram);
    void sendTo(const OscPeer& peer, const std::string& datagram);

    // Connected senders kept; the oldest is forgotten past this.
    static constexpr std::size_t maximumPeers = 16;

private:
    struct PeerEntry {
        OscPeer peer;
        bool isMirror = false;
    };

    void run();
    void receive(const std::string& datagram, const OscPeer& sender);
    // Listener thread. Adds or refreshes the sender; true when it was new.
    bool remember(const OscPeer& sender, bool isMirror);
    const PeerEntry* find(const OscPeer& sender) const;

    std::string m_passcode;
    Handlers m_handlers;
    int m_socket = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    int m_port = 0;

    std::mutex m_peersMutex;  // guards m_peers: senders read it from any thread
    std::deque<PeerEntry> m_peers;
    std::thread m_thread;
};

}  // namespace tavrel
