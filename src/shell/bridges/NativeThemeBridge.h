#pragma once

// When the user picks a theme in the dashboard, the page reports the chosen
// appearance preference and the appearance it resolved to under
// "murmoTheme". The bridge checks that the pair is consistent and hands it to
// its owner on the main loop, which stores the preference so the native
// chrome follows the page. It never answers the page.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

struct NativeThemeCommand {
    // As received: "system", "light", "dark" or "black".
    std::string preference;
    // As received: "light", "dark" or "black".
    std::string resolved;

    // Following the system resolves to light or dark; any other preference
    // resolves to itself. Raw values are case-sensitive.
    static bool isConsistent(std::string_view preference, std::string_view resolved);

    // Absent unless the body is an object with exactly "preference" and
    // "resolved", both strings, forming a consistent pair.
    static std::optional<NativeThemeCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativeThemeCommand&) const = default;
};

class NativeThemeBridge final : public std::enable_shared_from_this<NativeThemeBridge> {
    struct Passkey {};

public:
    static constexpr std::string_view kHandlerName = "murmoTheme";

    // `coreURL` is the engine URL the dashboard is loaded from. The loop
    // outlives the bridge.
    static std::shared_ptr<NativeThemeBridge> create(MainLoop& loop, URL coreURL);
    NativeThemeBridge(Passkey, MainLoop& loop, URL coreURL);

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Set by the dashboard window (it stores the preference and ignores a
    // refusal to store it); runs on the main loop. Unset: an accepted message
    // does nothing.
    std::function<void(const NativeThemeCommand&)> onThemeChanged;

    // What the window registers with addScriptMessageHandler(); it holds the
    // bridge weakly.
    ScriptMessageHandler scriptMessageHandler();

    // A refused message is dropped without answer, log or effect.
    void receive(const ScriptMessage& message);

private:
    MainLoop& loop_;
    BridgeMessageRules rules_;
};

}  // namespace murmo
