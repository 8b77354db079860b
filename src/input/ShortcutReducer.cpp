#include "input/ShortcutReducer.h"

namespace murmo {

std::optional<ShortcutAction> ShortcutReducer::reduce(const KeyboardSample& sample) {
    return shortcut_.isFunction() ? reduceFunction(sample) : reduceChord(sample);
}

std::optional<ShortcutAction> ShortcutReducer::reduceFunction(const KeyboardSample& sample) {
    const bool functionHeld = sample.modifiers.contains(ShortcutModifiers::function);
    const bool isFunctionKeyChange =
        sample.kind == KeyboardEventKind::flagsChanged && sample.keyCode == kFunctionKeyCode;

    if (suppressFnUntilRelease_) {
        // A cancelled press stays cancelled until the key is up, so the rest of
        // that press can never start a dictation.
        if (!functionHeld) suppressFnUntilRelease_ = false;
        return std::nullopt;
    }
    if (!active_) {
        if (isFunctionKeyChange && sample.modifiers == ShortcutModifiers::function) {
            active_ = true;
            return ShortcutAction::pressed;
        }
        return std::nullopt;
    }
    // Another modifier or a key joining Fn/Globe means the user is typing a
    // system shortcut with it, not dictating.
    const bool joinedByModifier = functionHeld && sample.modifiers.intersects(kChordModifiers);
    const bool joinedByKey = sample.kind == KeyboardEventKind::keyDown && !sample.isRepeat;
    if (joinedByModifier || joinedByKey) {
        active_ = false;
        suppressFnUntilRelease_ = true;
        return ShortcutAction::cancelled;
    }
    if (isFunctionKeyChange && !functionHeld) {
        active_ = false;
        return ShortcutAction::released;
    }
    return std::nullopt;
}

std::optional<ShortcutAction> ShortcutReducer::reduceChord(const KeyboardSample& sample) {
    const auto required = shortcut_.modifiers();
    if (active_) {
        // Releasing either the key or any required modifier ends the hold;
        // extra modifiers may come and go.
        const bool modifierReleased =
            sample.kind == KeyboardEventKind::flagsChanged && !sample.modifiers.contains(required);
        const bool keyReleased = sample.kind == KeyboardEventKind::keyUp && sample.keyCode == shortcut_.keyCode();
        if (modifierReleased || keyReleased) {
            active_ = false;
            return ShortcutAction::released;
        }
        return std::nullopt;
    }
    if (sample.kind == KeyboardEventKind::keyDown && !sample.isRepeat && sample.keyCode == shortcut_.keyCode() &&
        sample.modifiers.contains(required)) {
        active_ = true;
        return ShortcutAction::pressed;
    }
    return std::nullopt;
}

}  // namespace murmo
