#include "base/observable.h"

#include <vector>

namespace tavrel {

Subscription& Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        m_cancel = std::move(other.m_cancel);
        other.m_cancel = nullptr;
    }
    return *this;
}

void Subscription::reset() {
    if (m_cancel) {
        auto cancel = std::move(m_cancel);
        m_cancel = nullptr;
        cancel();
    }
}

Observable::Observable() : m_observers(std::make_shared<Observers>()) {}

Subscription Observable::subscribe(std::function<void()> onChange) {
    const auto id = m_observers->nextID++;
    m_observers->callbacks.emplace(id,
                                   std::make_shared<std::function<void()>>(std::move(onChange)));
    std::weak_ptr<Observers> weak = m_observers;
    return Subscription([weak, id] {
        if (auto observers = weak.lock()) {
            observers->callbacks.erase(id);
        }
    });
}

void Observable::notifyObservers() {
    // A callback may subscribe or unsubscribe: walk a snapshot, and skip those
    // cancelled meanwhile.
    std::vector<std::pair<std::uint64_t, std::weak_ptr<std::function<void()>>>> snapshot;
    snapshot.reserve(m_observers->callbacks.size());
    for (const auto& [id, callback] : m_observers->callbacks) {
        snapshot.emplace_back(id, callback);
    }
    auto observers = m_observers;
    for (const auto& [id, weakCallback] : snapshot) {
        if (!observers->callbacks.contains(id)) {
            continue;
        }
        if (auto callback = weakCallback.lock()) {
            (*callback)();
        }
    }
}

}  // namespace tavrel
