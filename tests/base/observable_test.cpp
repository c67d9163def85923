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

TEST(Observable, NotifiesEverySubscriberUntilItsSubscriptionEnds) {
    Counter counter;
    int first = 0;
    int second = 0;
    auto a = counter.subscribe([&] { ++first; });
    std::optional<Subscription> b = counter.subscribe([&] { ++second; });
    counter.change();
    b.reset();
    counter.change();
    a.reset();
    counter.change();
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
}

TEST(Observable, MovedSubscriptionKeepsTheObserverAndEndsItOnce) {
    Counter counter;
    int calls = 0;
    Subscription outer;
    {
        auto inner = counter.subscribe([&] { ++calls; });
        outer = std::move(inner);
    }
    counter.change();
    EXPECT_EQ(calls, 1);
    // Replacing a live subscription ends the old one.
    int others = 0;
    outer = counter.subscribe([&] { ++others; });
    counter.change();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(others, 1);
}

TEST(Observable, ObserverMayUnsubscribeItselfOrAnotherDuringNotification) {
    Counter counter;
    std::vector<int> calls;
    std::optional<Subscription> first;
    std::optional<Subscription> second;
    first = counter.subscribe([&] {
        calls.push_back(1);
        first.reset();
        second.reset();
    });
    second = counter.subscribe([&] { calls.push_back(2); });
    counter.change();
    counter.change();
    EXPECT_EQ(calls, std::vector<int>{1});
}

TEST(Observable, ObserverAddedDuringNotificationHearsOnlyLaterChanges) {
    Counter counter;
    int late = 0;
    std::vector<Subscription> added;
    auto subscription = counter.subscribe([&] {
        if (added.empty())
            added.push_back(counter.subscribe([&] { ++late; }));
    });
    counter.change();
    EXPECT_EQ(late, 0);
    counter.change();
    EXPECT_EQ(late, 1);
}

TEST(Observable, SubscriptionMayOutliveTheObservable) {
    auto counter = std::make_unique<Counter>();
    int calls = 0;
    auto subscription = counter->subscribe([&] { ++calls; });
    counter.reset();
    subscription.reset();  // must not touch the destroyed observable
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tavrel
