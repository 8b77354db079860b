#pragma once

// The page scripts that give the dashboard the native preferences: one
// installed at document start, one run after every change. Each is an
// immediately invoked function holding the snapshot's JSON; the empty string
// when the snapshot cannot be serialised (the page then keeps what it has).

#include <string>

#include "services/NativePreferencesSnapshot.h"

namespace murmo::NativePreferencesJavaScript {

// Publishes the snapshot as window.__MURMO_NATIVE_PREFERENCES__ (frozen) with
// window.__MURMO_NATIVE_AVAILABLE__, and writes the root element's
// attributes as soon as there is a root, and again at DOMContentLoaded.
std::string documentStart(const NativePreferencesSnapshot& snapshot);

// Publishes the new snapshot, writes the root's attributes when there is a
// root, and dispatches "murmo:native-preferences-changed" with it.
std::string broadcast(const NativePreferencesSnapshot& snapshot);

}  // namespace murmo::NativePreferencesJavaScript
