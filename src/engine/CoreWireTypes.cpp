#include "engine/CoreWireTypes.h"

#include <cmath>
#include <limits>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

// Unwraps a Result<T> into `target`, or returns its error from the enclosing
// decoder.
#define MURMO_READ(target, expression)                  \
    do {                                                \
        auto murmoRead = (expression);                  \
        if (!murmoRead) return fail(murmoRead.error()); \
        target = std::move(*murmoRead);                 \
    } while (false)

Result<json::Json> parseObjectText(std::string_view text) { return json::parseObject(text); }

// A non-negative integer that fits in 64 bits. The shared readers stop at the
// signed range, and uptimes may use the whole unsigned one.
Result<std::optional<std::uint64_t>> optionalUInt64(const json::Json& object, std::string_view key) {
    const auto outOfRange = [&] {
        return fail(
            json::jsonError(json::JsonErrorCode::outOfRange, "key \"" + std::string(key) + "\" is out of range"));
    };
    if (!object.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::optional<std::uint64_t>{};
    if (found->is_number_unsigned()) return std::optional<std::uint64_t>{found->get<std::uint64_t>()};
    if (found->is_number_integer()) {
        const auto value = found->get<std::int64_t>();
        if (value < 0) return outOfRange();
        return std::optional<std::uint64_t>{static_cast<std::uint64_t>(value)};
    }
    if (found->is_number_float()) {
        const double value = found->get<double>();
        if (!std::isfinite(value) || value != std::trunc(value)) {
            return fail(json::jsonError(json::JsonErrorCode::typeMismatch,
                                        "key \"" + std::string(key) + "\" is not an integer"));
        }
        // 2^64 itself does not fit; compare before converting.
        if (value < 0 || value >= 18446744073709551616.0) return outOfRange();
        return std::optional<std::uint64_t>{static_cast<std::uint64_t>(value)};
    }
    return fail(
        json::jsonError(json::JsonErrorCode::typeMismatch, "key \"" + std::string(key) + "\" is not an integer"));
}

Result<std::optional<JSONValue::Object>> optionalJSONObject(const json::Json& object, std::string_view key) {
    auto value = json::optionalObject(object, key);
    if (!value) return fail(value.error());
    if (!*value) return std::optional<JSONValue::Object>{};
    auto decoded = JSONValue::objectFromJSON(**value);
    if (!decoded) return fail(decoded.error());
    return std::optional<JSONValue::Object>{std::move(*decoded)};
}

// An optional nested object decoded with its own type's reader.
template <class T>
Result<std::optional<T>> optionalNested(const json::Json& object, std::string_view key) {
    auto value = json::optionalObject(object, key);
    if (!value) return fail(value.error());
    if (!*value) return std::optional<T>{};
    auto decoded = T::fromJSON(**value);
    if (!decoded) return fail(decoded.error());
    return std::optional<T>{std::move(*decoded)};
}

bool isControlOrFormat(char32_t codePoint) { return unicode::isControl(codePoint) || unicode::isFormat(codePoint); }

}  // namespace

Result<CoreEvent> CoreEvent::fromJSON(const json::Json& object) {
    if (!object.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    CoreEvent event;
    MURMO_READ(event.sequence, json::requiredInteger<std::int64_t>(object, "sequence"));
    MURMO_READ(event.type, json::requiredString(object, "type"));
    MURMO_READ(event.qos, json::requiredString(object, "qos"));
    const json::Json* data = nullptr;
    MURMO_READ(data, json::requiredObject(object, "data"));
    MURMO_READ(event.data, JSONValue::objectFromJSON(*data));
    MURMO_READ(event.protocolVersion, json::requiredInteger<std::int64_t>(object, "protocol_version"));
    MURMO_READ(event.operationID, json::optionalString(object, "operation_id"));
    MURMO_READ(event.monotonicNanoseconds, optionalUInt64(object, "monotonic_ns"));
    return event;
}

Result<CoreEvent> CoreEvent::decode(std::string_view text) {
    auto object = parseObjectText(text);
    if (!object) return fail(object.error());
    return fromJSON(*object);
}

std::optional<std::string> RecordingTargetMetadataPolicy::sanitized(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    if (!unicode::isValidUTF8(*value)) return std::nullopt;
    auto trimmed = unicode::trimWhitespaceAndNewlines(*value);
    if (trimmed.empty() || trimmed.size() > maximumUTF8Length) return std::nullopt;
    const auto points = unicode::codePoints(trimmed);
    if (!points) return std::nullopt;
    for (char32_t point : *points) {
        if (isControlOrFormat(point)) return std::nullopt;
    }
    return trimmed;
}

RecordingPayload::RecordingPayload(std::string source, std::string operationID, MonotonicTime clientTime,
                                   std::optional<std::string> targetAppID, std::optional<std::string> targetAppName,
                                   std::optional<std::string> audioSource, std::optional<std::int64_t> audioSampleRate)
    : source(std::move(source)),
      operationID(std::move(operationID)),
      clientTime(clientTime),
      targetAppID(RecordingTargetMetadataPolicy::sanitized(targetAppID)),
      targetAppName(RecordingTargetMetadataPolicy::sanitized(targetAppName)),
      audioSource(std::move(audioSource)),
      audioSampleRate(audioSampleRate) {}

namespace {

template <class JsonType>
JsonType recordingBody(const RecordingPayload& payload) {
    JsonType body = JsonType::object();
    body["source"] = payload.source;
    body["operation_id"] = payload.operationID;
    body["client_monotonic_ns"] = toUptimeNanoseconds(payload.clientTime);
    if (payload.targetAppID) body["target_app_id"] = *payload.targetAppID;
    if (payload.targetAppName) body["target_app_name"] = *payload.targetAppName;
    if (payload.audioSource) body["audio_source"] = *payload.audioSource;
    if (payload.audioSampleRate) body["audio_sample_rate"] = *payload.audioSampleRate;
    return body;
}

// Strict serialisation of an ordered object: invalid UTF-8 fails instead of
// being replaced.
Result<std::string> dumpOrdered(const nlohmann::ordered_json& value) {
    try {
        return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (const nlohmann::ordered_json::exception& error) {
        return fail(json::jsonError(json::JsonErrorCode::invalidJSON, error.what()));
    }
}

}  // namespace

json::Json RecordingPayload::requestBody() const { return recordingBody<json::Json>(*this); }

Result<std::string> RecordingPayload::encoded() const {
    return dumpOrdered(recordingBody<nlohmann::ordered_json>(*this));
}

Result<DictationCommandResponse> DictationCommandResponse::fromJSON(const json::Json& object) {
    if (!object.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    DictationCommandResponse response;
    MURMO_READ(response.phase, json::optionalString(object, "phase"));
    MURMO_READ(response.operationID, json::optionalString(object, "operation_id"));
    MURMO_READ(response.finalText, json::optionalString(object, "final_text"));
    MURMO_READ(response.agentAnswer, optionalJSONObject(object, "agent_answer"));
    MURMO_READ(response.errorMessage, json::optionalString(object, "error"));
    MURMO_READ(response.reasonCode, json::optionalString(object, "reason_code"));
    MURMO_READ(response.messageKey, json::optionalString(object, "message_key"));
    return response;
}

Result<DictationCommandResponse> DictationCommandResponse::decode(std::string_view text) {
    auto object = parseObjectText(text);
    if (!object) return fail(object.error());
    return fromJSON(*object);
}

Result<std::string> DeliveryResultPayload::encoded() const {
    if (!std::isfinite(elapsedMilliseconds)) {
        return fail(json::jsonError(json::JsonErrorCode::invalidJSON, "\"elapsed_ms\" is not a finite number"));
    }
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["outcome"] = outcome;
    body["method"] = method;
    body["verified"] = verified;
    body["target_id"] = targetID;
    body["reason_code"] = reasonCode;
    body["elapsed_ms"] = elapsedMilliseconds;
    return dumpOrdered(body);
}

Result<BackgroundNoiseReductionStatus> BackgroundNoiseReductionStatus::fromJSON(const json::Json& object) {
    if (!object.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    BackgroundNoiseReductionStatus status;
    MURMO_READ(status.available, json::optionalBool(object, "available"));
    return status;
}

Result<ShortcutSettingsResponse> ShortcutSettingsResponse::fromJSON(const json::Json& object) {
    if (!object.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    ShortcutSettingsResponse settings;
    MURMO_READ(settings.fastModeEnabled, json::optionalBool(object, "fast_mode_enabled"));
    MURMO_READ(settings.liveDictationEnabled, json::optionalBool(object, "live_dictation_enabled"));
    MURMO_READ(settings.autoInject, json::optionalBool(object, "auto_inject"));
    MURMO_READ(settings.hotkeyEnabled, json::optionalBool(object, "hotkey_enabled"));
    MURMO_READ(settings.nativeShortcut, optionalNested<ShortcutSpecPayload>(object, "native_shortcut"));
    MURMO_READ(settings.backgroundNoiseReductionEnabled,
               json::optionalBool(object, "background_noise_reduction_enabled"));
    MURMO_READ(settings.audioDevice, json::optionalInteger<std::int64_t>(object, "audio_device"));
    MURMO_READ(settings.audioDeviceName, json::optionalString(object, "audio_device_name"));
    MURMO_READ(settings.backgroundNoiseReduction,
               optionalNested<BackgroundNoiseReductionStatus>(object, "background_noise_reduction"));
    MURMO_READ(settings.agentModeEnabled, json::optionalBool(object, "agent_mode_enabled"));
    MURMO_READ(settings.agentActivationPolicy, json::optionalString(object, "agent_activation_policy"));
    MURMO_READ(settings.agentNativeShortcut, optionalNested<ShortcutSpecPayload>(object, "agent_native_shortcut"));
    MURMO_READ(settings.agentResponseMode, json::optionalString(object, "agent_response_mode"));
    MURMO_READ(settings.agentTTSVoice, json::optionalString(object, "agent_tts_voice"));
    MURMO_READ(settings.agentTTSRate, json::optionalDouble(object, "agent_tts_rate"));
    return settings;
}

Result<ShortcutSettingsResponse> ShortcutSettingsResponse::decode(std::string_view text) {
    auto object = parseObjectText(text);
    if (!object) return fail(object.error());
    return fromJSON(*object);
}

#undef MURMO_READ

}  // namespace murmo
