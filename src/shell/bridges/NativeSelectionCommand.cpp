#include "shell/bridges/NativeSelectionCommand.h"

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

std::optional<NativeSelectionCommand> NativeSelectionCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"action"})) return std::nullopt;
    if (object->string("action") != "read") return std::nullopt;
    return NativeSelectionCommand{};
}

}  // namespace murmo
