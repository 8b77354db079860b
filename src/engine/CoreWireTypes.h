#pragma once

// The values that cross between the application and the engine over HTTP and
// the event socket. Keys are snake_case and read exactly as written here; a
// key a type does not list is ignored. Replies are read strictly: a key that
// is absent or null is "not given", a key of the wrong type fails the whole
// value. Request bodies leave an absent optional key out; it is never sent as
// null.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/JSONValue.h"
#include "input/ShortcutSpecPayload.h"
#include "runtime/Clock.h"
#include "runtime/Error.h"
#include "runtime/JsonRead.h"

namespace murmo {

// One event pushed by the engine on the event socket. Which versions,
// sequences and qualities of service count is the socket's decision.
struct CoreEvent {
    std::int64_t protocolVersion = 0;
    std::int64_t sequence = 0;
    std::string type;
    std::string qos;
    JSONValue::Object data;
    std::optional<std::string> operationID;
    std::optional<std::uint64_t> monotonicNanoseconds;

    static Result<CoreEvent> fromJSON(const json::Json& object);
    static Result<CoreEvent> decode(std::string_view text);
};

// The rule for the target application's identity before it is sent: what the
// engine could not use, or what could smuggle control characters into its
// logs, is left out rather than cut.
namespace RecordingTargetMetadataPolicy {

// Bytes of UTF-8, not characters.
inline constexpr std::size_t maximumUTF8Length = 255;

// Trimmed of Unicode white space and line breaks; absent when that leaves
// nothing, more than 255 bytes, a control or format character, or text that is
// not valid UTF-8.
std::optional<std::string> sanitized(const std::optional<std::string>& value);

}  // namespace RecordingTargetMetadataPolicy

// The body that starts a dictation or agent operation and, reduced to its
// first three fields, releases it.
struct RecordingPayload {
    std::string source;
    std::string operationID;
    MonotonicTime clientTime;
    std::optional<std::string> targetAppID;
    std::optional<std::string> targetAppName;
    std::optional<std::string> audioSource;
    std::optional<std::int64_t> audioSampleRate;

    // The two target fields pass through RecordingTargetMetadataPolicy.
    RecordingPayload(std::string source, std::string operationID, MonotonicTime clientTime,
                     std::optional<std::string> targetAppID = std::nullopt,
                     std::optional<std::string> targetAppName = std::nullopt,
                     std::optional<std::string> audioSource = std::nullopt,
                     std::optional<std::int64_t> audioSampleRate = std::nullopt);

    // The object the client sends. "client_monotonic_ns" is the client time
    // in nanoseconds of uptime, an integer, so uptimes above 2^53 keep every
    // digit.
    json::Json requestBody() const;
    // The same keys as text, in declaration order.
    Result<std::string> encoded() const;
};

// The engine's reply to the dictation and agent commands. Every field is
// optional.
struct DictationCommandResponse {
    std::optional<std::string> phase;
    std::optional<std::string> operationID;
    std::optional<std::string> finalText;
    std::optional<JSONValue::Object> agentAnswer;
    // Read from "error".
    std::optional<std::string> errorMessage;
    std::optional<std::string> reasonCode;
    std::optional<std::string> messageKey;

    static Result<DictationCommandResponse> fromJSON(const json::Json& object);
    static Result<DictationCommandResponse> decode(std::string_view text);
};

// How a final text was delivered, reported back to the engine.
struct DeliveryResultPayload {
    std::string targetID;
    std::string outcome;
    std::string method;
    std::string reasonCode;
    bool verified = false;
    double elapsedMilliseconds = 0;

    // Keys in the order "outcome", "method", "verified", "target_id",
    // "reason_code", "elapsed_ms". Fails, rather than sending something else,
    // when the elapsed time is not finite or a text is not valid UTF-8.
    Result<std::string> encoded() const;
};

struct BackgroundNoiseReductionStatus {
    std::optional<bool> available;

    static Result<BackgroundNoiseReductionStatus> fromJSON(const json::Json& object);
};

// The engine's dictation settings. Every field is optional.
// "background_noise_reduction_enabled" is the user's setting;
// "background_noise_reduction" says whether the feature is available.
struct ShortcutSettingsResponse {
    std::optional<bool> fastModeEnabled;
    std::optional<bool> liveDictationEnabled;
    std::optional<bool> autoInject;
    std::optional<bool> hotkeyEnabled;
    std::optional<ShortcutSpecPayload> nativeShortcut;
    std::optional<bool> backgroundNoiseReductionEnabled;
    std::optional<std::int64_t> audioDevice;
    std::optional<std::string> audioDeviceName;
    std::optional<BackgroundNoiseReductionStatus> backgroundNoiseReduction;
    std::optional<bool> agentModeEnabled;
    std::optional<std::string> agentActivationPolicy;
    std::optional<ShortcutSpecPayload> agentNativeShortcut;
    std::optional<std::string> agentResponseMode;
    std::optional<std::string> agentTTSVoice;
    std::optional<double> agentTTSRate;

    static Result<ShortcutSettingsResponse> fromJSON(const json::Json& object);
    static Result<ShortcutSettingsResponse> decode(std::string_view text);
};

}  // namespace murmo
