#include "shell/bridges/NativeApplicationIconBridge.h"

#include <utility>

#include "runtime/Base64.h"

namespace murmo {

std::shared_ptr<NativeApplicationIconBridge> NativeApplicationIconBridge::create(MainLoop& loop, URL trustedOrigin,
                                                                                 Workspace& workspace,
                                                                                 IconRenderer& renderer) {
    return std::shared_ptr<NativeApplicationIconBridge>(
        new NativeApplicationIconBridge(loop, std::move(trustedOrigin), workspace, renderer));
}

NativeApplicationIconBridge::NativeApplicationIconBridge(MainLoop& loop, URL trustedOrigin, Workspace& workspace,
                                                         IconRenderer& renderer)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)),
      workspace_(workspace),
      renderer_(renderer) {}

ScriptMessageHandlerWithReply NativeApplicationIconBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kUnavailableText));
    };
}

void NativeApplicationIconBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    auto command = rules_.admits(message) ? NativeApplicationIconsCommand::fromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    rules_.post(
        loop_, shared_from_this(),
        [command = std::move(*command), reply](NativeApplicationIconBridge& bridge) mutable {
            if (!reply.returnValue(bridge.resolve(command))) reply.returnError(std::string(kUnavailableText));
        },
        [reply]() mutable { reply.returnError(std::string(kUnavailableText)); });
}

json::Json NativeApplicationIconBridge::resolve(const NativeApplicationIconsCommand& command) {
    auto icons = json::Json::object();
    for (const auto& bundleIdentifier : command.bundleIdentifiers) {
        if (auto url = dataURL(bundleIdentifier, command.size)) icons[bundleIdentifier] = std::move(*url);
    }
    return json::Json{{"icons", std::move(icons)}};
}

std::optional<std::string> NativeApplicationIconBridge::dataURL(const std::string& bundleIdentifier, int pixelSize) {
    const auto key = IconDataURLCache::keyFor(pixelSize, bundleIdentifier);
    if (auto cached = cache_.find(key)) return cached;
    const auto icon = sourceIcon(bundleIdentifier, pixelSize);
    if (!icon) return std::nullopt;
    const auto png = renderer_.renderPNG(*icon, pixelSize);
    if (!png) return std::nullopt;
    auto url = std::string(kDataURLPrefix) + encodeBase64(*png);
    cache_.insert(key, url);
    return url;
}

std::optional<PixelImage> NativeApplicationIconBridge::sourceIcon(const std::string& bundleIdentifier, int pixelSize) {
    for (const auto& application : workspace_.runningApplications()) {
        if (application.bundleIdentifier != bundleIdentifier) continue;
        if (auto icon = workspace_.runningApplicationIcon(application.processIdentifier, pixelSize)) return icon;
        break;  // only the first running instance counts
    }
    const auto location = workspace_.urlForApplication(bundleIdentifier);
    if (!location) return std::nullopt;
    return workspace_.iconForFile(*location, pixelSize);
}

}  // namespace murmo
