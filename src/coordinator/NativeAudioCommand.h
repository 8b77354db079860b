#pragma once

// One command of the dashboard page about recording through the
// application's microphone, as the audio bridge checked it.

#include <string>

namespace murmo {

struct NativeAudioCommand {
    enum class Action { begin, end, cancel };

    Action action = Action::begin;
    // The page's operation, as lower-case UUID text.
    std::string operationID;

    bool operator==(const NativeAudioCommand&) const = default;
};

}  // namespace murmo
