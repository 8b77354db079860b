#include "platform/sim/SimChrome.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/sim/SimAppWindow.h"
#include "platform/sim/SimMenuChoice.h"
#include "platform/sim/SimStatusItem.h"

namespace murmo {
namespace {

std::string_view replyName(TerminateReply reply) {
    switch (reply) {
        case TerminateReply::now: return "now";
        case TerminateReply::cancel: return "cancel";
        case TerminateReply::later: return "later";
    }
    return "?";
}

std::string yesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

SimChrome::~SimChrome() = default;

bool SimChrome::setActivationPolicy(ActivationPolicy policy) {
    policyRequests_.push_back(policy);
    if (refused_.contains(policy)) return false;
    policy_ = policy;
    return true;
}

ObserverHandle SimChrome::observeLocaleChanges(std::function<void()> onChange) {
    return observers_.add(std::move(onChange));
}

ObserverHandle SimChrome::observeAppearanceChanges(std::function<void()> onChange) {
    return appearanceObservers_.add(std::move(onChange));
}

ObserverHandle SimChrome::observeActiveChanges(std::function<void(bool)> onChange) {
    return activeObservers_.add(std::move(onChange));
}

void SimChrome::changeLocale() { observers_.notify(); }

void SimChrome::setDarkAppearance(bool dark) {
    if (dark_ == dark) return;
    dark_ = dark;
    appearanceObservers_.notify();
}

// ---- The application -----------------------------------------------------------------

void SimChrome::activate() {
    ++activateRequests_;
    changeActive(true, true);
}

void SimChrome::changeActive(bool active, bool onTheLoop) {
    changeWindows([this, active] { active_ = active; }, onTheLoop);
}

void SimChrome::changeWindows(const std::function<void()>& change, bool onTheLoop) {
    const bool wasActive = active_;
    std::vector<std::pair<SimAppWindow*, SimAppWindow::Observed>> before;
    for (auto* window : windows_) before.emplace_back(window, window->observed());
    change();

    auto tellActive = [this, onTheLoop] {
        const bool active = active_;
        auto notify = [this, alive = std::weak_ptr(alive_), active] {
            if (alive.lock()) activeObservers_.notify(active);
        };
        if (onTheLoop) {
            runOnLoop(std::move(notify));
        } else {
            notify();
        }
    };
    // The application becomes active before its key window hears of it, and
    // its windows lose focus before it resigns.
    if (!wasActive && active_) tellActive();
    for (const auto& [window, observed] : before) {
        // An owner told at once may have dropped another window meanwhile.
        if (std::ranges::find(windows_, window) != windows_.end()) window->tellChanges(observed, onTheLoop);
    }
    if (wasActive && !active_) tellActive();
}

void SimChrome::clearKeyHolders() {
    for (auto* window : windows_) window->loseKey();
}

void SimChrome::userReopens() {
    if (const auto onReopen = handlers_.onReopen) onReopen(hasVisibleWindows());
}

void SimChrome::setMainMenu(Menu menu) {
    mainMenu_ = std::move(menu);
    ++mainMenuUpdates_;
}

bool SimChrome::chooseMainMenuItem(const std::vector<std::size_t>& path) {
    if (!mainMenu_) return false;
    const MenuItem* item = choosableMenuItem(*mainMenu_, path);
    if (!item) return false;
    const auto action = *item->action;
    if (item->target != MenuTarget::applicationDelegate) {
        focusedActions_.push_back(action);
        return true;
    }
    if (const auto onMenuAction = handlers_.onMenuAction) onMenuAction(action);
    return true;
}

void SimChrome::terminate() {
    if (terminated_) return;
    const auto shouldTerminate = handlers_.shouldTerminate;
    const auto reply = shouldTerminate ? shouldTerminate() : TerminateReply::now;
    terminationSteps_.push_back("asked:" + std::string(replyName(reply)));
    if (reply == TerminateReply::later) waitingForTerminateReply_ = true;
    if (reply == TerminateReply::now) finishTermination();
}

void SimChrome::replyToShouldTerminate(bool shouldTerminate) {
    if (!waitingForTerminateReply_ || terminated_) {
        terminationSteps_.push_back("reply-ignored:" + yesNo(shouldTerminate));
        return;
    }
    terminationSteps_.push_back("reply:" + yesNo(shouldTerminate));
    waitingForTerminateReply_ = false;
    if (shouldTerminate) finishTermination();
}

void SimChrome::finishTermination() {
    waitingForTerminateReply_ = false;
    // Set first: a terminate from inside the will-terminate handler is
    // ignored, as it is once the loop has ended.
    terminated_ = true;
    terminationSteps_.push_back("will-terminate");
    if (const auto willTerminate = handlers_.willTerminate) willTerminate();
    terminationSteps_.push_back("terminated");
    if (onTerminated_) onTerminated_();
}

// ---- Save panels -----------------------------------------------------------------------

void SimChrome::beginSavePanel(const SavePanelRequest& request, SavePanelCompletion completion) {
    completions_.emplace(panels_.size(), std::move(completion));
    panels_.push_back(SimSavePanel{.request = request});
}

std::vector<std::size_t> SimChrome::openSavePanels() const {
    std::vector<std::size_t> open;
    for (std::size_t index = 0; index < panels_.size(); ++index) {
        if (panels_[index].open) open.push_back(index);
    }
    return open;
}

bool SimChrome::chooseSaveLocation(std::size_t panel, std::filesystem::path location) {
    return closeSavePanel(panel, std::move(location));
}

bool SimChrome::cancelSavePanel(std::size_t panel) { return closeSavePanel(panel, std::nullopt); }

bool SimChrome::closeSavePanel(std::size_t panel, std::optional<std::filesystem::path> location) {
    const auto found = completions_.find(panel);
    if (found == completions_.end()) return false;
    // Taken out first: the completion runs once, and whatever it holds goes
    // with it.
    auto completion = std::move(found->second);
    completions_.erase(found);
    panels_[panel].open = false;
    panels_[panel].location = location;
    runOnLoop([completion = std::move(completion), location = std::move(location)]() mutable {
        completion(std::move(location));
    });
    return true;
}

// ---- Alerts and sheets -------------------------------------------------------------------

void SimChrome::showAlert(const AlertRequest& request, AlertCompletion completion) {
    addAlert(request, std::nullopt, std::move(completion));
}

void SimChrome::addAlert(const AlertRequest& request, std::optional<std::size_t> sheetWindow,
                         AlertCompletion completion) {
    alertCompletions_.emplace(alerts_.size(), std::move(completion));
    alerts_.push_back(SimAlert{.request = request, .sheetWindow = sheetWindow});
}

std::vector<std::size_t> SimChrome::openAlerts() const {
    std::vector<std::size_t> open;
    for (std::size_t index = 0; index < alerts_.size(); ++index) {
        if (alerts_[index].open) open.push_back(index);
    }
    return open;
}

bool SimChrome::chooseAlertButton(std::size_t alert, std::size_t button) {
    const auto found = alertCompletions_.find(alert);
    if (found == alertCompletions_.end()) return false;
    // No buttons of its own: the platform's single "OK".
    const auto buttons = std::max<std::size_t>(alerts_[alert].request.buttons.size(), 1);
    if (button >= buttons) return false;
    auto completion = std::move(found->second);
    alertCompletions_.erase(found);
    const auto response = alertResponseForButton(button);
    alerts_[alert].open = false;
    alerts_[alert].response = response;
    runOnLoop([completion = std::move(completion), response] { completion(response); });
    return true;
}

// ---- Status items and windows --------------------------------------------------------------

void SimChrome::setImageAvailable(const ImageSource& source, bool available) {
    auto& list = source.kind == ImageSource::Kind::symbol ? missingSymbols_ : presentImages_;
    std::erase(list, source);
    const bool listed = source.kind == ImageSource::Kind::symbol ? !available : available;
    if (listed) list.push_back(source);
}

bool SimChrome::imageLoads(const ImageSource& source) const {
    if (source.kind == ImageSource::Kind::symbol)
        return !(std::ranges::find(missingSymbols_, source) != missingSymbols_.end());
    return std::ranges::find(presentImages_, source) != presentImages_.end();
}

std::unique_ptr<StatusItem> SimChrome::makeSquareStatusItem() {
    auto item = std::make_unique<SimStatusItem>(*this);
    statusItems_.push_back(item.get());
    return item;
}

std::unique_ptr<AppWindow> SimChrome::makeWindow(const WindowRequest& request) {
    if (!loop_) throw std::logic_error("SimChrome makes windows only with a loop for their web views");
    auto window = std::make_unique<SimAppWindow>(*this, *loop_, nextWindowID_++, request);
    windows_.push_back(window.get());
    if (pageFetcher_) window->simWebView().setPageFetcher(pageFetcher_);
    return window;
}

bool SimChrome::hasVisibleWindows() const {
    return std::ranges::any_of(windows_, [](const SimAppWindow* window) { return window->isVisible(); });
}

void SimChrome::forgetStatusItem(const SimStatusItem& item) { std::erase(statusItems_, &item); }

void SimChrome::forgetWindow(const SimAppWindow& window) {
    std::erase(windows_, &window);
    // Its sheets go with it, their completions uncalled.
    for (std::size_t index = 0; index < alerts_.size(); ++index) {
        if (alerts_[index].open && alerts_[index].sheetWindow == window.id()) {
            alerts_[index].open = false;
            alertCompletions_.erase(index);
        }
    }
}

void SimChrome::runOnLoop(std::function<void()> action) {
    if (loop_) {
        loop_->post(std::move(action));
    } else {
        action();
    }
}

}  // namespace murmo
