#include "base/observable.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace tavrel {
namespace {

class Counter : public Observable {
public:
    void change() { notifyObservers(); }
};

TEST(Observable, SubscriptionsEndWhenDestroyedMovedOverOrOutliveTheObservable) {
    auto counter = std::make_unique<Counter>();
    int first = 0;
    int second = 0;
    Subscription outer;
    {
        auto inner = counter->subscribe([&] { ++first; });
        outer = std::move(inner);
    }
    std::optional<Subscription> b = counter->subscribe([&] { ++second; });
    counter->change();
    b.reset();
    counter->change();
    // Replacing a live subscription ends the old one.
    outer = counter->subscribe([] {});
    counter->change();
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
    counter.reset();
    outer.reset();  // must not touch the destroyed observable
}

TEST(Observable, ObserversChangingSubscriptionsDuringNotification) {
    Counter counter;
    std::vector<int> calls;
    int late = 0;
    std::optional<Subscription> first;
    std::optional<Subscription> second;
    std::vector<Subscription> added;
    first = counter.subscribe([&] {
        calls.push_back(1);
        first.reset();
        second.reset();
        added.push_back(counter.subscribe([&] { ++late; }));
    });
    second = counter.subscribe([&] { calls.push_back(2); });
    counter.change();
    EXPECT_EQ(late, 0) << "added during a notification: hears only later changes";
    counter.change();
    EXPECT_EQ(calls, std::vector<int>{1});
    EXPECT_EQ(late, 1);
}

}  // namespace
}  // namespace tavrel
