#pragma once

// What every dashboard bridge checks before it acts on a script message, and
// how it hands the action to the main loop. The page is the engine's web
// application; a script message is the only way it reaches the desktop, so a
// bridge acts only on a message posted under its own name, from the main
// frame, by a frame it trusts. The body is the bridge's command to read
// (BridgeMessageBody). A refusal never tells the page which rule failed and
// is never logged.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/WebView.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"

namespace murmo {

// Whom a bridge trusts, and how long a posted action keeps the bridge alive.
enum class BridgeOriginRule {
    // The engine on the loopback interface (host and scheme in any case, the
    // same effective port). Its actions hold the bridge weakly: a bridge gone
    // before the action runs answers as unavailable.
    engine,
    // Exactly the origin the page was loaded from (scheme, host and explicit
    // port as the URL reports them). Its actions hold the bridge strongly, so
    // a started export or copy always finishes.
    page,
};

// The URL's explicit port; without one 80 for http, 443 for https, and none
// for any other scheme. None never equals a number.
std::optional<std::uint16_t> effectivePort(const URL& url);

// The engine-origin rule on a frame: its request URL is present, its host is
// a loopback name ("127.0.0.1", "localhost", "::1", in any case), and its
// scheme, host (both lowercased) and effective port are those of
// `trustedOrigin`. Says nothing of whether the frame is the main frame.
bool isTrustedFrame(const WebFrameInfo& frame, const URL& trustedOrigin);

// The page-origin rule on a frame: the main frame, with a request URL whose
// scheme, host and explicit port are exactly those of `origin` (no loopback
// list, no lowercasing of the host, no default ports).
bool isSamePageOrigin(const WebFrameInfo& frame, const URL& origin);

class BridgeMessageRules {
public:
    BridgeMessageRules(std::string handlerName, BridgeOriginRule originRule, URL origin);

    const std::string& handlerName() const { return handlerName_; }
    BridgeOriginRule originRule() const { return originRule_; }
    const URL& origin() const { return origin_; }

    // The name matches byte for byte (lengths included), the frame is known
    // and is the main frame, and the origin rule accepts it.
    bool admits(const ScriptMessage& message) const;

    // Posts `action(bridge)` to the main loop; it never runs inside this call.
    // Engine origin: the posted action holds the bridge weakly and runs
    // `whenGone()` instead when the bridge is gone by then. Page origin: it
    // holds the bridge until it has run, and `whenGone` is never called.
    // Both callables must be copyable (the loop keeps std::function).
    template <typename Bridge, typename Action, typename WhenGone>
    void post(MainLoop& loop, const std::shared_ptr<Bridge>& bridge, Action action, WhenGone whenGone) const {
        if (originRule_ == BridgeOriginRule::engine) {
            loop.post([weak = std::weak_ptr<Bridge>(bridge), action = std::move(action),
                       whenGone = std::move(whenGone)]() mutable {
                if (auto strong = weak.lock()) {
                    action(*strong);
                } else {
                    whenGone();
                }
            });
        } else {
            loop.post([strong = bridge, action = std::move(action)]() mutable { action(*strong); });
        }
    }

    // For a bridge that does not answer: a gone bridge does nothing.
    template <typename Bridge, typename Action>
    void post(MainLoop& loop, const std::shared_ptr<Bridge>& bridge, Action action) const {
        post(loop, bridge, std::move(action), [] {});
    }

private:
    bool acceptsOrigin(const WebFrameInfo& frame) const;

    std::string handlerName_;
    BridgeOriginRule originRule_;
    URL origin_;
};

}  // namespace murmo
