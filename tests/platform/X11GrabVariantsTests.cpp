#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/KeyTap.h"
#include "platform/linux/X11GrabVariants.h"

namespace murmo {
namespace {

namespace f = key_event_flags;

// The usual evdev mapping: Shift, Lock, Control, Mod1 = Alt, Mod2 = Num Lock,
// Mod4 = Super, and no Scroll Lock modifier.
constexpr unsigned kShift = 1, kLock = 2, kControl = 4, kMod1 = 8, kMod2 = 16, kMod3 = 32, kMod4 = 64;
constexpr X11ModifierMasks kUsual{.shift = kShift,
                                  .control = kControl,
                                  .option = kMod1,
                                  .command = kMod4,
                                  .capsLock = kLock,
                                  .numLock = kMod2,
                                  .scrollLock = 0};

TEST(X11GrabVariants, AChordIsGrabbedInEveryLockStateAndWithEveryExtraModifier) {
    const auto variants = X11GrabVariants::forFlags(f::control | f::alternate, kUsual);
    const unsigned chord = kControl | kMod1;
    EXPECT_EQ(variants.exact, (std::vector<unsigned>{chord, chord | kLock, chord | kMod2, chord | kLock | kMod2}));
    std::vector<unsigned> wider;
    for (const unsigned extra : {kShift, kMod4, kShift | kMod4}) {
        for (const unsigned lock : {0u, kLock, kMod2, kLock | kMod2}) wider.push_back(chord | extra | lock);
    }
    std::sort(wider.begin(), wider.end());
    EXPECT_EQ(variants.wider, wider);
}

TEST(X11GrabVariants, CombinationsFollowTheMappingAndNeverRepeat) {
    struct Case {
        std::string name;
        std::uint64_t flags;
        X11ModifierMasks masks;
        unsigned required;
        std::size_t lockStates;
        std::size_t extraSets;
    };
    auto withScrollLock = kUsual;
    withScrollLock.scrollLock = kMod3;
    const std::vector<Case> cases{
        // Fn/Globe is no X modifier: the Menu key alone, with anything held.
        {"Fn/Globe", f::secondaryFn, kUsual, 0, 4, 15},
        {"Command+Shift", f::command | f::shift, kUsual, kMod4 | kShift, 4, 3},
        {"every modifier", f::command | f::shift | f::control | f::alternate, kUsual, kMod4 | kShift | kControl | kMod1,
         4, 0},
        {"Scroll Lock mapped", f::control, withScrollLock, kControl, 8, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto variants = X11GrabVariants::forFlags(c.flags, c.masks);
        EXPECT_EQ(variants.exact.size(), c.lockStates);
        const std::set<unsigned> all(variants.exact.begin(), variants.exact.end());
        for (const unsigned mask : variants.exact) EXPECT_EQ(mask & c.required, c.required);
        std::set<unsigned> seen = all;
        for (const unsigned mask : variants.wider) {
            EXPECT_EQ(mask & c.required, c.required);
            EXPECT_TRUE(seen.insert(mask).second) << mask;
        }
        EXPECT_EQ(variants.wider.size(), c.lockStates * c.extraSets);
    }
}

}  // namespace
}  // namespace murmo
