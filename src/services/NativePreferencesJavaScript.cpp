#include "services/NativePreferencesJavaScript.h"

#include <string_view>

namespace murmo::NativePreferencesJavaScript {

namespace {

constexpr std::string_view kPrologue = "(() => {\n  const snapshot = ";

// Shared by both scripts: freezes the snapshot (its nested objects too) and
// defines how the root element shows it.
constexpr std::string_view kCommon = R"(;
  const freeze = (value) => {
    for (const member of Object.values(value)) {
      if (member && typeof member === 'object') freeze(member);
    }
    return Object.freeze(value);
  };
  const frozen = freeze(snapshot);
  const writeAttributes = (root) => {
    const appearance = frozen.appearance || {};
    const languagePreference = frozen.ui_language_preference ?? frozen.ui_language;
    const language = frozen.resolved_ui_language ?? frozen.ui_language;
    const direction = frozen.ui_direction ?? 'ltr';
    root.dataset.appearancePreference = appearance.preference;
    root.dataset.appearance = appearance.resolved;
    root.dataset.colorScheme = appearance.color_scheme;
    root.dataset.appLanguagePreference = languagePreference;
    root.dataset.uiLanguagePreference = languagePreference;
    root.dataset.appLanguage = language;
    root.dataset.uiLanguage = language;
    root.dataset.uiDirection = direction;
    root.dataset.themePreference = appearance.preference;
    root.dataset.theme = appearance.resolved;
    delete root.dataset.skin;
    root.dataset.bigMode = frozen.big_mode_enabled ? 'true' : 'false';
    root.setAttribute('lang', language);
    root.setAttribute('dir', direction);
    root.style.colorScheme = appearance.color_scheme;
  };
  window.__MURMO_NATIVE_PREFERENCES__ = frozen;
)";

constexpr std::string_view kDocumentStartBody = R"(  window.__MURMO_NATIVE_AVAILABLE__ = true;
  const apply = () => {
    const root = document.documentElement;
    if (!root) return false;
    writeAttributes(root);
    return true;
  };
  if (!apply()) {
    const observer = new MutationObserver(() => {
      if (apply()) observer.disconnect();
    });
    observer.observe(document, { childList: true });
  }
  document.addEventListener('DOMContentLoaded', () => { apply(); }, { once: true });
})();
)";

constexpr std::string_view kBroadcastBody = R"(  const root = document.documentElement;
  if (root) writeAttributes(root);
  window.dispatchEvent(new CustomEvent('murmo:native-preferences-changed', { detail: frozen }));
})();
)";

std::string script(const NativePreferencesSnapshot& snapshot, std::string_view body) {
    // Keys sorted (the JSON object keeps them so), compact, UTF-8.
    auto payload = json::dump(snapshot.bridgePayload());
    if (!payload) return {};
    std::string text;
    text.reserve(kPrologue.size() + payload->size() + kCommon.size() + body.size());
    text.append(kPrologue).append(*payload).append(kCommon).append(body);
    return text;
}

}  // namespace

std::string documentStart(const NativePreferencesSnapshot& snapshot) { return script(snapshot, kDocumentStartBody); }

std::string broadcast(const NativePreferencesSnapshot& snapshot) { return script(snapshot, kBroadcastBody); }

}  // namespace murmo::NativePreferencesJavaScript
