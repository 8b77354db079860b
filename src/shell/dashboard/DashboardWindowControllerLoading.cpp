// Loading the page, retrying while the engine does not answer, and deciding
// where the view may go.

#include <utility>

#include "shell/dashboard/DashboardWindowController.h"
#include "shell/dashboard/DashboardWindowControllerState.h"
#include "shell/dashboard/NativeJavaScriptDialogPresenter.h"

namespace murmo {

void DashboardWindowController::installWebViewEvents() {
    auto weak = weak_from_this();
    auto onFailure = [weak](const WebLoadError& error) {
        if (const auto self = weak.lock()) self->loadFailed(error);
    };
    state_->window->webView().setEvents(WebViewEvents{
        .provisionalLoadStarted =
            [weak] {
                if (const auto self = weak.lock()) self->provisionalLoadStarted();
            },
        .loadFinished =
            [weak] {
                if (const auto self = weak.lock()) self->loadFinished();
            },
        .loadFailed = onFailure,
        .provisionalLoadFailed = onFailure,
        .webProcessTerminated =
            [weak](WebProcessTermination) {
                if (const auto self = weak.lock()) self->webProcessTerminated();
            },
        .decideNavigationAction =
            [weak](const NavigationAction& action) {
                const auto self = weak.lock();
                return self ? self->decideNavigationAction(action) : PolicyVerdict::ignore;
            },
        .newWindowRequested =
            [weak](const NavigationAction& action) {
                if (const auto self = weak.lock()) self->newWindowRequested(action);
            },
        .decideResponse =
            [weak](const NavigationResponse& response) {
                const auto self = weak.lock();
                return self ? self->decideResponse(response) : PolicyVerdict::ignore;
            },
        .confirm =
            [weak](const ConfirmRequest& request, ConfirmReply reply) {
                if (const auto self = weak.lock()) return self->confirmRequested(request, std::move(reply));
                reply.answer(false);
            },
    });
}

// ---- Loads ----------------------------------------------------------------------------

void DashboardWindowController::load(const URL& url) {
    auto& s = *state_;
    if (s.shutDown) return;
    s.retry.cancel();
    setLoadingViewShown(true);
    // The web engine waits for an answer as long as the connection stays
    // open; a load still running after kLoadTimeout counts as failed.
    s.loadTimeout = s.ports.loop.after(kLoadTimeout, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->loadTimedOut();
    });
    s.window->webView().load(WebLoadRequest{
        .url = url,
        .headers = {{std::string(kDesktopTokenHeader), s.settings.desktopToken}},
        .ignoreLocalCache = true,
    });
}

void DashboardWindowController::scheduleRetry() {
    auto& s = *state_;
    if (s.shutDown || s.retry.armed()) return;
    s.retry = s.ports.loop.after(kRetryDelay, [weak = weak_from_this()] {
        const auto self = weak.lock();
        if (!self) return;
        self->state_->retry.cancel();
        self->load(NativeWebSurfaceURL::workspace(self->state_->settings.coreURL));
    });
}

void DashboardWindowController::loadTimedOut() {
    state_->loadTimeout.cancel();
    // Stopping fails the load as cancelled, which changes nothing; the
    // failure shown here is the time-out's.
    state_->window->webView().stopLoading();
    showLoadFailure();
}

void DashboardWindowController::showLoadFailure() {
    auto& s = *state_;
    s.loadTimeout.cancel();
    s.hasLoadedDashboard = false;
    s.loadingView.label = s.strings().coreLoading();
    setLoadingViewShown(true);
    scheduleRetry();
}

void DashboardWindowController::setLoadingViewShown(bool shown) {
    state_->loadingView.shown = shown;
    state_->window->setLoadingView(state_->loadingView);
}

// ---- What the view tells ------------------------------------------------------------------

void DashboardWindowController::provisionalLoadStarted() {
    state_->hasLoadedDashboard = false;
    // A new page: the old page's recording has no one to report to.
    if (const auto abandoned = onAudioAbandoned) abandoned();
}

void DashboardWindowController::loadFinished() {
    auto& s = *state_;
    s.retry.cancel();
    s.loadTimeout.cancel();
    s.hasLoadedDashboard = true;
    selectPendingSettings();
    setLoadingViewShown(false);
    broadcastNativePreferences(s.settings.preferences->snapshot());
    broadcastWindowActivity();
}

void DashboardWindowController::loadFailed(const WebLoadError& error) {
    // Superseded by a newer load, or stopped: nothing went wrong.
    if (error.cancelled) return;
    showLoadFailure();
}

void DashboardWindowController::webProcessTerminated() {
    if (const auto abandoned = onAudioAbandoned) abandoned();
    showLoadFailure();
}

PolicyVerdict DashboardWindowController::decideResponse(const NavigationResponse& response) {
    if (!response.isMainFrame || (response.httpStatus >= 200 && response.httpStatus <= 399)) {
        return PolicyVerdict::allow;
    }
    // The engine answers but cannot serve the page yet: as if it were down.
    showLoadFailure();
    return PolicyVerdict::ignore;
}

// ---- Where the view may go ------------------------------------------------------------------

PolicyVerdict DashboardWindowController::decideNavigationAction(const NavigationAction& action) {
    const auto decision = state_->policy.decideNavigation(action);
    if (decision.openOutside) state_->ports.workspace.open(*decision.openOutside);
    return decision.verdict;
}

void DashboardWindowController::newWindowRequested(const NavigationAction& action) {
    const auto decision = state_->policy.decideNewWindow(action);
    if (!decision.url) return;
    using Action = DashboardNewWindowDecision::Action;
    switch (decision.action) {
        case Action::loadInView: load(*decision.url); break;
        case Action::openOutside: state_->ports.workspace.open(*decision.url); break;
        case Action::drop: break;
    }
}

void DashboardWindowController::confirmRequested(const ConfirmRequest& request, ConfirmReply reply) {
    auto& s = *state_;
    if (!s.policy.allowsConfirm(request)) {
        reply.answer(false);
        return;
    }
    const NativeLocalizedStrings strings(s.resolvedLanguage(s.settings.preferences->snapshot().uiLanguage),
                                         std::span<const std::string>{});
    NativeJavaScriptDialogPresenter::confirm(request.message, *s.window, strings,
                                             [reply](bool confirmed) mutable { reply.answer(confirmed); });
}

}  // namespace murmo
