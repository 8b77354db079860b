#pragma once

// Posting keys on X11 with the XTest extension, the way a keyboard would: the
// focused client and every grab see them like the user's keys, from the XTest
// device (which is how this application's own counters tell them apart: X11
// events carry no user-data field).
//
// Two kinds of events come from the core. The paste chord (virtual_key::v
// with the command or control flag) is pressed as Control and the key that
// types "v" on the current layout, found by keysym, so it pastes on any
// layout. Text (a unicodeCarrier key-down with a Unicode string) is typed key
// by key: a character on the layout's first group with its own key (with Shift
// if need be), any other through a spare keycode remapped to its keysym. Spare
// keycodes go back to their empty mapping kRestoreDelay after the last key
// typed with them, on the main loop; text that needs more spare keycodes than
// are free waits for that restore and is typed then, in order with everything
// posted after it.
//
// Every key and modifier this poster presses is released again: after the
// key-up that ends a chord, and when the poster goes away. Main thread only.

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/EventPoster.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11TypingKeymap.h"
#include "runtime/Error.h"
#include "runtime/MainLoop.h"

namespace murmo {

class XTestEventPoster final : public EventPoster {
public:
    // How long a remapped spare keycode keeps its character after its last
    // key: clients look keysyms up when they handle the key.
    static constexpr std::chrono::milliseconds kRestoreDelay{50};

    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached;
    // a server without XTest gives a poster that refuses access.
    static Result<std::unique_ptr<XTestEventPoster>> open(MainLoop& loop, const std::string& displayName = {});
    ~XTestEventPoster() override;
    XTestEventPoster(const XTestEventPoster&) = delete;
    XTestEventPoster& operator=(const XTestEventPoster&) = delete;

    bool preflightPostEventAccess() override;
    std::unique_ptr<KeyboardEventSource> makeEventSource() override;
    void post(const KeyboardEvent& event) override;
    bool requestPostEventAccess() override;

    // Events posted but not typed yet: text waiting for spare keycodes.
    std::size_t pendingCount() const { return queue_.size(); }
    // Key presses sent so far, modifiers included: what a client that has
    // handled everything typed has received.
    std::uint64_t keyPressCount() const { return keyPressCount_; }

private:
    XTestEventPoster(MainLoop& loop, std::unique_ptr<X11Connection> connection, bool hasXTest);

    bool usable() const;
    void drain();
    // False when the event must wait for the spare keycodes' restore.
    bool postNow(KeyboardEvent& event);
    // False when the chord's key needs a spare keycode after the restore.
    bool postChord(const KeyboardEvent& event);
    // Types what it can of `text` now and leaves the rest in it.
    void typeText(std::u16string& text);
    // The keycode of a modifier keysym, or of its right-hand twin; 0 for none.
    std::uint8_t modifierKeycode(unsigned long keysym, unsigned long fallbackKeysym) const;
    void fakeKey(std::uint8_t keycode, bool down);
    void releaseEverything();
    void scheduleRestore();
    void restoreSpareKeys();

    MainLoop& loop_;
    std::unique_ptr<X11Connection> connection_;
    bool hasXTest_;
    X11TypingKeymap keymap_;
    std::deque<KeyboardEvent> queue_;
    // What this poster holds down: keys by the virtual key they stand for,
    // modifiers in pressing order.
    std::map<std::uint16_t, std::uint8_t> heldKeys_;
    std::vector<std::uint8_t> heldModifiers_;
    std::uint64_t keyPressCount_ = 0;
    Timer restoreTimer_;
};

}  // namespace murmo
