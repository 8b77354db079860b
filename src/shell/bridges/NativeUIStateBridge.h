#pragma once

// The dashboard page reports its sidebar state, the sidebar's width and the
// cards the user dismissed under "murmoUIState". The bridge reads each
// message as exactly one of the three commands and hands it to its owner on
// the main loop; the native chrome follows the state and the width, and the
// state and dismissed cards are stored (NativeUIStateStore). It never answers
// the page.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativeUIStateTypes.h"

namespace murmo {

class NativeUIStateBridge final : public std::enable_shared_from_this<NativeUIStateBridge> {
    struct Passkey {};

public:
    static constexpr std::string_view kHandlerName = "murmoUIState";

    using Command = std::variant<NativeUIStateCommand, NativeSidebarWidthCommand, NativeSidebarCardDismissCommand>;
    // The first of the sidebar, width and card commands that reads the whole
    // body; absent when none does (two keys never match any).
    static std::optional<Command> commandFromBody(const std::optional<json::Json>& body);

    // `coreURL` is the engine URL the dashboard is loaded from. The loop
    // outlives the bridge.
    static std::shared_ptr<NativeUIStateBridge> create(MainLoop& loop, URL coreURL);
    NativeUIStateBridge(Passkey, MainLoop& loop, URL coreURL);

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Set by the dashboard window; each runs on the main loop, and an unset
    // one makes its message do nothing. The window stores the sidebar state
    // and updates its toolbar, sets the chrome's sidebar width, and records a
    // dismissed card in the store.
    std::function<void(const NativeUIStateCommand&)> onCommand;
    std::function<void(double width)> onSidebarWidthChanged;
    std::function<void(const std::string& cardID)> onCardDismissed;

    // What the window registers with addScriptMessageHandler(); it holds the
    // bridge weakly.
    ScriptMessageHandler scriptMessageHandler();

    // A refused message is dropped without answer, log or effect.
    void receive(const ScriptMessage& message);

private:
    void perform(const Command& command) const;

    MainLoop& loop_;
    BridgeMessageRules rules_;
};

}  // namespace murmo
