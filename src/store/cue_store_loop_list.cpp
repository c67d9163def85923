#include <algorithm>

#include "store/cue_store.h"

namespace tavrel {

namespace {

// The file name without its extension: "song.mp3" → "song", ".mp3" → "".
std::string trackTitle(const std::filesystem::path& url) {
    std::string name = url.filename().string();
    if (const auto dot = name.rfind('.'); dot != std::string::npos)
        name.erase(dot);
    return name.empty() ? "반복 곡" : name;
}

}  // namespace

bool CueStore::addLoopTracks(const std::vector<path>& urls) {
    if (m_loopPlayback)
        return false;
    if (!m_persistence) {
        m_persistenceError = CueStoreError::message(CueStoreError::Kind::persistenceUnavailable);
        notifyObservers();
        return false;
    }
    const CueDocument rollback = m_document;
    std::set<std::string> imported;
    for (const auto& url : urls) {
        std::string name;
        try {
            name = m_persistence->importMedia(url, "loop", m_fileManager);
        } catch (const std::exception& error) {
            m_document = rollback;
            removeMediaDelta(imported);
            m_persistenceError = error.what();
            notifyObservers();
            return false;
        }
        imported.insert(name);
        LoopTrack track;
        track.title = trackTitle(url);
        track.audioFilename = name;
        m_document.loopTracks.push_back(std::move(track));
    }
    if (!save()) {
        m_document = rollback;
        removeMediaDelta(imported);
        notifyObservers();
        return false;
    }
    notifyObservers();
    return true;
}

void CueStore::removeLoopTracks(const std::set<std::size_t>& positions) {
    if (positions.empty() || m_loopPlayback)
        return;
    stopLoopPlayback(true);
    const CueDocument rollback = m_document;
    std::set<std::string> candidates;
    std::vector<LoopTrack> kept;
    for (std::size_t i = 0; i < m_document.loopTracks.size(); ++i) {
        if (positions.contains(i)) {
            candidates.insert(m_document.loopTracks[i].audioFilename);
        } else {
            kept.push_back(m_document.loopTracks[i]);
        }
    }
    m_document.loopTracks = std::move(kept);
    if (save()) {
        removeMediaDelta(candidates);
    } else {
        m_document = rollback;
    }
    notifyObservers();
}

void CueStore::moveLoopTracks(const std::set<std::size_t>& positions, std::size_t destination) {
    if (positions.empty() || m_loopPlayback)
        return;
    const CueDocument rollback = m_document;
    std::vector<LoopTrack> moving;
    std::vector<LoopTrack> remaining;
    for (std::size_t i = 0; i < m_document.loopTracks.size(); ++i) {
        (positions.contains(i) ? moving : remaining).push_back(m_document.loopTracks[i]);
    }
    const auto before = static_cast<std::size_t>(
        std::count_if(positions.begin(), positions.end(),
                      [destination](std::size_t p) { return p < destination; }));
    const std::size_t insertion = std::min(destination - before, remaining.size());
    remaining.insert(remaining.begin() + static_cast<std::ptrdiff_t>(insertion), moving.begin(),
                     moving.end());
    m_document.loopTracks = std::move(remaining);
    if (!save())
        m_document = rollback;
    notifyObservers();
}

}  // namespace tavrel
