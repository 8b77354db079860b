#pragma once

// The door through which the dashboard page records from the microphone for
// one of its operations ("murmoAudio"). Each accepted message becomes one
// NativeAudioCommand handed to `onCommand` on a later loop turn, and the page
// is answered exactly once: with the dictionary the command's reply carries
// (its failures included, never as an error), or with an error text when
// the message is refused or nobody can take the command. Replies may come
// back in another order than the commands were posted. Held by the dashboard
// window in a shared_ptr for its own life; main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "coordinator/NativeAudioCommand.h"
#include "coordinator/WebAudioReply.h"
#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

class NativeAudioBridge : public std::enable_shared_from_this<NativeAudioBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoAudio";
    static constexpr std::string_view kRejectedText = "Dorvex native audio request was rejected.";
    static constexpr std::string_view kUnavailableText = "Dorvex native audio bridge is unavailable.";

    // Shaped as the coordinator's handleWebAudio: the reply is answered once,
    // possibly much later (a begin waits for the permission prompt and the
    // engine); one dropped unanswered still answers the page.
    using OnCommand = std::function<void(NativeAudioCommand, WebAudioReply)>;

    // `trustedOrigin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativeAudioBridge> create(MainLoop& loop, URL trustedOrigin);
    NativeAudioBridge(const NativeAudioBridge&) = delete;
    NativeAudioBridge& operator=(const NativeAudioBridge&) = delete;

    // Set by the owner; unset, every accepted command answers as unavailable.
    OnCommand onCommand;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Exactly {"action", "operation_id"}: "begin", "end" or "cancel", and a
    // UUID in its 36-character text (hexadecimal digits in any case), handed
    // on in lower case.
    static std::optional<NativeAudioCommand> commandFromBody(const std::optional<json::Json>& body);

    // Refuses at once; an accepted command reaches onCommand on a later loop
    // turn.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly and answers as unavailable once it is gone.
    ScriptMessageHandlerWithReply handler();

private:
    NativeAudioBridge(MainLoop& loop, URL trustedOrigin);

    void perform(NativeAudioCommand command, ScriptMessageReply reply) const;

    MainLoop& loop_;
    BridgeMessageRules rules_;
};

}  // namespace murmo
