// The assistant's answer in the HUD: a 360-point panel that grows with the
// answer, scrolls past its largest height, hides by itself when it asks
// nothing of the user, and goes away on a click anywhere outside it.

#include <algorithm>
#include <cmath>
#include <utility>

#include "input/hud/AgentAnswerLayout.h"
#include "input/hud/AgentResponsePolicies.h"
#include "input/hud/HUDController.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {
using Kind = HUDMode::Kind;
}  // namespace

void HUDController::showAgentAnswer(const std::string& text, const std::string& confirmationLabel,
                                    std::string confirmTitle, std::string cancelTitle, Callback onConfirm,
                                    Callback onCancel) {
    if (shuttingDown_) return;
    auto answer = unicode::trimWhitespaceAndNewlines(text);
    if (answer.empty()) {
        hideAgentAnswer(false);
        return;
    }
    auto label = unicode::trimWhitespaceAndNewlines(confirmationLabel);
    const bool showsConfirm = static_cast<bool>(onConfirm);
    const bool showsCancel = static_cast<bool>(onCancel);
    agentAnswerHeight_ = AgentResponseLayoutPolicy::panelHeight(
        measuredAnswerHeight(measure_, answer, AgentResponseLayoutPolicy::rowWidth), !label.empty(),
        showsConfirm || showsCancel);

    cancelScheduledHide();
    clipboardOfferActive_ = false;
    clipboardAutoHideEnabled_ = false;
    const auto mode = HUDMode::of(Kind::agentAnswer);
    policy_.presentTransient(mode);
    surface_.setClickThrough(false);
    stopOutsideClickMonitoring();
    // Replaced, never called: the newer answer owns the operation now.
    agentOnConfirm_ = std::move(onConfirm);
    agentOnCancel_ = std::move(onCancel);

    const bool hidesByItself = !showsConfirm && !showsCancel;
    transition(
        mode, false,
        [this, answer, label, confirmTitle = std::move(confirmTitle), cancelTitle = std::move(cancelTitle),
         showsConfirm,
         showsCancel] { configureAgentAnswer(answer, label, confirmTitle, cancelTitle, showsConfirm, showsCancel); },
        [this, answer, hidesByItself] {
            if (currentMode_ != HUDMode::of(Kind::agentAnswer)) return;
            state_.answerScrollOffset = 0;
            startOutsideClickMonitoring();
            announce(answer);
            if (hidesByItself) {
                const auto characters = unicode::graphemeCount(answer).value_or(answer.size());
                scheduleHide(
                    HUDSeconds(AgentResponseLayoutPolicy::autoDismissDuration(static_cast<long long>(characters))));
            }
        });
}

void HUDController::configureAgentAnswer(const std::string& text, const std::string& label,
                                         const std::string& confirmTitle, const std::string& cancelTitle,
                                         bool showsConfirm, bool showsCancel) {
    waveform_->stop();
    state_.dots.stop();
    auto& content = state_.content;
    content.resetAccessories();
    content.agentAnswerScroll.text = text;
    content.agentAnswerScroll.hidden = false;
    content.agentConfirmationLabel.text = label;
    content.agentConfirmationLabel.hidden = label.empty();
    content.agentConfirmButton.text = confirmTitle;
    content.agentConfirmButton.hidden = !showsConfirm;
    content.agentCancelButton.text = cancelTitle;
    content.agentCancelButton.hidden = !showsCancel;
    state_.answerScrollOffset = 0;
}

bool HUDController::agentAnswerRequested() const {
    const auto answer = HUDMode::of(Kind::agentAnswer);
    return currentMode_ == answer || policy_.transientMode == answer;
}

void HUDController::hideAgentAnswer(bool cancelPendingOperation) {
    if (shuttingDown_ || !agentAnswerRequested()) return;
    Callback taken = cancelPendingOperation ? std::exchange(agentOnCancel_, nullptr) : nullptr;
    endAgentAnswer(std::move(taken));
}

void HUDController::confirmAgentAnswer() {
    Callback taken = std::exchange(agentOnConfirm_, nullptr);
    if (!shuttingDown_ && agentAnswerRequested()) settleAndSynchronize();
    if (taken) taken();
}

void HUDController::cancelAgentAnswer() {
    Callback taken = std::exchange(agentOnCancel_, nullptr);
    if (!shuttingDown_ && agentAnswerRequested()) settleAndSynchronize();
    if (taken) taken();
}

void HUDController::endAgentAnswer(Callback taken) {
    // The HUD changes first, so a callback that shows something new wins.
    settleAndSynchronize();
    if (taken) taken();
}

void HUDController::startOutsideClickMonitoring() {
    stopOutsideClickMonitoring();
    if (!surface_.canMonitorMouseDowns()) return;
    const auto monitor = ++outsideClickMonitorID_;
    // The handler may run off the main thread on a real desktop: it only
    // hands the press, with the location read at once, to the main loop, and
    // never takes ownership of the controller there.
    outsideClickMonitor_ =
        surface_.monitorMouseDowns([weak = weak_from_this(), &loop = loop_, monitor](const HUDMouseDown& press) {
            // A newer answer may have replaced this monitor by the time the
            // step runs; the step carries the monitor's number.
            loop.post([weak, monitor, location = press.location] {
                if (auto owner = weak.lock()) owner->outsideClick(monitor, location);
            });
        });
}

void HUDController::stopOutsideClickMonitoring() {
    outsideClickMonitor_.reset();
    // A press already seen by the stopped monitor finds another number.
    ++outsideClickMonitorID_;
}

void HUDController::outsideClick(std::uint64_t monitor, HUDPoint location) {
    if (monitor != outsideClickMonitorID_) return;
    if (currentMode_ != HUDMode::of(Kind::agentAnswer) || !surface_.isPanelVisible()) return;
    if (!AgentResponseInteractionPolicy::shouldDismiss(surface_.panelFrame(), location.x, location.y)) return;
    hideAgentAnswer(true);
}

void HUDController::scrollAnswer(double deltaY) {
    if (currentMode_ != HUDMode::of(Kind::agentAnswer) || !std::isfinite(deltaY)) return;
    const auto& content = state_.content;
    const double extent = std::max(content.agentAnswerTextFrame.height - content.agentAnswerScroll.frame.height, 0.0);
    state_.answerScrollOffset = std::clamp(state_.answerScrollOffset + deltaY, 0.0, extent);
    surface_.setNeedsDisplay();
}

}  // namespace murmo
