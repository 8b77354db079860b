#pragma once

// The JavaScript the dashboard window gives its page: the user scripts
// injected at document start, and the calls it evaluates to tell the page
// things. Values reach the page as JSON, so an identifier or a text arrives
// unchanged whatever it holds (quotes, backslashes, line breaks, U+2028,
// U+0000); a value JSON cannot carry (invalid UTF-8) skips the call, which is
// then absent. Every page function is optional: a call to one the page lacks
// does nothing and yields no value.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/bridges/NativeSettingsBridge.h"
#include "shell/bridges/NativeUIStateStore.h"
#include "shell/bridges/NativeUIStateTypes.h"

namespace murmo::DashboardPageScripts {

// ---- User scripts (document start, main frame) -----------------------------------

// Publishes window.__MURMO_NATIVE_UI_STATE__ (frozen: the sidebar state and
// the dismissed cards) and the root's data-native-sidebar-preference. The
// cards' JSON falls back to "[]" when it cannot be written.
std::string uiState(NativeSidebarPreference sidebar, std::span<const std::string> dismissedCards);
std::string uiState(const NativeUIStateStore& store);

// Marks the body "native-hosted" and adds one style element that hides the
// page's own window buttons and dictation HUD, at once and again at
// DOMContentLoaded; running it again adds nothing.
std::string_view nativeHost();

// ---- Dictation into the page's own editor ----------------------------------------

// window.dorvexReserveDictation?.(id)
std::optional<std::string> reserveDictation(std::string_view dictationID);
// window.dorvexDeliverDictation?.(id, text); its result counts as delivered
// only when it is true (isJsonTrue).
std::optional<std::string> deliverDictation(std::string_view dictationID, std::string_view text);
// window.dorvexCancelDictation?.(id)
std::optional<std::string> cancelDictation(std::string_view dictationID);

// ---- Events and state --------------------------------------------------------------

// A "dorvex:native-audio-error" CustomEvent whose detail is
// {"operation_id", "code", "message"}.
std::optional<std::string> nativeAudioFailure(std::string_view operationID, std::string_view code,
                                              std::string_view message);

// Sets window.__DORVEX_WINDOW_ACTIVE__ and dispatches "dorvex:window-activity".
std::string windowActivity(bool active);

// Calls window.murmoSetDesktopSidebar(state, {persist: true, source: 'native'})
// when the page has it, else dispatches a "murmo:native-sidebar" CustomEvent
// with {state}.
std::string sidebar(NativeSidebarPreference preference);

// "/personalize", or "/settings/<section>" for the other sections.
std::string settingsPath(NativeSettingsSection section);
// Moves the page's hash to the section's path and dispatches "hashchange".
std::string selectSettings(NativeSettingsSection section);

// Dispatches "murmo:native-permissions-changed".
std::string_view permissionsChanged();

// The body of the async function asked before quitting: the page's
// window.dorvexPrepareToClose() when it has one (awaited), else whether no
// editor (an element of class "writing-workspace") is open.
std::string_view prepareToCloseFunctionBody();

}  // namespace murmo::DashboardPageScripts
