#include <gtest/gtest.h>

#include <vector>

#include "platform/sim/SimKeyTap.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

// Taps form a chain with the newest at its head: an event one tap swallows
// never reaches the older ones, and only enabled, served taps see key events.
TEST(SimKeyTap, OffersEventsNewestFirstUntilOneSwallows) {
    ManualLoop loop;
    SimKeyTap keys;
    std::vector<int> seen;
    auto older = keys.createTap([&](const KeyTapEvent&) {
        seen.push_back(1);
        return KeyTapVerdict::pass;
    });
    auto newer = keys.createTap([&](const KeyTapEvent& event) {
        seen.push_back(2);
        return event.keyCode == 53 ? KeyTapVerdict::swallow : KeyTapVerdict::pass;
    });

    // Created disabled and unserved: nothing sees the event.
    EXPECT_EQ(keys.send(SimKeyTap::keyDown(0)), KeyTapVerdict::pass);
    EXPECT_TRUE(seen.empty());

    for (const auto& tap : {older, newer}) {
        tap->attachToMainLoop(loop);
        tap->setEnabled(true);
    }
    EXPECT_EQ(keys.send(SimKeyTap::keyDown(53)), KeyTapVerdict::swallow);
    EXPECT_EQ(keys.send(SimKeyTap::keyDown(0)), KeyTapVerdict::pass);
    EXPECT_EQ(seen, (std::vector<int>{2, 2, 1}));

    // A disabled tap gets its notice but no key events until enabled again.
    seen.clear();
    keys.disableTaps();
    EXPECT_EQ(keys.enabledTapCount(), 0u);
    EXPECT_EQ(keys.send(SimKeyTap::keyDown(53)), KeyTapVerdict::pass);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));

    newer->invalidate();
    older->setEnabled(true);
    EXPECT_EQ(keys.send(SimKeyTap::keyDown(53)), KeyTapVerdict::pass);
    EXPECT_EQ(keys.liveTapCount(), 1u);

    const auto deliveries = keys.deliveries();
    ASSERT_FALSE(deliveries.empty());
    EXPECT_EQ(deliveries.front().tapID, 2u);
    EXPECT_EQ(deliveries.front().verdict, KeyTapVerdict::swallow);
    EXPECT_EQ(deliveries.back().tapID, 1u);
    EXPECT_EQ(deliveries.back().event, SimKeyTap::keyDown(53));
}

}  // namespace
}  // namespace murmo
