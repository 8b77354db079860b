#include "platform/linux/X11KeyCodes.h"

#include <array>

#include "platform/KeyTap.h"

namespace murmo {

namespace {

// An X keycode from the kernel's evdev code (linux/input-event-codes.h).
constexpr std::uint8_t evdev(int code) { return static_cast<std::uint8_t>(code + 8); }

constexpr X11KeyCodes::Key key(int evdevCode, std::uint16_t virtualKeyCode) {
    return {evdev(evdevCode), virtualKeyCode, false, 0};
}

constexpr X11KeyCodes::Key modifier(int evdevCode, std::uint16_t virtualKeyCode, std::uint64_t flag) {
    return {evdev(evdevCode), virtualKeyCode, true, flag};
}

namespace f = key_event_flags;

constexpr std::array kKeys{
    // Letters.
    key(30, 0), key(31, 1), key(32, 2), key(33, 3), key(35, 4), key(34, 5), key(44, 6), key(45, 7), key(46, 8),
    key(47, 9), key(48, 11), key(16, 12), key(17, 13), key(18, 14), key(19, 15), key(21, 16), key(20, 17), key(24, 31),
    key(22, 32), key(23, 34), key(25, 35), key(38, 37), key(36, 38), key(37, 40), key(49, 45), key(50, 46),
    // Digits.
    key(2, 18), key(3, 19), key(4, 20), key(5, 21), key(7, 22), key(6, 23), key(10, 25), key(8, 26), key(9, 28),
    key(11, 29),
    // Punctuation: = - ] [ ' ; \ , / . `
    key(13, 24), key(12, 27), key(27, 30), key(26, 33), key(40, 39), key(39, 41), key(43, 42), key(51, 43), key(53, 44),
    key(52, 47), key(41, 50),
    // Return, Tab, Space, Delete (backspace), Escape.
    key(28, 36), key(15, 48), key(57, 49), key(14, 51), key(1, 53),
    // F1-F20.
    key(59, 122), key(60, 120), key(61, 99), key(62, 118), key(63, 96), key(64, 97), key(65, 98), key(66, 100),
    key(67, 101), key(68, 109), key(87, 103), key(88, 111), key(183, 105), key(184, 107), key(185, 113), key(186, 106),
    key(187, 64), key(188, 79), key(189, 80), key(190, 90),
    // Arrows: left, right, down, up.
    key(105, 123), key(106, 124), key(108, 125), key(103, 126),
    // Modifiers: right and left Command (Super), Shift, Caps Lock, Option
    // (Alt), Control, right Shift, right Option, right Control, and Fn/Globe
    // (Menu, evdev's Compose).
    modifier(126, 54, f::command), modifier(125, 55, f::command), modifier(42, 56, f::shift), modifier(58, 57, 0),
    modifier(56, 58, f::alternate), modifier(29, 59, f::control), modifier(54, 60, f::shift),
    modifier(100, 61, f::alternate), modifier(97, 62, f::control), modifier(127, 63, f::secondaryFn)};

static_assert(evdev(127) == X11KeyCodes::kMenuXKeyCode);

}  // namespace

std::span<const X11KeyCodes::Key> X11KeyCodes::keys() { return kKeys; }

const X11KeyCodes::Key* X11KeyCodes::byXKeyCode(unsigned xKeyCode) {
    for (const auto& entry : kKeys) {
        if (entry.xKeyCode == xKeyCode) return &entry;
    }
    return nullptr;
}

const X11KeyCodes::Key* X11KeyCodes::byVirtualKeyCode(std::int64_t virtualKeyCode) {
    for (const auto& entry : kKeys) {
        if (entry.virtualKeyCode == virtualKeyCode) return &entry;
    }
    return nullptr;
}

std::uint16_t X11KeyCodes::virtualKeyCode(unsigned xKeyCode) {
    if (const auto* entry = byXKeyCode(xKeyCode)) return entry->virtualKeyCode;
    return static_cast<std::uint16_t>(kUnmappedBase + (xKeyCode & 0xFF));
}

std::optional<unsigned> X11KeyCodes::xKeyCode(std::int64_t virtualKeyCode) {
    if (const auto* entry = byVirtualKeyCode(virtualKeyCode)) return entry->xKeyCode;
    if (virtualKeyCode >= kUnmappedBase + 8 && virtualKeyCode <= kUnmappedBase + 255) {
        return static_cast<unsigned>(virtualKeyCode - kUnmappedBase);
    }
    return std::nullopt;
}

}  // namespace murmo
