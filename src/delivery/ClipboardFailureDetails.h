#pragma once

#include <optional>
#include <string>

#include "delivery/ClipboardPaster.h"

namespace murmo {

// How a clipboard that could not be prepared is reported: event access
// refused is a permission failure, every other cause (or none known) says the
// clipboard path is unsupported here, with the cause as its code.
struct ClipboardFailureDetails {
    std::string outcome{};
    std::string code{};
    std::string message{};
    bool operator==(const ClipboardFailureDetails&) const = default;

    static ClipboardFailureDetails from(std::optional<ClipboardPreparationFailure> failure);
};

}  // namespace murmo
