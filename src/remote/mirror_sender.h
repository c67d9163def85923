#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "model/preferences.h"
#include "remote/remote_command.h"

namespace tavrel {

// Sends every command this machine carries out to backup machines, as OSC,
// each target on its own thread: a name that takes long to resolve or a
// machine that does not answer delays neither the main thread nor the others.
class MirrorSender {
public:
    // The targets must have passed validateRemotePreferences.
    explicit MirrorSender(const std::vector<MirrorTarget>& targets);
    ~MirrorSender();
    MirrorSender(const MirrorSender&) = delete;
    MirrorSender& operator=(const MirrorSender&) = delete;

    // Returns at once.
    void send(const RemoteCommand& command);

    // Commands waiting for one target; the oldest is dropped past this.
    static constexpr std::size_t maximumQueued = 64;

private:
    class Link;
    std::vector<std::unique_ptr<Link>> m_links;
};

}  // namespace tavrel
