#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "base/observable.h"
#include "store/cue_store.h"

namespace tavrel {

// Keeps every playable cue warm: after start-up, after each edit and after
// each play (which uses up its warm start). Main thread only.
class CueWarmer {
public:
    using Warm = std::function<void(const std::filesystem::path& url, double startSeconds)>;

    // `documentChanged` runs before the warm-ups that follow an edit.
    CueWarmer(std::shared_ptr<CueStore> store, Warm warm,
              std::function<void()> documentChanged = {});

private:
    void warmAll();

    std::shared_ptr<CueStore> m_store;
    Warm m_warm;
    std::function<void()> m_documentChanged;
    CueDocument m_warmedDocument;
    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
};

}  // namespace tavrel
