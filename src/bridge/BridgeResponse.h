#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

#include "bridge/BridgeFailure.h"
#include "runtime/Error.h"

namespace murmo::bridge {

using Json = nlohmann::json;

// A finished response: {"id", "ok", "result"} or {"id", "ok", "error"}.
using Envelope = Json;

struct BridgeResponse {
    static Envelope success(const std::string& id, Json result);
    // A null id for a request that was never accepted.
    static Envelope failure(const std::optional<std::string>& id, const BridgeFailure& failure);
};

// Written when an envelope cannot be serialised. Its keys keep this order on
// purpose: it is written as is, never through the serialiser.
inline constexpr std::string_view kSerializationFailedLine =
    R"({"id":null,"ok":false,"error":{"code":"serialization_failed","message":"The bridge response could not be serialized."}})";

// Compact JSON with the keys of every object in byte order and a backslash
// before every slash in strings, the form the engine has always read from the
// bridge. Fails on a string that is not valid UTF-8.
Result<std::string> serializeJSON(const Json& value);

// One response line without its line feed: the serialised envelope, or the
// fixed serialization_failed line.
std::string responseLine(const Envelope& envelope);

}  // namespace murmo::bridge
