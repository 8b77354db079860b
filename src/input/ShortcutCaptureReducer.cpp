#include "input/ShortcutCaptureReducer.h"

namespace murmo {

std::optional<ShortcutCaptureAction> ShortcutCaptureReducer::reduce(const KeyboardSample& sample) {
    if (finished_) return std::nullopt;
    switch (sample.kind) {
        case KeyboardEventKind::keyDown: return sample.isRepeat ? std::nullopt : reduceKeyDown(sample);
        case KeyboardEventKind::keyUp: return std::nullopt;
        case KeyboardEventKind::flagsChanged: return reduceFlagsChanged(sample);
    }
    return std::nullopt;
}

std::optional<ShortcutCaptureAction> ShortcutCaptureReducer::tapDisabled() {
    if (finished_) return std::nullopt;
    return finish(ShortcutCaptureAction::cancelled());
}

std::optional<ShortcutCaptureAction> ShortcutCaptureReducer::reduceKeyDown(const KeyboardSample& sample) {
    if (sample.keyCode == kEscapeKeyCode) return finish(ShortcutCaptureAction::cancelled());
    // Any key pressed while Fn/Globe is down means Fn/Globe is not meant alone.
    functionCandidate_ = false;
    // A key beyond what a shortcut can hold would be refused by everyone the
    // result goes to; the capture goes on instead.
    if (sample.keyCode >= kChordKeyCodeLimit) return std::nullopt;
    const auto held = sample.modifiers & kChordModifiers;
    if (!sample.modifiers.contains(ShortcutModifiers::function) && !isModifierKeyCode(sample.keyCode) &&
        !held.empty()) {
        return finish(ShortcutCaptureAction::completed(ShortcutChoice::chord(sample.keyCode, held)));
    }
    return std::nullopt;
}

std::optional<ShortcutCaptureAction> ShortcutCaptureReducer::reduceFlagsChanged(const KeyboardSample& sample) {
    const bool otherModifierHeld = sample.modifiers.intersects(kChordModifiers);
    if (sample.modifiers.contains(ShortcutModifiers::function)) {
        if (!functionDown_) {
            functionCandidate_ = !otherModifierHeld;
        } else if (otherModifierHeld) {
            functionCandidate_ = false;
        }
        functionDown_ = true;
        return std::nullopt;
    }
    if (!functionDown_) return std::nullopt;
    functionDown_ = false;
    if (!functionCandidate_) return std::nullopt;
    return finish(ShortcutCaptureAction::completed(ShortcutChoice::function()));
}

ShortcutCaptureAction ShortcutCaptureReducer::finish(ShortcutCaptureAction action) {
    functionDown_ = false;
    functionCandidate_ = false;
    finished_ = true;
    return action;
}

}  // namespace murmo
