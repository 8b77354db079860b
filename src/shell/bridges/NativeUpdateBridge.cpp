#include "shell/bridges/NativeUpdateBridge.h"

#include <string>
#include <utility>

namespace murmo {

std::shared_ptr<NativeUpdateBridge> NativeUpdateBridge::create(MainLoop& loop, URL trustedOrigin,
                                                               std::shared_ptr<UpdateCoordinator> coordinator) {
    return std::shared_ptr<NativeUpdateBridge>(
        new NativeUpdateBridge(loop, std::move(trustedOrigin), std::move(coordinator)));
}

NativeUpdateBridge::NativeUpdateBridge(MainLoop& loop, URL trustedOrigin,
                                       std::shared_ptr<UpdateCoordinator> coordinator)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)),
      coordinator_(std::move(coordinator)) {}

ScriptMessageHandlerWithReply NativeUpdateBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kUnavailableText));
    };
}

void NativeUpdateBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    const auto command = rules_.admits(message) ? NativeUpdateCommand::fromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    rules_.post(
        loop_, shared_from_this(),
        [command = *command, reply](NativeUpdateBridge& bridge) mutable {
            // The payload holds only the coordinator's own texts; should one
            // ever have no JSON form, the page still gets its one answer.
            if (!reply.returnValue(bridge.perform(command))) reply.returnError(std::string(kUnavailableText));
        },
        [reply]() mutable { reply.returnError(std::string(kUnavailableText)); });
}

json::Json NativeUpdateBridge::perform(const NativeUpdateCommand& command) {
    switch (command.action) {
        case NativeUpdateCommand::Action::status:
            return coordinator_->statusPayload(UpdateCoordinator::RequestResult::ready);
        case NativeUpdateCommand::Action::check: return coordinator_->checkForUpdates();
        case NativeUpdateCommand::Action::setAutomaticChecks:
            return coordinator_->setAutomaticallyChecksForUpdates(*command.enabled);
        case NativeUpdateCommand::Action::setAutomaticDownloads:
            return coordinator_->setAutomaticallyDownloadsUpdates(*command.enabled);
    }
    std::unreachable();
}

}  // namespace murmo
