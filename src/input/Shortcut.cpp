#include "input/Shortcut.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "services/NativeStringCatalog.h"

#include "runtime/AsciiText.h"

namespace murmo {

namespace {

std::string_view trimmedSpacesAndTabs(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        auto end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Digits only: a sign, a blank or a value beyond 16 bits is no key code (a
// value is never wrapped into range).
std::optional<std::uint16_t> parseKeyCode(std::string_view text) {
    if (text.empty()) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    std::uint16_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<ShortcutModifiers> modifierFromTextName(std::string_view lowered) {
    if (lowered == "command" || lowered == "cmd") return ShortcutModifiers::command;
    if (lowered == "option" || lowered == "alt") return ShortcutModifiers::option;
    if (lowered == "control" || lowered == "ctrl") return ShortcutModifiers::control;
    if (lowered == "shift") return ShortcutModifiers::shift;
    return std::nullopt;
}

struct NamedModifier {
    ShortcutModifiers member;
    std::string_view canonicalName;
    std::string_view descriptionName;
};

// The order in which modifiers are written everywhere.
constexpr std::array<NamedModifier, 4> kModifierOrder{{
    {ShortcutModifiers::control, "control", "Control"},
    {ShortcutModifiers::option, "option", "Option"},
    {ShortcutModifiers::shift, "shift", "Shift"},
    {ShortcutModifiers::command, "command", "Command"},
}};

}  // namespace

ShortcutModifiers ShortcutModifiers::fromEventFlags(std::uint64_t flags) {
    ShortcutModifiers result;
    if (flags & key_event_flags::command) result = result | command;
    if (flags & key_event_flags::alternate) result = result | option;
    if (flags & key_event_flags::control) result = result | control;
    if (flags & key_event_flags::shift) result = result | shift;
    if (flags & key_event_flags::secondaryFn) result = result | function;
    return result;
}

std::uint64_t ShortcutModifiers::eventFlags() const {
    std::uint64_t flags = 0;
    if (contains(command)) flags |= key_event_flags::command;
    if (contains(option)) flags |= key_event_flags::alternate;
    if (contains(control)) flags |= key_event_flags::control;
    if (contains(shift)) flags |= key_event_flags::shift;
    if (contains(function)) flags |= key_event_flags::secondaryFn;
    return flags;
}

bool isModifierKeyCode(std::uint16_t keyCode) { return keyCode >= 54 && keyCode <= 63; }

std::string keyName(std::uint16_t keyCode) {
    static constexpr std::array<std::string_view, 52> kNames{
        "A",      "S", "D", "F", "H", "G", "Z",  "X", "C", "V", "",  "B", "Q",   "W",     "E", "R",     "Y", "T",
        "1",      "2", "3", "4", "6", "5", "=",  "9", "7", "-", "8", "0", "]",   "O",     "U", "[",     "I", "P",
        "Return", "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", ".", "Tab", "Space", "`", "Delete"};
    if (keyCode < kNames.size() && !kNames[keyCode].empty()) return std::string(kNames[keyCode]);
    return fmt::format("Key {}", keyCode);
}

std::optional<ShortcutChoice> ShortcutChoice::parse(std::string_view text) {
    const std::string lowered = asciiLowercased(text);
    if (lowered == "fn" || lowered == "function") return function();

    const auto pieces = split(text, ':');
    if (pieces.size() != 3) return std::nullopt;
    if (asciiLowercased(pieces[0]) != "chord") return std::nullopt;
    const auto keyCode = parseKeyCode(pieces[1]);
    if (!keyCode) return std::nullopt;

    ShortcutModifiers modifiers;
    bool named = false;
    for (auto piece : split(pieces[2], ',')) {
        if (piece.empty()) continue;
        named = true;
        const auto member = modifierFromTextName(asciiLowercased(trimmedSpacesAndTabs(piece)));
        if (!member) return std::nullopt;
        modifiers = modifiers | *member;
    }
    if (!named) return std::nullopt;
    if (*keyCode >= kChordKeyCodeLimit || isModifierKeyCode(*keyCode)) return std::nullopt;
    return chord(*keyCode, modifiers);
}

std::string ShortcutChoice::canonicalText() const {
    if (isFunction()) return "fn";
    std::vector<std::string_view> names;
    for (const auto& named : kModifierOrder) {
        if (modifiers_.contains(named.member)) names.push_back(named.canonicalName);
    }
    return fmt::format("chord:{}:{}", keyCode_, fmt::join(names, ","));
}

std::string ShortcutChoice::describe(std::string_view holdText) const {
    if (isFunction()) return fmt::format("Fn/Globe ({})", holdText);
    std::vector<std::string> parts;
    for (const auto& named : kModifierOrder) {
        if (modifiers_.contains(named.member)) parts.emplace_back(named.descriptionName);
    }
    parts.push_back(fmt::format("keyCode {}", keyCode_));
    return fmt::format("{} ({})", fmt::join(parts, "+"), holdText);
}

std::string ShortcutChoice::localizedDescription(NativeAppLanguage language) const {
    return describe(NativeLocalizedStrings(language).holdShortcut());
}

std::string ShortcutChoice::description() const { return localizedDescription(NativeAppLanguage::english); }

std::string_view rawValue(ShortcutPurpose purpose) {
    switch (purpose) {
        case ShortcutPurpose::dictation: return "dictation";
        case ShortcutPurpose::agent: return "agent";
    }
    return "dictation";
}

std::optional<ShortcutPurpose> shortcutPurposeFromRawValue(std::string_view raw) {
    for (auto purpose : kAllShortcutPurposes) {
        if (rawValue(purpose) == raw) return purpose;
    }
    return std::nullopt;
}

std::optional<KeyboardSample> KeyboardSample::from(const KeyTapEvent& event) {
    if (event.keyCode < 0 || event.keyCode > std::numeric_limits<std::uint16_t>::max()) return std::nullopt;
    KeyboardSample sample;
    switch (event.type) {
        case KeyTapEventType::flagsChanged: sample.kind = KeyboardEventKind::flagsChanged; break;
        case KeyTapEventType::keyDown: sample.kind = KeyboardEventKind::keyDown; break;
        default: sample.kind = KeyboardEventKind::keyUp; break;
    }
    sample.keyCode = static_cast<std::uint16_t>(event.keyCode);
    sample.modifiers = ShortcutModifiers::fromEventFlags(event.flags);
    sample.isRepeat = event.autorepeat != 0;
    return sample;
}

}  // namespace murmo
