#pragma once

// Where the dashboard's web view may go. The view shows the engine's own
// pages only: a navigation within the engine's origin stays in the view, a
// web or mail address is handed to the user's browser or mail program, and
// anything else is dropped. The same origin rule decides which frame may ask
// the user to confirm something.

#include <optional>

#include "platform/WebView.h"
#include "runtime/URL.h"

namespace murmo {

// What to do with a navigation in the view.
struct DashboardNavigationDecision {
    PolicyVerdict verdict = PolicyVerdict::ignore;
    // Present when the address is to be opened outside the view (it is then
    // always cancelled in the view).
    std::optional<URL> openOutside;
};

// What to do with a request for a new window (a link with a target,
// window.open). The view never opens a second window.
struct DashboardNewWindowDecision {
    enum class Action {
        drop,
        // Load `url` in the dashboard's own view, replacing the page.
        loadInView,
        // Hand `url` to the user's browser or mail program.
        openOutside,
    };

    Action action = Action::drop;
    // Present for loadInView and openOutside.
    std::optional<URL> url;
};

class DashboardNavigationPolicy {
public:
    // `coreURL` is the engine URL the dashboard is loaded from.
    explicit DashboardNavigationPolicy(URL coreURL) : coreURL_(std::move(coreURL)) {}

    const URL& coreURL() const { return coreURL_; }

    // The empty page; in a subframe also blob and data content; otherwise the
    // engine's origin: scheme and host (both lowercased) and effective port.
    bool isInternalNavigation(const URL& url, bool isMainFrame) const;

    // No address: cancelled. Internal for its frame (an unknown or new-window
    // target counts as the main frame): allowed. Otherwise cancelled, and an
    // http, https or mailto address opens outside.
    DashboardNavigationDecision decideNavigation(const NavigationAction& action) const;

    // Only a request known to have no target frame and carrying an address
    // does anything. An engine address loads in the view; the empty page is
    // dropped, since loading it would leave the dashboard blank while it
    // counts as loaded; an http, https or mailto address opens outside;
    // anything else is dropped.
    DashboardNewWindowDecision decideNewWindow(const NavigationAction& action) const;

    // Only the main frame, at an internal address, may show a confirm; a frame
    // the view cannot name, or one without an address, may not.
    bool allowsConfirm(const ConfirmRequest& request) const;

    // http, https and mailto: what the user's browser or mail program opens.
    static bool opensOutside(const URL& url);

private:
    URL coreURL_;
};

}  // namespace murmo
