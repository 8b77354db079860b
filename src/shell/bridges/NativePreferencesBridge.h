#pragma once

// The door through which the dashboard's settings pages read and change the
// application's own preferences ("murmoNativePreferences"). Each accepted
// message becomes one call on the preferences controller, and the page is
// answered exactly once: with the controller's snapshot as it is after the
// call, or with an error text. Held by the dashboard window in a shared_ptr
// for its own life; main thread only.

#include <memory>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "services/NativePreferencesController.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativePreferencesCommand.h"

namespace murmo {

class NativePreferencesBridge : public std::enable_shared_from_this<NativePreferencesBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoNativePreferences";
    static constexpr std::string_view kRejectedText = "Dorvex native preference request was rejected.";
    static constexpr std::string_view kUnavailableText = "Dorvex native preference bridge is unavailable.";

    // `trustedOrigin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativePreferencesBridge> create(MainLoop& loop, URL trustedOrigin,
                                                           std::shared_ptr<NativePreferencesController> controller);
    NativePreferencesBridge(const NativePreferencesBridge&) = delete;
    NativePreferencesBridge& operator=(const NativePreferencesBridge&) = delete;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Refuses at once; an accepted command runs on a later loop turn.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly and answers as unavailable once it is gone.
    ScriptMessageHandlerWithReply handler();

private:
    NativePreferencesBridge(MainLoop& loop, URL trustedOrigin, std::shared_ptr<NativePreferencesController> controller);

    void perform(const NativePreferencesCommand& command, ScriptMessageReply& reply);
    void set(const NativePreferencesCommand& command, ScriptMessageReply& reply);
    void answerSnapshot(ScriptMessageReply& reply) const;

    MainLoop& loop_;
    BridgeMessageRules rules_;
    std::shared_ptr<NativePreferencesController> controller_;
};

}  // namespace murmo
