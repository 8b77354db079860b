#pragma once

// The assistant's answer at the end of an agent operation, checked before it
// is shown or spoken. The engine's answer object is free-form JSON; parsing
// either yields a whole payload or one validation error whose reason code the
// coordinator reports as the operation's failure. Pure: no state, no I/O.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "coordinator/AgentResponseMode.h"
#include "engine/JSONValue.h"

namespace murmo {

// Why an answer was refused. Each case is reported with its reason code:
//
// | case                       | reason code                  |
// |----------------------------|------------------------------|
// | `missingAnswer`            | "agent_empty_output"         |
// | `unsafeAnswer`             | "agent_output_invalid"       |
// | `questionEcho`             | "agent_question_echo"        |
// | `missingConfirmationToken` | "agent_confirmation_invalid" |
enum class AgentTerminalValidationError : std::uint8_t {
    // No answer text at all.
    missingAnswer,
    // Texts that disagree, an unknown schema version, or a text not fit to
    // show (one character, "null", leaked JSON keys, a cut-off JSON value).
    unsafeAnswer,
    // The answer only repeats the user's question.
    questionEcho,
    // The answer asks for confirmation but gives no token to confirm with.
    missingConfirmationToken,
};

std::string_view reasonCode(AgentTerminalValidationError error);

struct AgentTerminalPayload {
    // Every text is trimmed of Unicode white space, never empty and at most
    // this many UTF-8 bytes; a longer value is dropped whole, never cut.
    static constexpr std::size_t kMaximumTextBytes = 20'000;

    std::string displayText{};
    // Equal to displayText: the engine may not say one thing and show another.
    std::string spokenText{};
    AgentResponseMode responseMode = AgentResponseMode::text;
    std::optional<std::string> language{};
    bool requiresConfirmation = false;
    // Empty when there is none.
    std::string confirmationToken{};
    // Empty when there is none.
    std::string confirmationLabel{};
    // The engine's own names, carried through.
    std::optional<std::string> route{};
    std::optional<std::string> reasonCode{};
    std::optional<std::string> messageKey{};

    bool operator==(const AgentTerminalPayload&) const = default;

    // `object` is the engine's answer object, or an event or reply holding it
    // under "agent_answer" or "answer". `fallbackResponseMode` is the user's
    // configured response mode; `expectedQuestion` the operation's recognised
    // question when known (otherwise a "question" in the object is used).
    static std::expected<AgentTerminalPayload, AgentTerminalValidationError> parse(
        const JSONValue::Object& object, std::string_view fallbackResponseMode,
        std::optional<std::string_view> expectedQuestion);
};

}  // namespace murmo
