#include "shell/bridges/NativeAudioBridge.h"

#include <array>
#include <string>
#include <utility>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

using Action = NativeAudioCommand::Action;

constexpr std::array<BridgeRawValue<Action>, 3> kActions{{
    {"begin", Action::begin},
    {"end", Action::end},
    {"cancel", Action::cancel},
}};

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char toLowerASCII(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A UUID written as 8-4-4-4-12 hexadecimal digits in any case, lower-cased;
// any other spelling (no hyphens, braces, surrounding space) is no UUID here.
std::optional<std::string> lowercaseUUID(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::string lowered;
    lowered.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != '-' : !isHexDigit(text[i])) return std::nullopt;
        lowered.push_back(toLowerASCII(text[i]));
    }
    return lowered;
}

// Answers the page with the command's dictionary. A dictionary with no JSON
// form (text that is not UTF-8) cannot reach the page; it is then told the
// audio service is unavailable, still as a value.
void answer(ScriptMessageReply& reply, const json::Json& dictionary) {
    if (!reply.returnValue(dictionary)) reply.returnValue(WebAudioReply::unavailable());
}

}  // namespace

std::shared_ptr<NativeAudioBridge> NativeAudioBridge::create(MainLoop& loop, URL trustedOrigin) {
    return std::shared_ptr<NativeAudioBridge>(new NativeAudioBridge(loop, std::move(trustedOrigin)));
}

NativeAudioBridge::NativeAudioBridge(MainLoop& loop, URL trustedOrigin)
    : loop_(loop), rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)) {}

std::optional<NativeAudioCommand> NativeAudioBridge::commandFromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"action", "operation_id"})) return std::nullopt;
    const auto action = object->rawValue<Action>("action", kActions);
    const auto text = object->string("operation_id");
    auto operationID = text ? lowercaseUUID(*text) : std::nullopt;
    if (!action || !operationID) return std::nullopt;
    return NativeAudioCommand{.action = *action, .operationID = std::move(*operationID)};
}

ScriptMessageHandlerWithReply NativeAudioBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kUnavailableText));
    };
}

void NativeAudioBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    auto command = rules_.admits(message) ? commandFromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    rules_.post(
        loop_, shared_from_this(),
        [command = std::move(*command), reply](NativeAudioBridge& bridge) mutable {
            bridge.perform(std::move(command), std::move(reply));
        },
        [reply]() mutable { reply.returnError(std::string(kUnavailableText)); });
}

void NativeAudioBridge::perform(NativeAudioCommand command, ScriptMessageReply reply) const {
    // A copy: the owner may replace or clear the callback while it runs.
    const auto callback = onCommand;
    if (!callback) {
        reply.returnError(std::string(kUnavailableText));
        return;
    }
    // The reply outlives the bridge: a command the owner still holds is
    // answered when it finishes, even after the window let the bridge go.
    callback(std::move(command),
             WebAudioReply([reply = std::move(reply)](json::Json dictionary) mutable { answer(reply, dictionary); }));
}

}  // namespace murmo
