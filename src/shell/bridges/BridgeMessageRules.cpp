#include "shell/bridges/BridgeMessageRules.h"

#include <array>

#include "runtime/AsciiText.h"

namespace murmo {

namespace {

bool isLoopbackHost(std::string_view lowercasedHost) {
    // URL::host() gives an IPv6 literal without its brackets.
    constexpr std::array<std::string_view, 3> loopbackHosts{"127.0.0.1", "localhost", "::1"};
    for (const auto host : loopbackHosts) {
        if (lowercasedHost == host) return true;
    }
    return false;
}

}  // namespace

std::optional<std::uint16_t> effectivePort(const URL& url) {
    if (auto explicitPort = url.port()) return explicitPort;
    // Only the two schemes a page is served over have a port of their own
    // here; URL::effectivePort() also defaults others (ws, wss) for clients.
    const auto scheme = asciiLowercased(url.scheme());
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    return std::nullopt;
}

bool isTrustedFrame(const WebFrameInfo& frame, const URL& trustedOrigin) {
    if (!frame.requestURL) return false;
    const URL& url = *frame.requestURL;
    const auto host = asciiLowercased(url.host());
    return isLoopbackHost(host) && asciiLowercased(url.scheme()) == asciiLowercased(trustedOrigin.scheme()) &&
           host == asciiLowercased(trustedOrigin.host()) && effectivePort(url) == effectivePort(trustedOrigin);
}

bool isSamePageOrigin(const WebFrameInfo& frame, const URL& origin) {
    if (!frame.isMainFrame || !frame.requestURL) return false;
    const URL& url = *frame.requestURL;
    return url.scheme() == origin.scheme() && url.host() == origin.host() && url.port() == origin.port();
}

BridgeMessageRules::BridgeMessageRules(std::string handlerName, BridgeOriginRule originRule, URL origin)
    : handlerName_(std::move(handlerName)), originRule_(originRule), origin_(std::move(origin)) {}

bool BridgeMessageRules::admits(const ScriptMessage& message) const {
    // std::string equality compares lengths, so a name holding U+0000 never
    // matches a shorter one.
    if (message.handlerName != handlerName_) return false;
    if (!message.isFromMainFrame()) return false;
    return acceptsOrigin(*message.frame);
}

bool BridgeMessageRules::acceptsOrigin(const WebFrameInfo& frame) const {
    switch (originRule_) {
        case BridgeOriginRule::engine: return isTrustedFrame(frame, origin_);
        case BridgeOriginRule::page: return isSamePageOrigin(frame, origin_);
    }
    return false;
}

}  // namespace murmo
