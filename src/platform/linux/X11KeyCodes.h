#pragma once

// The one translation between X keycodes and the platform's virtual key codes
// the core speaks. By key position, never by keysym: an X keycode is the
// kernel's evdev code + 8, and a virtual key code names a position of the
// ANSI layout, so a shortcut stays on the same keys whatever layout is
// active.

#include <cstdint>
#include <optional>
#include <span>

namespace murmo {

class X11KeyCodes {
public:
    struct Key {
        std::uint8_t xKeyCode = 0;
        std::uint16_t virtualKeyCode = 0;
        // A modifier key reports changes of the flags rather than key-downs
        // and key-ups; `flag` is its key_event_flags bit (Caps Lock has none).
        bool modifier = false;
        std::uint64_t flag = 0;
    };

    // X11 has no Fn/Globe key event: the Menu key stands in for it.
    static constexpr std::uint8_t kMenuXKeyCode = 135;

    // Where a key outside the table is reported: this plus its X keycode, a
    // code no shortcut can hold, so such a key still counts as a key press.
    static constexpr std::uint16_t kUnmappedBase = 0x1000;

    // Every key the shortcut model names: letters, digits, punctuation, space,
    // return, tab, delete, escape, F1-F20, the arrows, the left and right
    // modifiers, Caps Lock and Fn/Globe (the Menu key).
    static std::span<const Key> keys();

    static const Key* byXKeyCode(unsigned xKeyCode);
    static const Key* byVirtualKeyCode(std::int64_t virtualKeyCode);
    // The table's code, or kUnmappedBase + the X keycode.
    static std::uint16_t virtualKeyCode(unsigned xKeyCode);
    static std::optional<unsigned> xKeyCode(std::int64_t virtualKeyCode);
};

}  // namespace murmo
