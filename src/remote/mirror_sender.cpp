#include "remote/mirror_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "remote/osc_protocol.h"
#include "remote/remote_preferences.h"

namespace tavrel {

namespace {

// One UDP socket connected to the target, so that every datagram leaves from
// the one port that has connected. -1 when the name does not resolve.
int connectedSocket(const MirrorTarget& target) {
    const auto hostPort = parseHostPort(target.address);
    if (!hostPort)
        return -1;
    addrinfo hints{};
    hints.ai_family = AF_INET;  // what a Tavrel listens on
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(hostPort->port);
    if (::getaddrinfo(hostPort->host.c_str(), port.c_str(), &hints, &found) != 0)
        return -1;
    int result = -1;
    for (const addrinfo* entry = found; entry && result < 0; entry = entry->ai_next) {
        const int candidate =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (candidate < 0)
            continue;
        if (::connect(candidate, entry->ai_addr, entry->ai_addrlen) == 0)
            result = candidate;
        else
            ::close(candidate);
    }
    ::freeaddrinfo(found);
    return result;
}

// False when the socket is unusable; a refused or dropped datagram is not that.
bool sendDatagram(int socket, const std::string& datagram) {
    if (::send(socket, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
        return true;
    return errno == ECONNREFUSED || errno == EAGAIN || errno == EWOULDBLOCK ||
           errno == EHOSTUNREACH || errno == ENETUNREACH;
}

}  // namespace

// One target's queue and thread. The thread holds the queue, so a link let go
// while its thread waits on a name server is not waited for.
class MirrorSender::Link {
public:
    explicit Link(const MirrorTarget& target) : m_queue(std::make_shared<Queue>()) {
        std::thread([queue = m_queue, target] { run(*queue, target); }).detach();
    }

    ~Link() {
        {
            std::lock_guard lock(m_queue->mutex);
            m_queue->stopping = true;
        }
        m_queue->wake.notify_one();
    }

    void send(const RemoteCommand& command) {  // main thread; takes the queue's mutex
        {
            std::lock_guard lock(m_queue->mutex);
            m_queue->commands.push_back(command);
            if (m_queue->commands.size() > maximumQueued)
                m_queue->commands.pop_front();
        }
        m_queue->wake.notify_one();
    }

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<RemoteCommand> commands;
        bool stopping = false;
    };

    // The link's own thread; takes the queue's mutex only to take a command.
    static void run(Queue& queue, const MirrorTarget& target) {
        const std::string connect = oscConnectMessage(target.passcode, true);
        int socket = -1;
        for (;;) {
            RemoteCommand command;
            {
                std::unique_lock lock(queue.mutex);
                queue.wake.wait(lock, [&] { return queue.stopping || !queue.commands.empty(); });
                if (queue.stopping)
                    break;
                command = queue.commands.front();
                queue.commands.pop_front();
            }
            if (socket < 0)
                socket = connectedSocket(target);
            // Connecting before each command: a target restarted since the
            // last one has forgotten this sender.
            if (socket >= 0 && (!sendDatagram(socket, connect) ||
                                !sendDatagram(socket, oscCommandMessage(command)))) {
                ::close(socket);
                socket = -1;
            }
        }
        if (socket >= 0)
            ::close(socket);
    }

    std::shared_ptr<Queue> m_queue;
};

MirrorSender::MirrorSender(const std::vector<MirrorTarget>& targets) {
    for (const auto& target : targets)
        m_links.push_back(std::make_unique<Link>(target));
}

MirrorSender::~MirrorSender() = default;

void MirrorSender::send(const RemoteCommand& command) {
    for (const auto& link : m_links)
        link->send(command);
}

}  // namespace tavrel
