#include "platform/linux/XTestEventPoster.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/KeyTap.h"
#include "platform/linux/X11InputDevices.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace murmo {

namespace {

// Makes the events the poster knows how to post: the paste chord's key and
// the key that carries text. Other virtual keys would need a positional
// layout table this poster does not use, so it makes none.
class XTestKeyboardEventSource final : public KeyboardEventSource {
public:
    std::optional<KeyboardEvent> makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) override {
        if (virtualKey != virtual_key::v && virtualKey != virtual_key::unicodeCarrier) return std::nullopt;
        return KeyboardEvent{.virtualKey = virtualKey, .keyDown = keyDown};
    }
};

struct DecodedCharacter {
    char32_t codePoint = 0;
    std::size_t endUnit = 0;
};

// A lone surrogate decodes to itself, which types nothing.
std::vector<DecodedCharacter> decode(std::u16string_view text) {
    std::vector<DecodedCharacter> characters;
    for (std::size_t index = 0; index < text.size();) {
        const char16_t unit = text[index];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
                          text[index + 1] <= 0xDFFF;
        if (pair) {
            const char32_t codePoint = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                       (static_cast<char32_t>(text[index + 1]) - 0xDC00);
            index += 2;
            characters.push_back({codePoint, index});
        } else {
            index += 1;
            characters.push_back({unit, index});
        }
    }
    return characters;
}

}  // namespace

Result<std::unique_ptr<XTestEventPoster>> XTestEventPoster::open(MainLoop& loop, const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    const bool hasXTest = x11_input::offersXTest((*connection)->display());
    return std::unique_ptr<XTestEventPoster>(new XTestEventPoster(loop, std::move(*connection), hasXTest));
}

XTestEventPoster::XTestEventPoster(MainLoop& loop, std::unique_ptr<X11Connection> connection, bool hasXTest)
    : loop_(loop), connection_(std::move(connection)), hasXTest_(hasXTest), keymap_(*connection_) {}

XTestEventPoster::~XTestEventPoster() {
    // Text still waiting for spare keycodes is dropped; nothing stays held and
    // no spare keycode keeps a character (the keymap restores on its way out).
    restoreTimer_.cancel();
    releaseEverything();
}

bool XTestEventPoster::usable() const { return hasXTest_ && !connection_->isBroken(); }

// X11 lets any client of the session post with XTest: there is nothing to ask.
bool XTestEventPoster::preflightPostEventAccess() { return usable(); }

bool XTestEventPoster::requestPostEventAccess() { return usable(); }

std::unique_ptr<KeyboardEventSource> XTestEventPoster::makeEventSource() {
    if (!usable()) return nullptr;
    return std::make_unique<XTestKeyboardEventSource>();
}

void XTestEventPoster::post(const KeyboardEvent& event) {
    if (!usable()) return;
    queue_.push_back(event);
    drain();
}

void XTestEventPoster::drain() {
    while (!queue_.empty() && usable()) {
        if (!postNow(queue_.front())) break;
        queue_.pop_front();
    }
    if (!usable()) {
        queue_.clear();
        return;
    }
    XFlush(connection_->display());
}

bool XTestEventPoster::postNow(KeyboardEvent& event) {
    if (event.virtualKey == virtual_key::unicodeCarrier) {
        // The text is typed with the key-down; the carrier key itself is never
        // pressed, so its key-up has nothing to release.
        if (!event.keyDown || event.unicodeString.empty()) return true;
        typeText(event.unicodeString);
        return event.unicodeString.empty();
    }
    if (event.virtualKey == virtual_key::v) return postChord(event);
    return true;
}

bool XTestEventPoster::postChord(const KeyboardEvent& event) {
    if (!event.keyDown) {
        if (const auto held = heldKeys_.find(event.virtualKey); held != heldKeys_.end()) {
            fakeKey(held->second, false);
            heldKeys_.erase(held);
        }
        // The chord ends with its key: its modifiers go with it.
        if (heldKeys_.empty()) {
            for (auto keycode = heldModifiers_.rbegin(); keycode != heldModifiers_.rend(); ++keycode) {
                fakeKey(*keycode, false);
            }
            heldModifiers_.clear();
        }
        return true;
    }
    if (heldKeys_.contains(event.virtualKey)) return true;
    keymap_.refresh();
    // The chord's modifier on this desktop is Control, whichever of the two
    // flags the core sets.
    std::optional<std::uint8_t> control;
    if ((event.flags & (key_event_flags::command | key_event_flags::control)) != 0) {
        control = modifierKeycode(XK_Control_L, XK_Control_R);
        // Without Control the key would type a "v" into the document.
        if (*control == 0) return true;
    }
    std::uint8_t key = keymap_.keycodeOf(XK_v);
    if (key == 0) {
        // A layout without a Latin "v" (Cyrillic, Greek): a spare keycode
        // mapped to it pastes, as clients match Control+v by keysym.
        const auto spare = keymap_.spareKey(XK_v);
        if (!spare) return !keymap_.hasRemapped();
        key = *spare;
        keymap_.seal();
        scheduleRestore();
    }
    if (control && std::find(heldModifiers_.begin(), heldModifiers_.end(), *control) == heldModifiers_.end()) {
        fakeKey(*control, true);
        heldModifiers_.push_back(*control);
    }
    fakeKey(key, true);
    heldKeys_.emplace(event.virtualKey, key);
    return true;
}

void XTestEventPoster::typeText(std::u16string& text) {
    keymap_.refresh();
    const std::uint8_t shift = modifierKeycode(XK_Shift_L, XK_Shift_R);
    std::vector<X11TypedKey> keys;
    std::size_t consumed = 0;
    bool usedSpare = false;
    // Maps every spare keycode the text needs before the first key, so the
    // clients see one settled mapping while they handle the keys.
    for (const auto& character : decode(text)) {
        const auto keysym = X11TypingKeymap::keysymForCodePoint(character.codePoint);
        if (!keysym) {
            // Control characters could submit or leave the field: never typed.
            consumed = character.endUnit;
            continue;
        }
        if (auto key = keymap_.layoutKey(*keysym); key && (!key->shift || shift != 0)) {
            keys.push_back(*key);
        } else if (const auto spare = keymap_.spareKey(*keysym)) {
            keys.push_back(X11TypedKey{.keycode = *spare});
            usedSpare = true;
        } else if (keymap_.hasRemapped()) {
            // The spare keycodes hold characters typed moments ago: the rest
            // waits for the restore.
            break;
        }
        // Otherwise the keyboard has no spare keycode at all and the character
        // cannot be typed; it is skipped rather than stall the text forever.
        consumed = character.endUnit;
    }
    for (const auto& key : keys) {
        if (key.shift) fakeKey(shift, true);
        fakeKey(key.keycode, true);
        fakeKey(key.keycode, false);
        if (key.shift) fakeKey(shift, false);
    }
    text.erase(0, consumed);
    if (usedSpare) keymap_.seal();
    if (usedSpare || (!text.empty() && !restoreTimer_.armed())) scheduleRestore();
}

std::uint8_t XTestEventPoster::modifierKeycode(unsigned long keysym, unsigned long fallbackKeysym) const {
    const std::uint8_t keycode = keymap_.keycodeOf(keysym);
    return keycode != 0 ? keycode : keymap_.keycodeOf(fallbackKeysym);
}

void XTestEventPoster::fakeKey(std::uint8_t keycode, bool down) {
    if (down) ++keyPressCount_;
    XTestFakeKeyEvent(connection_->display(), keycode, down ? True : False, CurrentTime);
}

void XTestEventPoster::releaseEverything() {
    if (!usable()) return;
    for (const auto& [virtualKey, keycode] : heldKeys_) fakeKey(keycode, false);
    for (auto keycode = heldModifiers_.rbegin(); keycode != heldModifiers_.rend(); ++keycode) fakeKey(*keycode, false);
    heldKeys_.clear();
    heldModifiers_.clear();
    XFlush(connection_->display());
}

void XTestEventPoster::scheduleRestore() {
    restoreTimer_ = loop_.after(kRestoreDelay, [this] { restoreSpareKeys(); });
}

void XTestEventPoster::restoreSpareKeys() {
    if (!usable()) return;
    keymap_.restore();
    drain();
}

}  // namespace murmo
