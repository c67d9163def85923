#include "remote/osc_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <vector>

#include "remote/osc_protocol.h"

namespace tavrel {

namespace {

// Compares every byte whatever the first difference, so timing tells a stranger nothing.
bool samePasscode(const std::string& given, const std::string& expected) {
    if (expected.empty() || given.size() != expected.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t index = 0; index < given.size(); ++index)
        difference |= static_cast<unsigned char>(given[index] ^ expected[index]);
    return difference == 0;
}

}  // namespace

OscListener::OscListener(const Options& options, Handlers handlers)
    : m_passcode(options.passcode), m_handlers(std::move(handlers)) {
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_socket < 0)
        throw std::system_error(errno, std::generic_category());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(options.fromNetwork ? INADDR_ANY : INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int pipeEnds[2] = {-1, -1};
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(m_socket);
        throw std::system_error(error, std::generic_category());
    }
    m_port = ntohs(address.sin_port);
    m_wakeRead = pipeEnds[0];
    m_wakeWrite = pipeEnds[1];
    m_thread = std::thread([this] { run(); });
}

OscListener::~OscListener() {
    const char stop = 1;
    while (::write(m_wakeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    ::close(m_socket);
}

void OscListener::sendToPeers(const std::string& datagram) {  // main thread; takes m_peersMutex
    std::vector<OscPeer> peers;
    {
        std::lock_guard lock(m_peersMutex);
        for (const auto& entry : m_peers)
            peers.push_back(entry.peer);
    }
    for (const auto& peer : peers)
        sendTo(peer, datagram);
}

void OscListener::sendTo(const OscPeer& peer, const std::string& datagram) {  // any thread
    if (datagram.empty())
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = peer.address;
    address.sin_port = peer.port;
    // Feedback is best effort: a controller that went away must not stop anything.
    (void)::sendto(m_socket, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void OscListener::run() {  // listener thread
    std::vector<char> buffer(65536);
    std::array<pollfd, 2> watched{pollfd{m_socket, POLLIN, 0}, pollfd{m_wakeRead, POLLIN, 0}};
    for (;;) {
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            return;
        if (watched[1].revents != 0)
            return;
        // A bounded batch per wake-up: a flood must not keep the stop request waiting.
        for (int batch = 0; batch < 256; ++batch) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t size = ::recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                            reinterpret_cast<sockaddr*>(&from), &length);
            if (size < 0)
                break;
            if (from.sin_family != AF_INET)
                continue;
            receive(std::string(buffer.data(), static_cast<std::size_t>(size)),
                    OscPeer{from.sin_addr.s_addr, from.sin_port});
        }
    }
}

void OscListener::receive(const std::string& datagram, const OscPeer& sender) {  // listener thread
    const auto request = decodeOscRequest(datagram);
    if (!request)
        return;
    if (request->kind == OscRequest::Kind::connect) {
        // A wrong passcode gets nothing, not even a refusal.
        if (!m_passcode.empty() && !samePasscode(request->passcode, m_passcode))
            return;
        remember(sender, request->fromMirror);
        if (m_handlers.connected)
            m_handlers.connected(sender);
        return;
    }
    bool fromMirror = false;
    if (m_passcode.empty()) {
        if (remember(sender, false) && m_handlers.connected)
            m_handlers.connected(sender);
        fromMirror = find(sender)->isMirror;
    } else {
        const PeerEntry* entry = find(sender);
        if (!entry)
            return;
        fromMirror = entry->isMirror;
    }
    if (m_handlers.command)
        m_handlers.command(request->command, fromMirror);
}

bool OscListener::remember(const OscPeer& sender, bool isMirror) {  // listener thread; m_peersMutex
    std::lock_guard lock(m_peersMutex);
    for (auto it = m_peers.begin(); it != m_peers.end(); ++it) {
        if (it->peer == sender) {
            PeerEntry entry = *it;
            entry.isMirror = entry.isMirror || isMirror;
            m_peers.erase(it);
            m_peers.push_back(entry);
            return false;
        }
    }
    m_peers.push_back({sender, isMirror});
    if (m_peers.size() > maximumPeers)
        m_peers.pop_front();
    return true;
}

const OscListener::PeerEntry* OscListener::find(const OscPeer& sender) const {
    // Only the listener thread changes m_peers, so it may read without the lock.
    for (const auto& entry : m_peers) {
        if (entry.peer == sender)
            return &entry;
    }
    return nullptr;
}

}  // namespace tavrel
