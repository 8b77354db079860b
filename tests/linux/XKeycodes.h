#pragma once

// X keycodes by position (evdev code + 8), whatever the layout: the keys the
// linux tests play on the server's own keyboard.

namespace murmo::testing::x_keycode {

inline constexpr unsigned kDigit2 = 11;
inline constexpr unsigned kY = 29;
inline constexpr unsigned kControlL = 37;
inline constexpr unsigned kA = 38;
inline constexpr unsigned kK = 45;
inline constexpr unsigned kSemicolon = 47;
inline constexpr unsigned kShiftL = 50;
inline constexpr unsigned kShiftR = 62;
inline constexpr unsigned kAltL = 64;
inline constexpr unsigned kSpace = 65;
inline constexpr unsigned kCapsLock = 66;
inline constexpr unsigned kNumLock = 77;
inline constexpr unsigned kAltR = 108;
inline constexpr unsigned kMenu = 135;

}  // namespace murmo::testing::x_keycode
