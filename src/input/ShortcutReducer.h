#pragma once

#include <optional>

#include "input/Shortcut.h"

namespace murmo {

enum class ShortcutAction { pressed, released, cancelled };

// Press, release and cancel of one shortcut, from the keyboard samples alone.
class ShortcutReducer {
public:
    explicit ShortcutReducer(ShortcutChoice shortcut) : shortcut_(shortcut) {}

    std::optional<ShortcutAction> reduce(const KeyboardSample& sample);

    const ShortcutChoice& shortcut() const { return shortcut_; }
    // Between a press and its release or cancel.
    bool active() const { return active_; }
    // Fn/Globe shortcuts only: after a cancel, until the Fn/Globe key is up.
    bool suppressFnUntilRelease() const { return suppressFnUntilRelease_; }

private:
    std::optional<ShortcutAction> reduceFunction(const KeyboardSample& sample);
    std::optional<ShortcutAction> reduceChord(const KeyboardSample& sample);

    ShortcutChoice shortcut_;
    bool active_ = false;
    bool suppressFnUntilRelease_ = false;
};

}  // namespace murmo
