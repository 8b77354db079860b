#pragma once

// The keyboard mapping as a typist sees it: which keycode (and whether Shift)
// types a character on the current layout, and the spare keycodes, mapped to
// no keysym at all, that can be remapped for a while to type characters the
// layout lacks.
//
// A client looks a key's keysym up when it handles the event, with the
// mapping of that moment, so a spare keycode keeps its character until every
// client has handled the keys typed with it: remapping one right after its
// key garbles the text. The owner maps what it needs, types, and restores
// later (restore()).

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/X11Connection.h"

namespace murmo {

// One key to press for a character: its keycode, with Shift held or not.
struct X11TypedKey {
    std::uint8_t keycode = 0;
    bool shift = false;
    bool operator==(const X11TypedKey&) const = default;
};

class X11TypingKeymap {
public:
    // The keysym of a Unicode scalar value: Latin-1 characters have their own
    // keysyms, everything else is 0x01000000 + code point. Absent for control
    // characters, surrogates and values beyond Unicode: nothing types those.
    static std::optional<unsigned long> keysymForCodePoint(char32_t codePoint);

    explicit X11TypingKeymap(X11Connection& connection);
    ~X11TypingKeymap();
    X11TypingKeymap(const X11TypingKeymap&) = delete;
    X11TypingKeymap& operator=(const X11TypingKeymap&) = delete;

    // Reads the server's mapping again (another client may have changed the
    // layout), keeping what this keymap has remapped. Cheap: one round trip.
    void refresh();

    // The keycode of a keysym on the layout as it stands (the first one the
    // server lists), or 0.
    std::uint8_t keycodeOf(unsigned long keysym) const;

    // The key that types this keysym without remapping anything: on the first
    // group, unshifted or with Shift; absent when the layout lacks it or the
    // keyboard state would change what the key types (another group, Caps
    // Lock on).
    std::optional<X11TypedKey> layoutKey(unsigned long keysym) const;

    // A spare keycode mapped to this keysym: the one already mapped to it, or
    // a free one remapped now. Absent when every spare keycode is in use, or
    // once sealed.
    std::optional<std::uint8_t> spareKey(unsigned long keysym);
    // Keys were typed with the spare keycodes: until restore(), no other
    // character is mapped. A client that is still reading the keys typed
    // before a mapping change can look them up in a keymap that changed in
    // between (Xlib does, from time to time); one change before the keys and
    // one after keeps every client's lookups right.
    void seal() { sealed_ = hasRemapped(); }
    // Whether a spare keycode is mapped to a keysym.
    bool hasRemapped() const;
    // Gives every remapped spare keycode its empty mapping back, unless another
    // client has remapped it since.
    void restore();

private:
    struct Spare {
        std::uint8_t keycode = 0;
        unsigned long keysym = 0;  // 0: free
    };

    void remap(std::uint8_t keycode, unsigned long keysym);

    X11Connection& connection_;
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
    int keysymsPerKeycode_ = 0;
    std::vector<unsigned long> keysyms_;
    std::vector<Spare> spares_;
    bool firstGroupUnlocked_ = true;
    bool sealed_ = false;
};

}  // namespace murmo
