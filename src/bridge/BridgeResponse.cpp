#include "bridge/BridgeResponse.h"

#include "runtime/JsonRead.h"

namespace murmo::bridge {

Envelope BridgeResponse::success(const std::string& id, Json result) {
    return Json{{"id", id}, {"ok", true}, {"result", std::move(result)}};
}

Envelope BridgeResponse::failure(const std::optional<std::string>& id, const BridgeFailure& failure) {
    return Json{{"id", id ? Json(*id) : Json(nullptr)},
                {"ok", false},
                {"error", Json{{"code", failure.code}, {"message", failure.message}}}};
}

Result<std::string> serializeJSON(const Json& value) {
    // Objects keep their keys sorted, so the dump is already in key order.
    auto compact = json::dump(value);
    if (!compact) return compact;
    // A slash can only stand inside a string in JSON text, so escaping every
    // one in the dump escapes exactly the slashes inside strings.
    std::string escaped;
    escaped.reserve(compact->size());
    for (char c : *compact) {
        if (c == '/') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string responseLine(const Envelope& envelope) {
    auto line = serializeJSON(envelope);
    if (!line) return std::string(kSerializationFailedLine);
    return std::move(*line);
}

}  // namespace murmo::bridge
