#include "platform/sim/SimAppWindow.h"

#include <utility>

#include "platform/sim/SimChrome.h"

namespace murmo {

SimAppWindow::SimAppWindow(SimChrome& chrome, MainLoop& loop, std::size_t id, const WindowRequest& request)
    : chrome_(chrome),
      loop_(loop),
      id_(id),
      request_(request),
      title_(request.title),
      webView_(std::make_unique<SimWebView>(loop)) {}

SimAppWindow::~SimAppWindow() { chrome_.forgetWindow(*this); }

bool SimAppWindow::isKey() const { return keyHolder_ && visible_ && !miniaturized_ && chrome_.isActive(); }

void SimAppWindow::showAndMakeKey() {
    chrome_.changeWindows(
        [this] {
            chrome_.clearKeyHolders();
            visible_ = true;
            miniaturized_ = false;
            keyHolder_ = true;
        },
        true);
}

void SimAppWindow::orderOut() {
    chrome_.changeWindows(
        [this] {
            visible_ = false;
            keyHolder_ = false;
        },
        true);
}

void SimAppWindow::setHandlers(AppWindowHandlers handlers) { *handlers_ = std::move(handlers); }

void SimAppWindow::beginSheet(const AlertRequest& request, AlertCompletion completion) {
    chrome_.addAlert(request, id_, std::move(completion));
}

void SimAppWindow::setLoadingView(const WindowLoadingView& loadingView) {
    if (loadingView_ == loadingView) return;
    loadingView_ = loadingView;
    loadingViewObservers_.notify(loadingView_);
}

void SimAppWindow::setAppearance(WindowAppearance appearance, const WindowColors& colors) {
    appearance_ = appearance;
    colors_ = colors;
}

void SimAppWindow::userPressesSidebarButton() {
    // A copy: the owner may replace its handlers while it answers.
    if (const auto pressed = handlers_->onSidebarButtonPressed) pressed();
}

bool SimAppWindow::userCloses() {
    if (!visible_ || !request_.style.closable) return false;
    ++closeRequests_;
    // A copy: the owner may replace its handlers while it answers.
    const auto shouldClose = handlers_->shouldClose;
    if (shouldClose && !shouldClose()) return false;
    orderOutByUser();
    return true;
}

void SimAppWindow::orderOutByUser() {
    chrome_.changeWindows(
        [this] {
            visible_ = false;
            keyHolder_ = false;
        },
        false);
}

void SimAppWindow::userFocuses() {
    chrome_.changeWindows(
        [this] {
            chrome_.clearKeyHolders();
            keyHolder_ = true;
            visible_ = true;
            chrome_.setActiveState(true);
        },
        false);
}

void SimAppWindow::userMiniaturizes() {
    if (!request_.style.miniaturizable) return;
    chrome_.changeWindows([this] { miniaturized_ = visible_; }, false);
}

void SimAppWindow::userDeminiaturizes() {
    chrome_.changeWindows(
        [this] {
            if (!miniaturized_) return;
            miniaturized_ = false;
            chrome_.clearKeyHolders();
            keyHolder_ = true;
        },
        false);
}

void SimAppWindow::setCoveredByOtherWindows(bool covered) {
    chrome_.changeWindows([this, covered] { occluded_ = covered; }, false);
}

void SimAppWindow::tellChanges(const Observed& before, bool onTheLoop) {
    const Observed after = observed();
    // Focus leaves before a window goes to the Dock and comes back after
    // everything else a change did.
    if (before.key && !after.key) tell(WindowEvent::resignedKey, onTheLoop);
    if (before.miniaturized != after.miniaturized) {
        tell(after.miniaturized ? WindowEvent::miniaturized : WindowEvent::deminiaturized, onTheLoop);
    }
    if (before.occlusionVisible != after.occlusionVisible) tell(WindowEvent::occlusionChanged, onTheLoop);
    if (!before.key && after.key) tell(WindowEvent::becameKey, onTheLoop);
}

void SimAppWindow::tell(WindowEvent event, bool onTheLoop) {
    auto deliver = [handlers = std::weak_ptr(handlers_), delivered = std::weak_ptr(delivered_), event] {
        const auto owner = handlers.lock();
        const auto log = delivered.lock();
        if (!owner || !log) return;
        log->push_back(event);
        // A copy: the owner may replace its handlers while it is told.
        if (const auto onEvent = owner->onEvent) onEvent(event);
    };
    if (onTheLoop) {
        loop_.post(std::move(deliver));
    } else {
        deliver();
    }
}

}  // namespace murmo
