#pragma once

#include <cstdint>
#include <optional>

namespace tavrel {

// The cue controller's published state. A loop track plays as slot id -1.
class PlaybackState {
public:
    enum class Kind { playing, paused, stopped };

    static PlaybackState playing(std::int64_t slotID) { return {Kind::playing, slotID}; }
    static PlaybackState paused(std::int64_t slotID) { return {Kind::paused, slotID}; }
    static PlaybackState stopped() { return {Kind::stopped, 0}; }

    Kind kind() const { return m_kind; }
    bool isPlaying() const { return m_kind == Kind::playing; }
    bool isPaused() const { return m_kind == Kind::paused; }
    bool isStopped() const { return m_kind == Kind::stopped; }
    // The slot of playing and paused; empty when stopped.
    std::optional<std::int64_t> activeSlotID() const {
        if (m_kind == Kind::stopped)
            return std::nullopt;
        return m_slotID;
    }

    bool operator==(const PlaybackState& other) const {
        return m_kind == other.m_kind && (m_kind == Kind::stopped || m_slotID == other.m_slotID);
    }

private:
    PlaybackState(Kind kind, std::int64_t slotID) : m_kind(kind), m_slotID(slotID) {}

    Kind m_kind = Kind::stopped;
    std::int64_t m_slotID = 0;
};

}  // namespace tavrel
