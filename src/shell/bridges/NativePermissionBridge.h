#pragma once

// The door through which the dashboard shows the three privacy permissions
// dictation needs and asks for one or opens its settings ("murmoPermissions").
// Each accepted message becomes one call on the permission centre, and the
// page is answered exactly once with the permissions as they are then (a
// denial is no error), or with an error text. Held by the dashboard window in
// a shared_ptr for its own life; main thread only.

#include <functional>
#include <memory>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "services/PermissionCenter.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativePermissionCommand.h"

namespace murmo {

class NativePermissionBridge : public std::enable_shared_from_this<NativePermissionBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoPermissions";
    static constexpr std::string_view kRejectedText = "Dorvex native permission request was rejected.";
    static constexpr std::string_view kUnavailableText = "Dorvex native permission bridge is unavailable.";

    // `trustedOrigin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativePermissionBridge> create(MainLoop& loop, URL trustedOrigin,
                                                          std::shared_ptr<PermissionCenter> center);
    NativePermissionBridge(const NativePermissionBridge&) = delete;
    NativePermissionBridge& operator=(const NativePermissionBridge&) = delete;

    // Set by the window; called after a settings pane was asked for and
    // after a request has finished, before the page is answered.
    std::function<void()> onPermissionsChanged;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Refuses at once; an accepted command runs on a later loop turn, and a
    // request answers only once the permission centre has finished it.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly and answers as unavailable once it is gone.
    ScriptMessageHandlerWithReply handler();

private:
    NativePermissionBridge(MainLoop& loop, URL trustedOrigin, std::shared_ptr<PermissionCenter> center);

    void perform(const NativePermissionCommand& command, ScriptMessageReply& reply);
    void request(NativePermissionKind permission, ScriptMessageReply reply);
    void openSettings(NativePermissionKind permission, ScriptMessageReply& reply);
    void notifyPermissionsChanged() const;

    MainLoop& loop_;
    BridgeMessageRules rules_;
    std::shared_ptr<PermissionCenter> center_;
};

}  // namespace murmo
