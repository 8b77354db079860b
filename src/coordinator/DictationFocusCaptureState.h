#pragma once

// The generation guard of asynchronous focus-capture results: a result
// carries the generation it started under and counts only while that is
// still current. Every new operation, and the clearing of one, resets the
// generation, so a capture still in flight can never act on a later
// operation.

#include <optional>
#include <string>

#include "runtime/Ids.h"

namespace murmo {

class DictationFocusCaptureState {
public:
    explicit DictationFocusCaptureState(IdGenerator& ids) : ids_(&ids), generation_(ids.uuid()) {}

    // A new generation, and the release capture not yet begun.
    void reset() {
        generation_ = ids_->uuid();
        releaseCaptured_ = false;
    }

    bool accepts(const std::string& generation) const { return generation == generation_; }

    // The generation of the release capture, the first time only: it also
    // invalidates the captures begun before it.
    std::optional<std::string> beginReleaseCapture() {
        if (releaseCaptured_) return std::nullopt;
        releaseCaptured_ = true;
        generation_ = ids_->uuid();
        return generation_;
    }

    const std::string& generation() const { return generation_; }
    bool releaseCaptured() const { return releaseCaptured_; }

private:
    IdGenerator* ids_;
    std::string generation_;
    bool releaseCaptured_ = false;
};

}  // namespace murmo
