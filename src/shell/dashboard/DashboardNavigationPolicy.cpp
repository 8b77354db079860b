#include "shell/dashboard/DashboardNavigationPolicy.h"

#include <string_view>

#include "runtime/AsciiText.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

namespace {

constexpr std::string_view kEmptyPage = "about:blank";

bool isEmptyPage(const URL& url) { return url.text() == kEmptyPage; }

}  // namespace

bool DashboardNavigationPolicy::isInternalNavigation(const URL& url, bool isMainFrame) const {
    if (isEmptyPage(url)) return true;
    const auto scheme = asciiLowercased(url.scheme());
    // Embedded frames of the page may show content the page made itself.
    if (!isMainFrame && (scheme == "blob" || scheme == "data")) return true;
    // An absent host reads as empty: two absent hosts are equal, one absent
    // and one present are not.
    return scheme == asciiLowercased(coreURL_.scheme()) &&
           asciiLowercased(url.host()) == asciiLowercased(coreURL_.host()) &&
           effectivePort(url) == effectivePort(coreURL_);
}

DashboardNavigationDecision DashboardNavigationPolicy::decideNavigation(const NavigationAction& action) const {
    if (!action.url) return {};
    if (isInternalNavigation(*action.url, action.targetsMainFrame())) return {PolicyVerdict::allow, std::nullopt};
    if (opensOutside(*action.url)) return {PolicyVerdict::ignore, action.url};
    return {};
}

DashboardNewWindowDecision DashboardNavigationPolicy::decideNewWindow(const NavigationAction& action) const {
    using Action = DashboardNewWindowDecision::Action;
    if (action.target != NavigationTarget::none || !action.url) return {};
    const URL& url = *action.url;
    if (isEmptyPage(url)) return {};
    if (isInternalNavigation(url, true)) return {Action::loadInView, url};
    if (opensOutside(url)) return {Action::openOutside, url};
    return {};
}

bool DashboardNavigationPolicy::allowsConfirm(const ConfirmRequest& request) const {
    if (!request.isFromMainFrame()) return false;
    const auto& url = request.frame->requestURL;
    return url && isInternalNavigation(*url, true);
}

bool DashboardNavigationPolicy::opensOutside(const URL& url) {
    const auto scheme = asciiLowercased(url.scheme());
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

}  // namespace murmo
