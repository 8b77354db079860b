#pragma once

// The door through which the dashboard gets the icons of applications it
// knows by bundle identifier ("murmoApplicationIcons"). Each accepted request
// is answered once with {"icons": {bundle id: "data:image/png;base64,..."}}
// for the identifiers that have an icon (an empty map is an answer), each
// icon a square PNG of the requested size; rendered icons are cached by size
// and identifier. Held by the dashboard window in a shared_ptr for its own
// life; main thread only.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IconRenderer.h"
#include "platform/PixelImage.h"
#include "platform/WebView.h"
#include "platform/Workspace.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/IconDataURLCache.h"
#include "shell/bridges/NativeApplicationIconsCommand.h"

namespace murmo {

class NativeApplicationIconBridge : public std::enable_shared_from_this<NativeApplicationIconBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoApplicationIcons";
    static constexpr std::string_view kRejectedText = "Dorvex native application icon request was rejected.";
    static constexpr std::string_view kUnavailableText = "Dorvex native application icon bridge is unavailable.";
    static constexpr std::string_view kDataURLPrefix = "data:image/png;base64,";

    // `trustedOrigin` is the engine URL the dashboard is loaded from. The
    // workspace and the renderer outlive the bridge.
    static std::shared_ptr<NativeApplicationIconBridge> create(MainLoop& loop, URL trustedOrigin, Workspace& workspace,
                                                               IconRenderer& renderer);
    NativeApplicationIconBridge(const NativeApplicationIconBridge&) = delete;
    NativeApplicationIconBridge& operator=(const NativeApplicationIconBridge&) = delete;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // Refuses at once; an accepted request is resolved and answered on a
    // later loop turn.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly and answers as unavailable once it is gone.
    ScriptMessageHandlerWithReply handler();

private:
    NativeApplicationIconBridge(MainLoop& loop, URL trustedOrigin, Workspace& workspace, IconRenderer& renderer);

    json::Json resolve(const NativeApplicationIconsCommand& command);
    std::optional<std::string> dataURL(const std::string& bundleIdentifier, int pixelSize);
    // The first running instance's icon, else the icon of the installed
    // application's file.
    std::optional<PixelImage> sourceIcon(const std::string& bundleIdentifier, int pixelSize);

    MainLoop& loop_;
    BridgeMessageRules rules_;
    Workspace& workspace_;
    IconRenderer& renderer_;
    IconDataURLCache cache_;
};

}  // namespace murmo
