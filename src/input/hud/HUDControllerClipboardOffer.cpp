// The clipboard offer: when dictated text could not be delivered, the HUD
// shows why with a Copy button. It is the only copy of the user's words in
// front of them, so Copy replaces the clipboard in one step: a refused write
// leaves what the user had there, and the offer stays for another try.

#include <algorithm>
#include <cmath>

#include "input/hud/HUDController.h"

namespace murmo {

namespace {
using Kind = HUDMode::Kind;
}  // namespace

void HUDController::showClipboard(std::string text, HUDClipboardFailure failure, HUDSeconds duration,
                                  Callback onCopied) {
    if (shuttingDown_) return;
    clipboardText_ = std::move(text);
    copied_ = std::move(onCopied);
    // +∞ never hides; NaN and negative delays hide at once, as 0 does.
    std::optional<HUDSeconds> autoHide;
    if (!(std::isinf(duration.count()) && duration.count() > 0)) {
        autoHide = duration > HUDSeconds::zero() ? duration : HUDSeconds::zero();
    }
    presentClipboardFailure(failure, autoHide);
}

void HUDController::presentClipboardFailure(HUDClipboardFailure failure, std::optional<HUDSeconds> autoHideAfter) {
    currentClipboardFailure_ = failure;
    clipboardOfferActive_ = true;
    clipboardAutoHideEnabled_ = autoHideAfter.has_value();
    const auto mode = HUDMode::of(Kind::clipboard);
    // Another presentation ends an answer: its monitor and callbacks go.
    stopOutsideClickMonitoring();
    clearAgentCallbacks();
    policy_.presentTransient(mode);
    surface_.setClickThrough(false);
    transition(
        mode, false,
        [this, failure] {
            waveform_->stop();
            state_.dots.stop();
            auto& content = state_.content;
            content.resetAccessories();
            content.primaryLabel.text = clipboardFailureText(failure, applicationLanguage_, languages()).message;
            content.primaryLabel.hidden = false;
            content.secondaryLabel.text.clear();
            content.iconSymbol.reset();
            content.copyButton.hidden = false;
        },
        [this, failure, autoHideAfter] {
            announce(clipboardFailureText(failure, applicationLanguage_, languages()).accessibilityAnnouncement);
            if (!autoHideAfter) return;
            if (panelHovering_) {
                // The hide starts when the pointer leaves.
                remainingHideDuration_ = *autoHideAfter;
            } else {
                scheduleHide(*autoHideAfter);
            }
        });
}

void HUDController::clipboardHoverChanged(bool hovering) {
    panelHovering_ = hovering;
    if (!clipboardOfferActive_ || !clipboardAutoHideEnabled_) return;
    if (!hovering) {
        scheduleHide(remainingHideDuration_ > HUDSeconds::zero() ? remainingHideDuration_ : kClipboardHoverResumeDelay);
        return;
    }
    if (hideDeadline_) {
        // Monotonic: a clock set back neither stretches nor cuts the pause.
        const HUDSeconds left = *hideDeadline_ - now();
        remainingHideDuration_ = std::max(left, kMinimumHoverRemainder);
        hideWork_.reset();
        hideDeadline_.reset();
    }
}

void HUDController::copyNow() {
    if (!clipboardOfferActive_ || clipboardText_.empty()) return;
    state_.chrome.impulse(reduceMotion(), now());
    surface_.setNeedsDisplay();
    if (!pasteboard_.replaceContents({PasteboardItem::plainText(clipboardText_)})) {
        presentClipboardFailure(HUDClipboardFailure::copy, std::nullopt);
        return;
    }
    clipboardText_.clear();
    if (auto copied = std::exchange(copied_, nullptr)) copied();
    clipboardOfferActive_ = false;
    clipboardAutoHideEnabled_ = false;
    if (!shuttingDown_) showSuccess(HUDSuccessKind::copied);
}

}  // namespace murmo
