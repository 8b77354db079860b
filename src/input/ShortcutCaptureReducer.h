#pragma once

#include <optional>

#include "input/Shortcut.h"

namespace murmo {

// The one result of a shortcut capture.
struct ShortcutCaptureAction {
    enum class Kind { completed, cancelled };

    Kind kind = Kind::cancelled;
    // The captured shortcut; present exactly when completed.
    std::optional<ShortcutChoice> choice;

    static ShortcutCaptureAction completed(ShortcutChoice choice) { return {Kind::completed, choice}; }
    static ShortcutCaptureAction cancelled() { return {Kind::cancelled, std::nullopt}; }

    bool operator==(const ShortcutCaptureAction&) const = default;
};

// Turns the keys the user presses while recording a new shortcut into exactly
// one result: Escape cancels; a key with Command, Option, Control or Shift (and
// Fn/Globe up) completes a chord; Fn/Globe pressed and released alone, with
// nothing else in between, completes the Fn/Globe shortcut.
class ShortcutCaptureReducer {
public:
    std::optional<ShortcutCaptureAction> reduce(const KeyboardSample& sample);
    // The system switched the tap off: an unfinished capture ends cancelled.
    // A finished one has already given its result and stays quiet.
    std::optional<ShortcutCaptureAction> tapDisabled();

    bool functionDown() const { return functionDown_; }
    bool functionCandidate() const { return functionCandidate_; }
    bool finished() const { return finished_; }

private:
    std::optional<ShortcutCaptureAction> reduceKeyDown(const KeyboardSample& sample);
    std::optional<ShortcutCaptureAction> reduceFlagsChanged(const KeyboardSample& sample);
    ShortcutCaptureAction finish(ShortcutCaptureAction action);

    bool functionDown_ = false;
    bool functionCandidate_ = false;
    bool finished_ = false;
};

}  // namespace murmo
