#include "app/cue_warmer.h"

namespace tavrel {

CueWarmer::CueWarmer(std::shared_ptr<CueStore> store, Warm warm,
                     std::function<void()> documentChanged)
    : m_store(std::move(store)),
      m_warm(std::move(warm)),
      m_documentChanged(std::move(documentChanged)) {
    // The store also notifies twice a second during a timed loop: only a
    // changed document can need new warm starts there.
    m_storeSubscription = m_store->subscribe([this] {
        if (m_store->document() == m_warmedDocument)
            return;
        if (m_documentChanged)
            m_documentChanged();
        warmAll();
    });
    m_playbackSubscription = m_store->playback().subscribe([this] { warmAll(); });
    warmAll();
}

void CueWarmer::warmAll() {
    m_warmedDocument = m_store->document();
    // The engine ignores a file and offset that are already warm.
    for (const auto& slot : m_store->document().slots) {
        if (!m_store->canPlay(slot))
            continue;
        if (const auto url = m_store->audioURL(slot))
            m_warm(*url, slot.startSeconds);
    }
}

}  // namespace tavrel
