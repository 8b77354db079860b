#pragma once

// A passive key grab matches one exact set of held modifiers, lock modifiers
// included: to catch a key whatever the state of Caps Lock, Num Lock and
// Scroll Lock, and with more modifiers held than a shortcut needs, one key is
// grabbed once per modifier combination.

#include <cstdint>
#include <vector>

namespace murmo {

// The X modifier masks of the keyboard's current mapping (0 where the
// mapping has no such modifier).
struct X11ModifierMasks {
    unsigned shift = 0;
    unsigned control = 0;
    unsigned option = 0;
    unsigned command = 0;
    unsigned capsLock = 0;
    unsigned numLock = 0;
    unsigned scrollLock = 0;
};

struct X11GrabVariants {
    // The required modifiers with each combination of the lock modifiers:
    // another client holding any of these holds the shortcut itself.
    std::vector<unsigned> exact;
    // The same with extra chord modifiers held as well.
    std::vector<unsigned> wider;

    // For a key that must be pressed with at least `flags` (key_event_flags;
    // Fn/Globe is no X modifier and adds nothing).
    static X11GrabVariants forFlags(std::uint64_t flags, const X11ModifierMasks& masks);
};

}  // namespace murmo
