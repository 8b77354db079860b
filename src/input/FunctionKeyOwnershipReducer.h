#pragma once

#include "input/Shortcut.h"

namespace murmo {

// Whether a lone Fn/Globe press, and then its release, are swallowed: both
// are, so the system's own Globe action never runs, while Fn/Globe pressed
// with another modifier passes untouched.
class FunctionKeyOwnershipReducer {
public:
    bool shouldSuppress(const KeyboardSample& sample);
    void reset() { ownsSequence_ = false; }

    // A lone press was swallowed and its release is still to be swallowed.
    bool ownsSequence() const { return ownsSequence_; }

private:
    bool ownsSequence_ = false;
};

}  // namespace murmo
