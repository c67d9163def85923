#include "app/cue_warmer.h"

namespace tavrel {

CueWarmer::CueWarmer(std::shared_ptr<CueStore> store, Warm warm)
    : m_store(std::move(store)), m_warm(std::move(warm)) {
    m_storeSubscription = m_store->subscribe([this] { warmAll(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { warmAll(); });
    warmAll();
}

void CueWarmer::warmAll() {
    // The engine ignores a file and offset that are already warm.
    for (const auto& slot : m_store->document().slots) {
        if (!m_store->canPlay(slot))
            continue;
        if (const auto url = m_store->audioURL(slot))
            m_warm(*url, slot.startSeconds);
    }
}

}  // namespace tavrel
