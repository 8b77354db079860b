#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/BridgeFailure.h"
#include "bridge/SystemLocale.h"

namespace murmo::bridge {

inline constexpr std::size_t kMaximumRequestBytes = 0x40000;  // 262,144
inline constexpr std::size_t kMaximumIDBytes = 128;
inline constexpr std::size_t kMaximumLocaleBytes = 128;
inline constexpr std::size_t kMaximumInstructionsBytes = 0x10000;  // 65,536
inline constexpr std::size_t kMaximumPromptBytes = 0x20000;        // 131,072
inline constexpr std::int64_t kMinimumResponseTokens = 1;
inline constexpr std::int64_t kMaximumResponseTokens = 4096;

// In this order: the first two are the text-rewriting purposes.
enum class RequestPurpose { dictation, transform, help, quickAgent };

std::string_view wireValue(RequestPurpose purpose);
bool isTextRewriting(RequestPurpose purpose);

// Reads a purpose word; no word at all means help.
BridgeResult<RequestPurpose> requestPurpose(const std::optional<std::string>& value);

enum class StructuredResponseKind { agentAnswerV1 };

// What a model session is made for. A kept warm session serves only a
// request with an equal identity.
struct SessionIdentity {
    RequestPurpose purpose = RequestPurpose::help;
    std::string localeIdentifier;
    std::string instructions;

    bool operator==(const SessionIdentity&) const = default;
};

struct GenerationRequest {
    SessionIdentity sessionIdentity;
    std::string prompt;
    std::int64_t maximumTokens = 0;
    std::optional<StructuredResponseKind> structuredResponse;
};

// One accepted request line. The readers take the action's own fields out of
// the decoded object; none of them changes anything.
struct BridgeRequest {
    BridgeRequest(std::string id, std::string action, nlohmann::json object)
        : id(std::move(id)), action(std::move(action)), object(std::move(object)) {}
    // Never copied: copying a decoded value recurses once per level of
    // nesting, and a request line may nest deeply.
    BridgeRequest(const BridgeRequest&) = delete;
    BridgeRequest& operator=(const BridgeRequest&) = delete;
    BridgeRequest(BridgeRequest&&) = default;
    BridgeRequest& operator=(BridgeRequest&&) = default;

    std::string id;
    // One of "status", "prepare", "warmup", "generate", "unload",
    // "open_settings".
    std::string action;
    nlohmann::json object;

    // The first of `keys` that holds a string.
    std::optional<std::string> stringField(std::initializer_list<std::string_view> keys) const;
    // The first of `keys` that holds a number (a Boolean is not one).
    const nlohmann::json* numberField(std::initializer_list<std::string_view> keys) const;

    std::optional<std::string> purposeField() const;
    BridgeResult<RequestPurpose> purpose() const;
    BridgeResult<std::string> effectiveLocaleIdentifier(const SystemLocale& systemLocale) const;
    BridgeResult<SessionIdentity> warmupIdentity(const SystemLocale& systemLocale) const;
    BridgeResult<GenerationRequest> generationRequest(const SystemLocale& systemLocale) const;
    BridgeResult<std::optional<StructuredResponseKind>> structuredResponseKind(RequestPurpose purpose) const;
};

// Checks size, JSON form, protocol version, id and action, in this order.
BridgeResult<BridgeRequest> parseRequest(std::string_view line);

// A JSON number read as an integer by truncation toward zero, when that
// integer lies within [minimum, maximum]. A number too large for any integer
// is simply out of range.
std::optional<std::int64_t> truncatedInteger(const nlohmann::json& number, std::int64_t minimum, std::int64_t maximum);

}  // namespace murmo::bridge
