#pragma once

// The door through which the dashboard shows the application's own software
// update state, asks for an immediate check and turns the two automatic-update
// switches ("murmoNativeUpdate"). Each accepted message becomes one call on
// the update coordinator, and the page is answered exactly once with the
// coordinator's status payload (an updater that is not configured or did not
// start is no error: the payload says so), or with an error text. Held by the
// dashboard window in a shared_ptr for its own life; main thread only.

#include <memory>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "services/UpdateCoordinator.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativeUpdateCommand.h"

namespace murmo {

class NativeUpdateBridge : public std::enable_shared_from_this<NativeUpdateBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoNativeUpdate";
    static constexpr std::string_view kRejectedText = "Dorvex native update request was rejected.";
    static constexpr std::string_view kUnavailableText = "Dorvex native update bridge is unavailable.";

    // `trustedOrigin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativeUpdateBridge> create(MainLoop& loop, URL trustedOrigin,
                                                      std::shared_ptr<UpdateCoordinator> coordinator);
    NativeUpdateBridge(const NativeUpdateBridge&) = delete;
    NativeUpdateBridge& operator=(const NativeUpdateBridge&) = delete;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Refuses at once; an accepted command runs on a later loop turn.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly and answers as unavailable once it is gone.
    ScriptMessageHandlerWithReply handler();

private:
    NativeUpdateBridge(MainLoop& loop, URL trustedOrigin, std::shared_ptr<UpdateCoordinator> coordinator);

    json::Json perform(const NativeUpdateCommand& command);

    MainLoop& loop_;
    BridgeMessageRules rules_;
    std::shared_ptr<UpdateCoordinator> coordinator_;
};

}  // namespace murmo
