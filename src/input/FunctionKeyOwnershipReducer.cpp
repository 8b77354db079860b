#include "input/FunctionKeyOwnershipReducer.h"

namespace murmo {

bool FunctionKeyOwnershipReducer::shouldSuppress(const KeyboardSample& sample) {
    if (sample.kind != KeyboardEventKind::flagsChanged || sample.keyCode != kFunctionKeyCode) return false;
    if (sample.modifiers.contains(ShortcutModifiers::function)) {
        ownsSequence_ = !sample.modifiers.intersects(kChordModifiers);
        return ownsSequence_;
    }
    if (ownsSequence_) {
        ownsSequence_ = false;
        return true;
    }
    return false;
}

}  // namespace murmo
