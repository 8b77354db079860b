#include "bridge/BridgeRequest.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "runtime/JsonRead.h"
#include "runtime/Unicode.h"

namespace murmo::bridge {

namespace {

using Json = nlohmann::json;

constexpr std::array<std::string_view, 6> kActions{"status",   "prepare", "warmup",
                                                   "generate", "unload",  "open_settings"};

// Lower-cases ASCII letters and turns every "-" into "_": "Open-Settings"
// reads as "open_settings".
std::string normalizedWord(std::string_view word) {
    std::string result(word);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '-') c = '_';
    }
    return result;
}

bool equalsIgnoringASCIICase(std::string_view text, std::string_view lowerCase) {
    return std::ranges::equal(text, lowerCase, [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

bool isLocaleCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

const Json* firstValue(const Json& object, std::initializer_list<std::string_view> keys, bool (*accepts)(const Json&)) {
    for (auto key : keys) {
        auto found = object.find(key);
        if (found != object.end() && accepts(*found)) return &*found;
    }
    return nullptr;
}

BridgeResult<std::string> instructionsOf(const BridgeRequest& request) {
    auto instructions = request.stringField({"instructions", "system_prompt", "system"}).value_or("");
    if (instructions.size() > kMaximumInstructionsBytes) return refuse(BridgeFailureKind::instructionsTooLarge);
    return instructions;
}

// Purpose, locale and instructions, in this order: what warm-up and
// generation read alike.
BridgeResult<SessionIdentity> sessionIdentityOf(const BridgeRequest& request, const SystemLocale& systemLocale) {
    auto purpose = request.purpose();
    if (!purpose) return std::unexpected(purpose.error());
    auto locale = request.effectiveLocaleIdentifier(systemLocale);
    if (!locale) return std::unexpected(locale.error());
    auto instructions = instructionsOf(request);
    if (!instructions) return std::unexpected(instructions.error());
    return SessionIdentity{*purpose, std::move(*locale), std::move(*instructions)};
}

std::int64_t defaultResponseTokens(RequestPurpose purpose) { return isTextRewriting(purpose) ? 2048 : 1024; }

}  // namespace

std::string_view wireValue(RequestPurpose purpose) {
    switch (purpose) {
        case RequestPurpose::dictation: return "dictation";
        case RequestPurpose::transform: return "transform";
        case RequestPurpose::help: return "help";
        case RequestPurpose::quickAgent: return "quick_agent";
    }
    return "help";
}

bool isTextRewriting(RequestPurpose purpose) {
    return purpose == RequestPurpose::dictation || purpose == RequestPurpose::transform;
}

BridgeResult<RequestPurpose> requestPurpose(const std::optional<std::string>& value) {
    if (!value) return RequestPurpose::help;
    const auto word = normalizedWord(*value);
    if (word.empty() || word == "help" || word == "assistant" || word == "chat") return RequestPurpose::help;
    if (word == "agent" || word == "agent_answer" || word == "quick_agent") return RequestPurpose::quickAgent;
    if (word == "dictation" || word == "dictate" || word == "dictation_postprocess" || word == "postprocess") {
        return RequestPurpose::dictation;
    }
    if (word == "transform" || word == "explicit_transform" || word == "rewrite") return RequestPurpose::transform;
    return refuse(BridgeFailureKind::unsupportedPurpose);
}

std::optional<std::int64_t> truncatedInteger(const Json& number, std::int64_t minimum, std::int64_t maximum) {
    std::int64_t value = 0;
    if (number.is_number_unsigned()) {
        const auto unsignedValue = number.get<std::uint64_t>();
        if (maximum < 0 || unsignedValue > static_cast<std::uint64_t>(maximum)) return std::nullopt;
        value = static_cast<std::int64_t>(unsignedValue);
    } else if (number.is_number_integer()) {
        value = number.get<std::int64_t>();
    } else if (number.is_number_float()) {
        const double truncated = std::trunc(number.get<double>());
        // Only a double inside [-2^63, 2^63) converts to an integer; anything
        // else (1e300, say) is out of every range.
        constexpr double kTwoToThe63 = 9223372036854775808.0;
        if (!(truncated >= -kTwoToThe63 && truncated < kTwoToThe63)) return std::nullopt;
        value = static_cast<std::int64_t>(truncated);
    } else {
        return std::nullopt;
    }
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

std::optional<std::string> BridgeRequest::stringField(std::initializer_list<std::string_view> keys) const {
    const Json* value = firstValue(object, keys, [](const Json& v) { return v.is_string(); });
    if (!value) return std::nullopt;
    return value->get<std::string>();
}

const Json* BridgeRequest::numberField(std::initializer_list<std::string_view> keys) const {
    return firstValue(object, keys, [](const Json& v) { return v.is_number(); });
}

std::optional<std::string> BridgeRequest::purposeField() const {
    return stringField({"purpose", "operation", "mode", "task"});
}

BridgeResult<RequestPurpose> BridgeRequest::purpose() const { return requestPurpose(purposeField()); }

BridgeResult<std::string> BridgeRequest::effectiveLocaleIdentifier(const SystemLocale& systemLocale) const {
    std::string candidate;
    if (auto given = stringField({"locale", "locale_identifier", "language"})) {
        candidate = unicode::trimWhitespaceAndNewlines(*given);
    }
    if (candidate.empty() || equalsIgnoringASCIICase(candidate, "auto")) candidate = systemLocale.currentIdentifier();
    // The system's own identifier is held to the same rule.
    if (candidate.size() > kMaximumLocaleBytes || !std::ranges::all_of(candidate, isLocaleCharacter)) {
        return refuse(BridgeFailureKind::invalidLocale);
    }
    // Identifiers travel in their hyphenated form ("en_US" as "en-US"); this
    // platform's locales keep an identifier as they are given it.
    std::ranges::replace(candidate, '_', '-');
    return candidate;
}

BridgeResult<SessionIdentity> BridgeRequest::warmupIdentity(const SystemLocale& systemLocale) const {
    auto identity = sessionIdentityOf(*this, systemLocale);
    if (!identity) return identity;
    // The prefix is only held to its limit; the session is prewarmed without it.
    auto prefix = stringField({"prompt_prefix"});
    if (prefix && prefix->size() > kMaximumPromptBytes) return refuse(BridgeFailureKind::promptPrefixTooLarge);
    return identity;
}

BridgeResult<GenerationRequest> BridgeRequest::generationRequest(const SystemLocale& systemLocale) const {
    auto identity = sessionIdentityOf(*this, systemLocale);
    if (!identity) return std::unexpected(identity.error());

    auto prompt = stringField({"prompt", "input", "input_text", "text"});
    if (!prompt || prompt->empty()) return refuse(BridgeFailureKind::invalidPrompt);
    if (prompt->size() > kMaximumPromptBytes) return refuse(BridgeFailureKind::promptTooLarge);

    std::int64_t maximumTokens = defaultResponseTokens(identity->purpose);
    if (const Json* limit = numberField({"max_output_tokens", "maximum_response_tokens", "max_tokens"})) {
        auto value = truncatedInteger(*limit, kMinimumResponseTokens, kMaximumResponseTokens);
        if (!value) return refuse(BridgeFailureKind::invalidMaxOutputTokens);
        maximumTokens = *value;
    }

    auto structured = structuredResponseKind(identity->purpose);
    if (!structured) return std::unexpected(structured.error());
    return GenerationRequest{std::move(*identity), std::move(*prompt), maximumTokens, *structured};
}

BridgeResult<std::optional<StructuredResponseKind>> BridgeRequest::structuredResponseKind(
    RequestPurpose purpose) const {
    auto schema = stringField({"response_schema"});
    if (!schema || schema->empty()) return std::optional<StructuredResponseKind>{};
    if (*schema == "agent_answer_v1" && purpose == RequestPurpose::quickAgent) {
        return std::optional<StructuredResponseKind>{StructuredResponseKind::agentAnswerV1};
    }
    return refuse(BridgeFailureKind::unsupportedResponseSchema);
}

BridgeResult<BridgeRequest> parseRequest(std::string_view line) {
    if (line.empty() || line.size() > kMaximumRequestBytes) return refuse(BridgeFailureKind::invalidRequestSize);
    // JSON text never holds a raw NUL, not even inside a string, and the
    // decoder would take one for the end of its input and accept the line up
    // to it, ignoring whatever follows.
    if (line.find('\0') != std::string_view::npos) return refuse(BridgeFailureKind::invalidJSON);

    auto decoded = json::parse(line);
    // Like the engine's own JSON reader, only an object or an array counts as
    // a JSON document at the top level.
    if (!decoded || !(decoded->is_object() || decoded->is_array())) return refuse(BridgeFailureKind::invalidJSON);
    if (!decoded->is_object()) return refuse(BridgeFailureKind::requestNotAnObject);
    BridgeRequest request("", "", std::move(*decoded));

    // The first key holding a number decides, even when it is not 1.
    const Json* version = request.numberField({"protocol_version", "protocolVersion"});
    if (!version || truncatedInteger(*version, 1, 1) != 1) return refuse(BridgeFailureKind::unsupportedProtocol);

    auto id = request.stringField({"id", "request_id"});
    if (!id || id->empty() || id->size() > kMaximumIDBytes) return refuse(BridgeFailureKind::invalidID);

    auto action = request.stringField({"action", "command", "type"});
    if (!action) return refuse(BridgeFailureKind::invalidAction);
    auto normalized = normalizedWord(*action);
    if (std::ranges::find(kActions, normalized) == kActions.end()) return refuse(BridgeFailureKind::unsupportedAction);

    request.id = std::move(*id);
    request.action = std::move(normalized);
    return request;
}

}  // namespace murmo::bridge
