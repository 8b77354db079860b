#pragma once

// The shortcut values every shortcut-handling component shares: modifiers,
// the shortcut itself, its purpose, its text form, and the keyboard sample the
// event taps feed to their reducers. Pure data and pure functions.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/KeyTap.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

// An option set over an 8-bit raw value.
struct ShortcutModifiers {
    std::uint8_t rawValue = 0;

    static const ShortcutModifiers command;
    static const ShortcutModifiers option;
    static const ShortcutModifiers control;
    static const ShortcutModifiers shift;
    // Seen only in samples; never part of a chord's required modifiers.
    static const ShortcutModifiers function;

    constexpr bool contains(ShortcutModifiers other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool intersects(ShortcutModifiers other) const { return (rawValue & other.rawValue) != 0; }
    constexpr bool empty() const { return rawValue == 0; }
    constexpr ShortcutModifiers operator|(ShortcutModifiers other) const {
        return ShortcutModifiers{static_cast<std::uint8_t>(rawValue | other.rawValue)};
    }
    constexpr ShortcutModifiers operator&(ShortcutModifiers other) const {
        return ShortcutModifiers{static_cast<std::uint8_t>(rawValue & other.rawValue)};
    }
    constexpr ShortcutModifiers without(ShortcutModifiers other) const {
        return ShortcutModifiers{static_cast<std::uint8_t>(rawValue & ~other.rawValue)};
    }
    constexpr bool operator==(const ShortcutModifiers&) const = default;

    // The members whose platform flag is set in a keyboard event's flags.
    static ShortcutModifiers fromEventFlags(std::uint64_t flags);
    // The platform flags of the members (the inverse of fromEventFlags).
    std::uint64_t eventFlags() const;
};

inline constexpr ShortcutModifiers ShortcutModifiers::command{1};
inline constexpr ShortcutModifiers ShortcutModifiers::option{2};
inline constexpr ShortcutModifiers ShortcutModifiers::control{4};
inline constexpr ShortcutModifiers ShortcutModifiers::shift{8};
inline constexpr ShortcutModifiers ShortcutModifiers::function{16};

// The four modifiers a chord can require.
inline constexpr ShortcutModifiers kChordModifiers{15};

inline constexpr std::uint16_t kEscapeKeyCode = 53;
inline constexpr std::uint16_t kFunctionKeyCode = 63;
// Key codes the parsers and validation accept for a chord are below this.
inline constexpr std::uint16_t kChordKeyCodeLimit = 256;

// Right Command, Command, Shift, Caps Lock, Option, Control, right Shift,
// right Option, right Control, Fn: keys that can never be a chord's key.
bool isModifierKeyCode(std::uint16_t keyCode);

// The name shown for a key in display strings: the key-name table, or "Key "
// and the decimal code.
std::string keyName(std::uint16_t keyCode);

// Either the Fn/Globe key held alone, or one ordinary key pressed while the
// required modifiers are held.
class ShortcutChoice {
public:
    enum class Kind { chord, function };

    static constexpr ShortcutChoice function() { return ShortcutChoice(Kind::function, 0, {}); }
    static constexpr ShortcutChoice chord(std::uint16_t keyCode, ShortcutModifiers modifiers) {
        return ShortcutChoice(Kind::chord, keyCode, modifiers);
    }

    constexpr Kind kind() const { return kind_; }
    constexpr bool isFunction() const { return kind_ == Kind::function; }
    // Meaningful for a chord only.
    constexpr std::uint16_t keyCode() const { return keyCode_; }
    constexpr ShortcutModifiers modifiers() const { return modifiers_; }

    constexpr bool operator==(const ShortcutChoice&) const = default;

    // The text form used on the command line and in the stored settings:
    // "fn" / "function" (any case), or "chord:<code>:<modifier names>".
    static std::optional<ShortcutChoice> parse(std::string_view text);
    // "fn", or "chord:<code>:<names>" with the names in the order control,
    // option, shift, command.
    std::string canonicalText() const;
    // The status and menu text, e.g. "Control+Option+keyCode 49 (hold)", with
    // "hold" in the interface language ("system" is resolved against the
    // current preferred languages).
    std::string localizedDescription(NativeAppLanguage language) const;
    // The same text in English, for logs.
    std::string description() const;

private:
    std::string describe(std::string_view holdText) const;

    constexpr ShortcutChoice(Kind kind, std::uint16_t keyCode, ShortcutModifiers modifiers)
        : kind_(kind), keyCode_(keyCode), modifiers_(modifiers) {}

    Kind kind_;
    std::uint16_t keyCode_;
    ShortcutModifiers modifiers_;
};

// In this order: the order in which the router evaluates and reports.
enum class ShortcutPurpose { dictation, agent };

inline constexpr std::array<ShortcutPurpose, 2> kAllShortcutPurposes{ShortcutPurpose::dictation,
                                                                     ShortcutPurpose::agent};

std::string_view rawValue(ShortcutPurpose purpose);
std::optional<ShortcutPurpose> shortcutPurposeFromRawValue(std::string_view raw);

enum class KeyboardEventKind { flagsChanged, keyDown, keyUp };

// One observed keyboard event.
struct KeyboardSample {
    KeyboardEventKind kind = KeyboardEventKind::keyDown;
    std::uint16_t keyCode = 0;
    // The flags held after the event.
    ShortcutModifiers modifiers;
    // True for auto-repeat key-downs.
    bool isRepeat = false;

    bool operator==(const KeyboardSample&) const = default;

    // The sample of a keyboard event that reached a tap. A key code outside
    // the unsigned 16-bit range gives no sample: wrapping it could turn an
    // unknown key into a shortcut's key.
    static std::optional<KeyboardSample> from(const KeyTapEvent& event);
};

}  // namespace murmo
