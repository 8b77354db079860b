#pragma once

// The door through which the dashboard saves a text as a file the user places
// with a save panel ("dorvexFileExport"). Only the page's own origin is heard
// (exact scheme, host and explicit port, main frame). Every message is
// answered exactly once: refused at once, or, once the user has closed the
// panel, saved, cancelled, or the write's error text. Held by the dashboard
// window in a shared_ptr; main thread only.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SavePanel.h"
#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

// An export the page asked for: a file name to suggest and the text to save.
struct NativeFileExportCommand {
    std::string name;
    std::string text;

    // Absent unless the whole body is acceptable: exactly the keys "name" and
    // "text", both strings; the name at most 128 user-perceived characters,
    // without "/", backslash or U+0000, ending in ".txt" or ".json"
    // (case-sensitive); the text at most 64 MiB of UTF-8, possibly empty.
    static std::optional<NativeFileExportCommand> fromBody(const std::optional<json::Json>& body);
    // JSON for a ".json" name, plain text otherwise.
    SaveContentType contentType() const;
};

class NativeFileExportBridge : public std::enable_shared_from_this<NativeFileExportBridge> {
public:
    static constexpr std::string_view kHandlerName = "dorvexFileExport";
    static constexpr std::string_view kRejectedText = "The file export request was rejected.";
    static constexpr std::size_t kMaximumNameCharacters = 128;
    static constexpr std::size_t kMaximumTextBytes = 67'108'864;

    // `origin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativeFileExportBridge> create(MainLoop& loop, URL origin, SavePanel& savePanel);
    NativeFileExportBridge(const NativeFileExportBridge&) = delete;
    NativeFileExportBridge& operator=(const NativeFileExportBridge&) = delete;

    // Set by the owner; called once per saved file, before the page is
    // answered.
    std::function<void()> onSuccessfulExport;

    const URL& origin() const { return rules_.origin(); }

    // Refuses at once; an accepted export opens its panel on a later loop
    // turn and is answered when the panel closes, the bridge kept alive
    // until then.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly; once it is gone, messages are refused.
    ScriptMessageHandlerWithReply handler();

private:
    class PendingExport;

    NativeFileExportBridge(MainLoop& loop, URL origin, SavePanel& savePanel);

    void showPanel(std::shared_ptr<PendingExport> pending);
    void finish(PendingExport& pending, const std::optional<std::filesystem::path>& location);

    MainLoop& loop_;
    BridgeMessageRules rules_;
    SavePanel& savePanel_;
};

}  // namespace murmo
