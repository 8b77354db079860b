#pragma once

#include <string_view>

namespace murmo {

// One row of a failure table: how a failure is reported.
struct FailureText {
    // The precise snake_case cause reported to the engine.
    std::string_view reasonCode;
    // The fixed English sentence.
    std::string_view errorDescription;
    // The coarse delivery outcome the failure amounts to.
    std::string_view deliveryOutcome;
};

}  // namespace murmo
