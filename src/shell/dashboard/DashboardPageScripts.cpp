#include "shell/dashboard/DashboardPageScripts.h"

#include <vector>

#include "runtime/JsonRead.h"

namespace murmo::DashboardPageScripts {

namespace {

// JSON is a JavaScript expression, so the page reads back exactly the value
// given; none when the value cannot be written (invalid UTF-8).
std::optional<std::string> javaScriptValue(const json::Json& value) {
    auto text = json::dump(value);
    if (!text) return std::nullopt;
    return std::move(*text);
}

std::optional<std::string> optionalCall(std::string_view function, std::string_view prefix, const json::Json& value) {
    auto argument = javaScriptValue(value);
    if (!argument) return std::nullopt;
    return "window." + std::string(function) + "?.(" + std::string(prefix) + *argument + ")";
}

}  // namespace

std::string uiState(NativeSidebarPreference sidebar, std::span<const std::string> dismissedCards) {
    const std::string state(rawValue(sidebar));
    const auto cards =
        javaScriptValue(json::Json(std::vector<std::string>(dismissedCards.begin(), dismissedCards.end())))
            .value_or("[]");
    return "window.__MURMO_NATIVE_UI_STATE__ = Object.freeze({sidebar: '" + state + "', dismissedCards: " + cards +
           "});\ndocument.documentElement.dataset.nativeSidebarPreference = '" + state + "';";
}

std::string uiState(const NativeUIStateStore& store) { return uiState(store.sidebar(), store.dismissedCards()); }

std::string_view nativeHost() {
    return R"JS((() => {
  const applyNativeHost = () => {
    if (document.body) document.body.classList.add('native-hosted');
    if (document.getElementById('murmo-native-host-style')) return;
    const parent = document.head || document.documentElement;
    if (!parent) return;
    const style = document.createElement('style');
    style.id = 'murmo-native-host-style';
    style.textContent = '.traffic-lights{visibility:hidden!important}.dictation-hud{display:none!important}';
    parent.appendChild(style);
  };
  applyNativeHost();
  document.addEventListener('DOMContentLoaded', applyNativeHost, { once: true });
})();)JS";
}

std::optional<std::string> reserveDictation(std::string_view dictationID) {
    return optionalCall("dorvexReserveDictation", "", json::Json(std::string(dictationID)));
}

std::optional<std::string> deliverDictation(std::string_view dictationID, std::string_view text) {
    // One array spread into the two arguments.
    return optionalCall("dorvexDeliverDictation", "...",
                        json::Json::array({std::string(dictationID), std::string(text)}));
}

std::optional<std::string> cancelDictation(std::string_view dictationID) {
    return optionalCall("dorvexCancelDictation", "", json::Json(std::string(dictationID)));
}

std::optional<std::string> nativeAudioFailure(std::string_view operationID, std::string_view code,
                                              std::string_view message) {
    const auto detail = javaScriptValue(json::Json{
        {"operation_id", std::string(operationID)}, {"code", std::string(code)}, {"message", std::string(message)}});
    if (!detail) return std::nullopt;
    return "window.dispatchEvent(new CustomEvent('dorvex:native-audio-error',{detail:" + *detail + "}))";
}

std::string windowActivity(bool active) {
    return std::string("window.__DORVEX_WINDOW_ACTIVE__ = ") + (active ? "true" : "false") +
           "; window.dispatchEvent(new Event('dorvex:window-activity'));";
}

std::string sidebar(NativeSidebarPreference preference) {
    const std::string state(rawValue(preference));
    return "if (typeof window.murmoSetDesktopSidebar === 'function') {\n"
           "  window.murmoSetDesktopSidebar('" +
           state +
           "', {persist: true, source: 'native'});\n"
           "} else {\n"
           "  window.dispatchEvent(new CustomEvent('murmo:native-sidebar', {\n"
           "    detail: {state: '" +
           state +
           "'}\n"
           "  }));\n"
           "}";
}

std::string settingsPath(NativeSettingsSection section) {
    if (section == NativeSettingsSection::personalize) return "/personalize";
    return "/settings/" + std::string(rawValue(section));
}

std::string selectSettings(NativeSettingsSection section) {
    return "window.location.hash='" + settingsPath(section) + "'; window.dispatchEvent(new Event('hashchange'));";
}

std::string_view permissionsChanged() { return "window.dispatchEvent(new Event('murmo:native-permissions-changed'))"; }

std::string_view prepareToCloseFunctionBody() {
    return "if (typeof window.dorvexPrepareToClose === 'function') {\n"
           "    return await window.dorvexPrepareToClose();\n"
           "}\n"
           "return !document.querySelector('.writing-workspace');";
}

}  // namespace murmo::DashboardPageScripts
