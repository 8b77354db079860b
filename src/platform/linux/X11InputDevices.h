#pragma once

// What an X server offers of the input extensions the keyboard backends use,
// and which of its devices carry XTest's events: X11 events have no user-data
// field, so every event from an XTest device counts as the application's own.

#include <optional>
#include <set>

#include "platform/linux/X11Connection.h"

namespace murmo::x11_input {

// XInput's major opcode when the server offers XInput 2.`minimumMinorVersion`
// or later (raw events need 2.1, raw events on grabbed keys 2.2).
std::optional<int> xinput2Opcode(Display* display, int minimumMinorVersion);
bool offersXTest(Display* display);
// The slave keyboards and pointers XTest's events come from: the server names
// them "... XTEST keyboard/pointer" and marks them with "XTEST Device".
std::set<int> xtestDevices(Display* display);

}  // namespace murmo::x11_input
