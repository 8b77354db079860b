#pragma once

// The one request the dashboard makes of the selection bridge: read the text
// the user has selected in the application they were using before. It exists
// only for a body that is exactly {"action": "read"}.

#include <optional>

#include "runtime/JsonRead.h"

namespace murmo {

struct NativeSelectionCommand {
    static std::optional<NativeSelectionCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativeSelectionCommand&) const = default;
};

}  // namespace murmo
