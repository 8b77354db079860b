#pragma once

// The door through which the dashboard puts a text on the user's clipboard
// ("dorvexWritingCopy"). Only the page's own origin is heard (exact scheme,
// host and explicit port, main frame). Every message is answered exactly
// once: copied, not copied (the pasteboard refused it, the clipboard then
// keeping what it held), or refused. Held by the dashboard window in a
// shared_ptr; main thread only.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Pasteboard.h"
#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

class NativeWritingCopyBridge : public std::enable_shared_from_this<NativeWritingCopyBridge> {
public:
    static constexpr std::string_view kHandlerName = "dorvexWritingCopy";
    static constexpr std::string_view kRejectedText = "The copy request was rejected.";
    static constexpr std::string_view kNotCopiedText = "The text could not be copied.";
    static constexpr std::size_t kMaximumTextBytes = 67'108'864;

    // `origin` is the engine URL the dashboard is loaded from; `pasteboard`
    // is the general pasteboard, which `writeText` writes to.
    static std::shared_ptr<NativeWritingCopyBridge> create(MainLoop& loop, URL origin, Pasteboard& pasteboard);
    NativeWritingCopyBridge(const NativeWritingCopyBridge&) = delete;
    NativeWritingCopyBridge& operator=(const NativeWritingCopyBridge&) = delete;

    // Puts the text on the clipboard and says whether the pasteboard took it.
    // Set at construction to write(text, pasteboard).
    std::function<bool(std::string_view)> writeText;
    // Set by the owner; called once per copied text, before the page is
    // answered.
    std::function<void()> onSuccessfulCopy;

    const URL& origin() const { return rules_.origin(); }

    // The whole check of a copy message: the main frame; a request URL whose
    // scheme, host and explicit port are exactly the origin's; a body with
    // exactly the key "text" holding a string that is not blank once Unicode
    // white space is trimmed from both ends and is at most 64 MiB of UTF-8.
    // The text as sent (untrimmed, U+0000 kept), or absent when refused.
    static std::optional<std::string> text(const std::optional<json::Json>& body, const std::optional<URL>& url,
                                           const URL& origin, bool mainFrame);
    // Replaces the pasteboard's contents with the text as one plain-text item
    // in a single step, so a write the pasteboard refuses leaves the user's
    // clipboard as it was.
    static bool write(std::string_view text, Pasteboard& pasteboard);

    // Refuses at once; an accepted text is written on a later loop turn.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly; once it is gone, messages are refused.
    ScriptMessageHandlerWithReply handler();

private:
    NativeWritingCopyBridge(MainLoop& loop, URL origin, Pasteboard& pasteboard);

    void copy(const std::string& text, ScriptMessageReply& reply);

    MainLoop& loop_;
    BridgeMessageRules rules_;
};

}  // namespace murmo
