#include "shell/bridges/NativePreferencesBridge.h"

#include <string>
#include <utility>

namespace murmo {

std::shared_ptr<NativePreferencesBridge> NativePreferencesBridge::create(
    MainLoop& loop, URL trustedOrigin, std::shared_ptr<NativePreferencesController> controller) {
    return std::shared_ptr<NativePreferencesBridge>(
        new NativePreferencesBridge(loop, std::move(trustedOrigin), std::move(controller)));
}

NativePreferencesBridge::NativePreferencesBridge(MainLoop& loop, URL trustedOrigin,
                                                 std::shared_ptr<NativePreferencesController> controller)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)),
      controller_(std::move(controller)) {}

ScriptMessageHandlerWithReply NativePreferencesBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kUnavailableText));
    };
}

void NativePreferencesBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    auto command = rules_.admits(message) ? NativePreferencesCommand::fromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    rules_.post(
        loop_, shared_from_this(),
        [command = std::move(*command), reply](NativePreferencesBridge& bridge) mutable {
            bridge.perform(command, reply);
        },
        [reply]() mutable { reply.returnError(std::string(kUnavailableText)); });
}

void NativePreferencesBridge::perform(const NativePreferencesCommand& command, ScriptMessageReply& reply) {
    switch (command.action) {
        case NativePreferencesCommand::Action::getSnapshot: return answerSnapshot(reply);
        case NativePreferencesCommand::Action::set: return set(command, reply);
        case NativePreferencesCommand::Action::openLoginItemsSettings:
            // Whether or not the settings opened, the page gets the state as
            // it is now (the user may have changed it there before).
            controller_->openLoginItemsSettings();
            return answerSnapshot(reply);
    }
}

void NativePreferencesBridge::set(const NativePreferencesCommand& command, ScriptMessageReply& reply) {
    if (auto changed = controller_->set(*command.key, *command.value); !changed) {
        // The catalog text only, in the interface language now in force; a
        // failure's detail is for the log.
        reply.returnError(changed.error().localizedDescription(controller_->snapshot().uiLanguage));
        return;
    }
    answerSnapshot(reply);
}

void NativePreferencesBridge::answerSnapshot(ScriptMessageReply& reply) const {
    // Read after the action, so the page sees what it caused.
    if (!reply.returnValue(controller_->snapshot().bridgePayload())) {
        reply.returnError(std::string(kUnavailableText));
    }
}

}  // namespace murmo
