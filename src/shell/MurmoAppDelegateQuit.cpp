// The quit handshake. The first request answers "later" and asks the page
// whether it may close; the application ends only after the page said a JSON
// true within the time-out and the coordinator has stopped the engine. A
// refusal keeps the application running with the dashboard in front.

#include "shell/MurmoAppDelegate.h"
#include "shell/dashboard/EditorClosePreparation.h"

namespace murmo {

TerminateReply MurmoAppDelegate::applicationShouldTerminate() {
    if (didFinishShutdown_) return TerminateReply::now;
    // One preparation at a time: the running one's reply decides.
    if (isTerminating_) return TerminateReply::later;
    isTerminating_ = true;
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    ports_.loop.post([weak] {
        if (auto self = weak.lock()) self->runQuitTask();
    });
    return TerminateReply::later;
}

void MurmoAppDelegate::runQuitTask() {
    if (!dashboard_) {
        shutDownAndReply();
        return;
    }
    const std::weak_ptr<DashboardWindowController> dashboard = dashboard_;
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    EditorClosePreparation::wait(
        ports_.loop, kClosePreparationTimeout,
        [dashboard](WebScriptCompletion completion) {
            if (auto page = dashboard.lock()) {
                page->prepareForTermination(std::move(completion));
            } else {
                completion(
                    std::unexpected(Error(std::string(kWebScriptErrorDomain),
                                          static_cast<long>(WebScriptErrorCode::pageGone), "The dashboard is gone.")));
            }
        },
        [weak](bool mayClose) {
            if (auto self = weak.lock()) self->closePreparationEnded(mayClose);
        });
}

void MurmoAppDelegate::closePreparationEnded(bool mayClose) {
    if (!mayClose) {
        isTerminating_ = false;
        if (dashboard_) dashboard_->showDashboard();
        ports_.chrome.replyToShouldTerminate(false);
        return;
    }
    shutDownAndReply();
}

void MurmoAppDelegate::shutDownAndReply() {
    if (dashboard_) dashboard_->shutdown();
    if (!coordinator_) {
        didFinishShutdown_ = true;
        ports_.chrome.replyToShouldTerminate(true);
        return;
    }
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    coordinator_->shutdown([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->didFinishShutdown_ = true;
        self->ports_.chrome.replyToShouldTerminate(true);
    });
}

void MurmoAppDelegate::applicationWillTerminate() {
    if (preferencesObserverToken_) {
        preferences_->removeObserver(preferencesObserverToken_);
        preferencesObserverToken_.reset();
    }
    effectiveAppearanceObservation_.reset();
    preferences_->deactivateRuntimeBindings();
    if (dashboard_) dashboard_->shutdown();
}

}  // namespace murmo
