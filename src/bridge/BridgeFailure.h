#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "runtime/Error.h"

namespace murmo::bridge {

// Every refusal the bridge answers with. The code is the contract with the
// engine; the message is a fixed English sentence. A few codes carry two
// messages (the engine tells cases apart by code), so each pairing is a case
// of its own here.
enum class BridgeFailureKind {
    // Answered with id null: the request was never accepted.
    invalidArguments,
    invalidRequestSize,
    invalidJSON,
    requestNotAnObject,
    unparsableRequest,
    unsupportedProtocol,
    invalidID,
    invalidAction,
    unsupportedAction,
    serializationFailed,
    // Answered with the request's id.
    unsupportedPurpose,
    invalidLocale,
    instructionsTooLarge,
    promptPrefixTooLarge,
    promptTooLarge,
    invalidPrompt,
    invalidMaxOutputTokens,
    unsupportedResponseSchema,
    unsupportedLocale,
    settingsUnavailable,
    unsupportedOS,
    agentPromptTooLarge,
    outputTooLarge,
    incompleteStructuredOutput,
    emptyStructuredOutput,
    encodingFailed,
    bridgeFailed,
};

struct BridgeFailure {
    std::string code;
    std::string message;

    BridgeFailure(std::string code, std::string message) : code(std::move(code)), message(std::move(message)) {}
    explicit BridgeFailure(BridgeFailureKind kind);

    bool operator==(const BridgeFailure&) const = default;
};

template <class T>
using BridgeResult = std::expected<T, BridgeFailure>;

inline std::unexpected<BridgeFailure> refuse(BridgeFailureKind kind) {
    return std::unexpected<BridgeFailure>(BridgeFailure(kind));
}

// The model cannot serve: the code is the reason it gave ("device_not_eligible",
// "apple_intelligence_not_enabled" or "model_not_ready").
BridgeFailure modelUnavailable(std::string_view reason);

// Maps an error of the model framework onto its code and message. Generation
// errors map case by case; anything else is "generation_failed".
BridgeFailure generationFailure(const Error& error);

}  // namespace murmo::bridge
