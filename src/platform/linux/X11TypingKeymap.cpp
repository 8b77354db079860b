#include "platform/linux/X11TypingKeymap.h"

#include <algorithm>
#include <set>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace murmo {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr unsigned long kUnicodeKeysymOffset = 0x01000000;

std::vector<KeySym> keysymsOf(Display* display, int keycode, int* perKeycode) {
    KeySym* row = XGetKeyboardMapping(display, static_cast<KeyCode>(keycode), 1, perKeycode);
    if (!row) return {};
    std::vector<KeySym> keysyms(row, row + *perKeycode);
    XFree(row);
    return keysyms;
}

}  // namespace

std::optional<unsigned long> X11TypingKeymap::keysymForCodePoint(char32_t codePoint) {
    const bool control = codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (control || surrogate || codePoint > kLastCodePoint) return std::nullopt;
    if (codePoint <= 0xFF) return codePoint;
    return kUnicodeKeysymOffset + codePoint;
}

X11TypingKeymap::X11TypingKeymap(X11Connection& connection) : connection_(connection) { refresh(); }

X11TypingKeymap::~X11TypingKeymap() { restore(); }

void X11TypingKeymap::refresh() {
    Display* display = connection_.display();
    if (connection_.isBroken()) return;
    // Handles the mapping changes announced so far, so Xlib's own tables
    // (XKeysymToKeycode and friends) follow the layout too.
    XSync(display, False);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }

    XDisplayKeycodes(display, &minKeycode_, &maxKeycode_);
    const int count = maxKeycode_ - minKeycode_ + 1;
    int perKeycode = 0;
    KeySym* table = XGetKeyboardMapping(display, static_cast<KeyCode>(minKeycode_), count, &perKeycode);
    keysyms_.clear();
    keysymsPerKeycode_ = 0;
    if (table) {
        keysyms_.assign(table, table + static_cast<std::size_t>(count) * static_cast<std::size_t>(perKeycode));
        keysymsPerKeycode_ = perKeycode;
        XFree(table);
    }

    // A keycode that some modifier uses is never spare, mapped or not.
    std::set<int> modifierKeycodes;
    if (XModifierKeymap* modifiers = XGetModifierMapping(display)) {
        for (int index = 0; index < 8 * modifiers->max_keypermod; ++index) {
            modifierKeycodes.insert(modifiers->modifiermap[index]);
        }
        XFreeModifiermap(modifiers);
    }

    std::vector<Spare> spares;
    for (int keycode = minKeycode_; keycode <= maxKeycode_ && keysymsPerKeycode_ > 0; ++keycode) {
        if (keycode > 255 || modifierKeycodes.contains(keycode)) continue;
        const auto row = keysyms_.begin() + (keycode - minKeycode_) * keysymsPerKeycode_;
        const bool empty = std::all_of(row, row + keysymsPerKeycode_, [](KeySym keysym) { return keysym == NoSymbol; });
        const auto remapped = std::find_if(spares_.begin(), spares_.end(), [&](const Spare& spare) {
            return spare.keycode == keycode && spare.keysym != 0;
        });
        if (remapped != spares_.end()) {
            // Still ours only while it holds the keysym we gave it.
            if (*row == remapped->keysym) spares.push_back(*remapped);
        } else if (empty) {
            spares.push_back(Spare{.keycode = static_cast<std::uint8_t>(keycode)});
        }
    }
    spares_ = std::move(spares);

    XkbStateRec state{};
    firstGroupUnlocked_ = XkbGetState(display, XkbUseCoreKbd, &state) != Success ||
                          (state.group == 0 && (state.locked_mods & LockMask) == 0);
}

std::uint8_t X11TypingKeymap::keycodeOf(unsigned long keysym) const {
    if (connection_.isBroken()) return 0;
    return static_cast<std::uint8_t>(XKeysymToKeycode(connection_.display(), keysym));
}

std::optional<X11TypedKey> X11TypingKeymap::layoutKey(unsigned long keysym) const {
    if (!firstGroupUnlocked_ || keysymsPerKeycode_ == 0) return std::nullopt;
    const auto isSpare = [&](int keycode) {
        return std::any_of(spares_.begin(), spares_.end(),
                           [&](const Spare& spare) { return spare.keycode == keycode; });
    };
    // Unshifted first: a key that has the character on both levels needs no Shift.
    for (int column = 0; column < std::min(2, keysymsPerKeycode_); ++column) {
        for (int keycode = minKeycode_; keycode <= std::min(maxKeycode_, 255); ++keycode) {
            const auto index = static_cast<std::size_t>((keycode - minKeycode_) * keysymsPerKeycode_ + column);
            if (keysyms_[index] == keysym && !isSpare(keycode)) {
                return X11TypedKey{.keycode = static_cast<std::uint8_t>(keycode), .shift = column == 1};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::uint8_t> X11TypingKeymap::spareKey(unsigned long keysym) {
    for (const auto& spare : spares_) {
        if (spare.keysym == keysym) return spare.keycode;
    }
    if (sealed_) return std::nullopt;
    for (auto& spare : spares_) {
        if (spare.keysym != 0) continue;
        spare.keysym = keysym;
        remap(spare.keycode, keysym);
        return spare.keycode;
    }
    return std::nullopt;
}

bool X11TypingKeymap::hasRemapped() const {
    return std::any_of(spares_.begin(), spares_.end(), [](const Spare& spare) { return spare.keysym != 0; });
}

void X11TypingKeymap::restore() {
    sealed_ = false;
    if (connection_.isBroken()) {
        spares_.clear();
        return;
    }
    Display* display = connection_.display();
    std::vector<Spare> kept;
    for (auto& spare : spares_) {
        if (spare.keysym != 0) {
            int perKeycode = 0;
            const auto current = keysymsOf(display, spare.keycode, &perKeycode);
            // Another client (a layout switch) that took the keycode meanwhile
            // keeps it: it is no longer spare.
            if (current.empty() || current.front() != spare.keysym) continue;
            remap(spare.keycode, NoSymbol);
            spare.keysym = 0;
        }
        kept.push_back(spare);
    }
    spares_ = std::move(kept);
    // Done when this returns, so a keymap read or changed next, by this
    // client or another, sees it restored.
    XSync(display, False);
}

void X11TypingKeymap::remap(std::uint8_t keycode, unsigned long keysym) {
    if (keysymsPerKeycode_ == 0) return;
    // Every level and group gets the keysym, so a held Shift or another
    // group types the same character.
    std::vector<KeySym> row(static_cast<std::size_t>(keysymsPerKeycode_), keysym);
    XChangeKeyboardMapping(connection_.display(), keycode, keysymsPerKeycode_, row.data(), 1);
}

}  // namespace murmo
