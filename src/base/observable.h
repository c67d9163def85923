#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace tavrel {

// Ends one subscription when destroyed. Safe to outlive the observable.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : m_cancel(std::move(other.m_cancel)) {
        other.m_cancel = nullptr;
    }
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset();

private:
    std::function<void()> m_cancel;
};

// Observers are called synchronously, on the main thread, after a change has
// been applied completely.
class Observable {
public:
    Observable();
    virtual ~Observable() = default;
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    [[nodiscard]] Subscription subscribe(std::function<void()> onChange);

protected:
    void notifyObservers();

private:
    struct Observers {
        std::uint64_t nextID = 0;
        std::map<std::uint64_t, std::shared_ptr<std::function<void()>>> callbacks;
    };
    std::shared_ptr<Observers> m_observers;
};

}  // namespace tavrel
