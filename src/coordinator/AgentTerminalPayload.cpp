#include "coordinator/AgentTerminalPayload.h"

#include <array>
#include <utility>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

using Object = JSONValue::Object;
using ValidationError = AgentTerminalValidationError;

constexpr std::array<std::string_view, 4> kReasonCodes{
    "agent_empty_output",
    "agent_output_invalid",
    "agent_question_echo",
    "agent_confirmation_invalid",
};

// One string made fit to keep: trimmed, and absent when nothing is left, when
// it is too long (dropped whole: a cut answer could say something else) or
// when it is not UTF-8 (nothing can show, speak or compare it faithfully).
std::optional<std::string> bounded(std::string_view value) {
    auto trimmed = unicode::trimWhitespaceAndNewlines(value);
    if (trimmed.empty() || trimmed.size() > AgentTerminalPayload::kMaximumTextBytes) return std::nullopt;
    if (!unicode::isValidUTF8(trimmed)) return std::nullopt;
    return trimmed;
}

std::optional<std::string> boundedMember(const Object& object, std::string_view key) {
    const auto* value = stringMember(object, key);
    return value ? bounded(*value) : std::nullopt;
}

// Events and replies may wrap the answer object; a bare answer object is its
// own outer object.
const Object& answerObjectOf(const Object& outer) {
    for (std::string_view key : {"agent_answer", "answer"}) {
        if (const auto* nested = objectMember(outer, key)) return *nested;
    }
    return outer;
}

std::optional<std::string> questionFor(const Object& outer, const Object& answerObject,
                                       std::optional<std::string_view> expectedQuestion) {
    if (expectedQuestion) {
        if (auto question = bounded(*expectedQuestion)) return question;
    }
    if (auto question = boundedMember(outer, "question")) return question;
    return boundedMember(answerObject, "question");
}

constexpr std::array<std::string_view, 4> kAnswerTextKeys{"answer", "display_text", "text", "spoken_text"};

// Bytes that are not UTF-8 where the answer should be are a broken answer,
// not a missing one.
bool holdsBrokenText(const Object& answerObject) {
    for (const auto key : kAnswerTextKeys) {
        const auto* value = stringMember(answerObject, key);
        if (value && !unicode::isValidUTF8(*value)) return true;
    }
    return false;
}

// The texts an answer object may carry, each bounded.
struct AnswerTexts {
    std::optional<std::string> answer;
    std::optional<std::string> display;
    std::optional<std::string> text;
    std::optional<std::string> spoken;

    explicit AnswerTexts(const Object& answerObject)
        : answer(boundedMember(answerObject, "answer")),
          display(boundedMember(answerObject, "display_text")),
          text(boundedMember(answerObject, "text")),
          spoken(boundedMember(answerObject, "spoken_text")) {}
};

bool absentOrEqual(const std::optional<std::string>& value, const std::string& expected) {
    return !value || *value == expected;
}

// Schema version 1: "answer" is the text; any other text given must repeat it.
std::expected<std::string, ValidationError> versionedAnswer(const AnswerTexts& texts, double version) {
    if (!texts.answer) {
        const bool anyOther = texts.display || texts.text || texts.spoken;
        return std::unexpected(anyOther ? ValidationError::unsafeAnswer : ValidationError::missingAnswer);
    }
    if (version != 1.0) return std::unexpected(ValidationError::unsafeAnswer);
    for (const auto* other : {&texts.display, &texts.text, &texts.spoken}) {
        if (!absentOrEqual(*other, *texts.answer)) return std::unexpected(ValidationError::unsafeAnswer);
    }
    return *texts.answer;
}

// No schema version: the display and spoken texts are both required and equal.
std::expected<std::string, ValidationError> plainAnswer(const AnswerTexts& texts) {
    if (texts.answer) return std::unexpected(ValidationError::unsafeAnswer);
    if (!texts.display) {
        const bool anyOther = texts.text || texts.spoken;
        return std::unexpected(anyOther ? ValidationError::unsafeAnswer : ValidationError::missingAnswer);
    }
    if (!texts.spoken || *texts.spoken != *texts.display) return std::unexpected(ValidationError::unsafeAnswer);
    if (!absentOrEqual(texts.text, *texts.display)) return std::unexpected(ValidationError::unsafeAnswer);
    return *texts.display;
}

std::expected<std::string, ValidationError> answerText(const Object& answerObject) {
    if (holdsBrokenText(answerObject)) return std::unexpected(ValidationError::unsafeAnswer);
    const AnswerTexts texts(answerObject);
    const auto* version = member(answerObject, "schema_version");
    if (const auto number = version ? version->number() : std::nullopt) return versionedAnswer(texts, *number);
    return plainAnswer(texts);
}

// The form in which an answer is compared with the question: runs of Unicode
// white space become one space, the ends are trimmed, letters lower-cased.
// Punctuation stays. Nullopt for text that is not UTF-8.
std::optional<std::string> normalized(std::string_view text) {
    const auto points = unicode::codePoints(text);
    if (!points) return std::nullopt;
    std::string joined;
    bool spacePending = false;
    for (const char32_t point : *points) {
        if (unicode::isWhitespace(point)) {
            spacePending = !joined.empty();
            continue;
        }
        if (std::exchange(spacePending, false)) joined += ' ';
        joined += unicode::encodeUTF8(point);
    }
    return unicode::lowercased(joined);
}

bool echoes(std::string_view text, std::string_view question) {
    const auto normalizedText = normalized(text);
    return normalizedText && normalizedText == normalized(question);
}

// A JSON object or array cut off before its end, as a truncated model output
// looks.
bool opensWithoutClosing(std::string_view text) {
    if (text.starts_with('{')) return !text.ends_with('}');
    if (text.starts_with('[')) return !text.ends_with(']');
    return false;
}

bool isPlaceholder(std::string_view lowercasedText) {
    return lowercasedText == "null" || lowercasedText == "undefined";
}

bool leaksAnswerKeys(std::string_view lowercasedText) {
    return lowercasedText.contains("\"display_text\"") || lowercasedText.contains("\"spoken_text\"");
}

// The first reason not to show or speak `text`, or nothing when it is fine.
std::optional<ValidationError> assessment(std::string_view text, const std::optional<std::string>& question) {
    const auto trimmed = unicode::trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) return ValidationError::missingAnswer;
    const auto lowercased = unicode::lowercased(trimmed);
    if (!lowercased) return ValidationError::unsafeAnswer;
    if (question && echoes(trimmed, *question)) return ValidationError::questionEcho;
    if (unicode::graphemeCount(trimmed) == 1) return ValidationError::unsafeAnswer;
    if (trimmed.size() > AgentTerminalPayload::kMaximumTextBytes) return ValidationError::unsafeAnswer;
    if (isPlaceholder(*lowercased) || leaksAnswerKeys(*lowercased)) return ValidationError::unsafeAnswer;
    if (opensWithoutClosing(trimmed)) return ValidationError::unsafeAnswer;
    return std::nullopt;
}

// Taken as sent: a mode with stray blanks is no mode, and the user's setting
// applies.
std::optional<std::string_view> responseModeValue(const Object& answerObject, const Object& outer) {
    const auto* value = stringMember(answerObject, "response_mode");
    if (!value) value = stringMember(outer, "response_mode");
    if (!value) return std::nullopt;
    return *value;
}

// The answer object's string wins even when it bounds to nothing: the outer
// object never fills in for a value the answer gave.
std::optional<std::string> carried(const Object& answerObject, const Object& outer, std::string_view key) {
    const auto* value = stringMember(answerObject, key);
    if (!value) value = stringMember(outer, key);
    return value ? bounded(*value) : std::nullopt;
}

bool isTrue(const Object& object, std::string_view key) {
    const auto* value = member(object, key);
    return value && value->boolean() == true;
}

}  // namespace

std::string_view reasonCode(AgentTerminalValidationError error) {
    return kReasonCodes[static_cast<std::size_t>(error)];
}

std::expected<AgentTerminalPayload, AgentTerminalValidationError> AgentTerminalPayload::parse(
    const JSONValue::Object& object, std::string_view fallbackResponseMode,
    std::optional<std::string_view> expectedQuestion) {
    const Object& answerObject = answerObjectOf(object);
    const auto question = questionFor(object, answerObject, expectedQuestion);

    auto text = answerText(answerObject);
    if (!text) return std::unexpected(text.error());
    AgentTerminalPayload payload;
    payload.displayText = *text;
    payload.spokenText = std::move(*text);
    for (const auto* checked : {&payload.displayText, &payload.spokenText}) {
        if (const auto error = assessment(*checked, question)) return std::unexpected(*error);
    }

    // Confirmation is the answer's own business: never read from the outer
    // object.
    payload.confirmationToken = boundedMember(answerObject, "confirmation_token").value_or("");
    const bool confirmationDemanded = isTrue(answerObject, "requires_confirmation");
    if (confirmationDemanded && payload.confirmationToken.empty()) {
        return std::unexpected(ValidationError::missingConfirmationToken);
    }
    payload.requiresConfirmation = confirmationDemanded || !payload.confirmationToken.empty();

    payload.responseMode = resolved(responseModeValue(answerObject, object), fallbackResponseMode);
    payload.language = carried(answerObject, object, "language");
    payload.route = carried(answerObject, object, "route");
    payload.reasonCode = carried(answerObject, object, "reason_code");
    payload.messageKey = carried(answerObject, object, "message_key");
    payload.confirmationLabel = boundedMember(answerObject, "confirmation_label").value_or("");
    return payload;
}

}  // namespace murmo
