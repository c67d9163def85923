#include "remote_rig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace tavrel::test {

namespace {

int boundSocket() {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    return socket;
}

std::string mediaName(int cue) {
    return "audio-cue" + std::to_string(cue) + ".mp3";
}

}  // namespace

void SignallingMainLoop::post(Task task) {
    m_inner.post(std::move(task));
    {
        std::lock_guard lock(m_mutex);
        ++m_postCount;
    }
    m_posted.notify_all();
}

bool SignallingMainLoop::runUntil(const std::function<bool()>& done, std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(m_mutex);
            seen = m_postCount;
        }
        m_inner.runPending();
        if (done())
            return true;
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_until(lock, deadline, [&] { return m_postCount != seen; })) {
            lock.unlock();
            m_inner.runPending();
            return done();
        }
    }
}

OscClient::OscClient() : m_socket(boundSocket()) {}

OscClient::~OscClient() {
    ::close(m_socket);
}

void OscClient::send(int port, const std::string& datagram) const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::sendto(m_socket, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        throw std::system_error(errno, std::generic_category(), "sendto");
    }
}

std::optional<std::string> OscClient::receive(std::chrono::milliseconds bound) const {
    pollfd watched{m_socket, POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(bound.count())) <= 0)
        return std::nullopt;
    std::string buffer(65536, '\0');
    const ssize_t size = ::recv(m_socket, buffer.data(), buffer.size(), 0);
    if (size < 0)
        return std::nullopt;
    buffer.resize(static_cast<std::size_t>(size));
    return buffer;
}

bool OscClient::hasDatagram() const {
    pollfd watched{m_socket, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0;
}

int freeUdpPort() {
    const int socket = boundSocket();
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

bool udpPortIsFree(int port) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return bound;
}

RemoteRig::RemoteRig() {
    CueDocument document = CueDocument::empty();
    std::vector<std::string> media;
    for (int cue = 1; cue <= RemoteCommand::cueCount; ++cue) {
        document.slots.at(static_cast<std::size_t>(cue - 1)).audioFilename = mediaName(cue);
        media.push_back(mediaName(cue));
    }
    seed(document, media);
}

RemoteRig::~RemoteRig() {
    remote.reset();
}

void RemoteRig::startRemote(const Preferences& preferences) {
    store->setPreferences(preferences);
    remote = RemoteControl::create(store, loop);
}

int RemoteRig::starts(int cue) const {
    return static_cast<int>(std::count_if(
        factory->requestedURLs.begin(), factory->requestedURLs.end(),
        [&](const std::filesystem::path& url) { return url.filename() == mediaName(cue); }));
}

Preferences RemoteRig::oscPreferences(const std::string& passcode) {
    Preferences preferences;
    preferences.oscEnabled = true;
    preferences.oscPort = freeUdpPort();
    preferences.oscPasscode = passcode;
    return preferences;
}

}  // namespace tavrel::test
