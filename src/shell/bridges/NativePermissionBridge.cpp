#include "shell/bridges/NativePermissionBridge.h"

#include <string>
#include <utility>

namespace murmo {

namespace {

void answer(ScriptMessageReply& reply, const json::Json& payload) {
    if (!reply.returnValue(payload)) reply.returnError(std::string(NativePermissionBridge::kUnavailableText));
}

// A request's reply as its completion carries it. The permission centre drops
// a completion without calling it when the centre itself is gone (the window
// closing during a prompt); the page is then told so instead of receiving an
// empty success.
class PendingRequestReply {
public:
    explicit PendingRequestReply(ScriptMessageReply reply) : reply_(std::move(reply)) {}
    PendingRequestReply(const PendingRequestReply&) = delete;
    PendingRequestReply& operator=(const PendingRequestReply&) = delete;
    ~PendingRequestReply() {
        if (!reply_.isAnswered()) reply_.returnError(std::string(NativePermissionBridge::kUnavailableText));
    }

    void answer(const json::Json& payload) { murmo::answer(reply_, payload); }

private:
    ScriptMessageReply reply_;
};

}  // namespace

std::shared_ptr<NativePermissionBridge> NativePermissionBridge::create(MainLoop& loop, URL trustedOrigin,
                                                                       std::shared_ptr<PermissionCenter> center) {
    return std::shared_ptr<NativePermissionBridge>(
        new NativePermissionBridge(loop, std::move(trustedOrigin), std::move(center)));
}

NativePermissionBridge::NativePermissionBridge(MainLoop& loop, URL trustedOrigin,
                                               std::shared_ptr<PermissionCenter> center)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)),
      center_(std::move(center)) {}

ScriptMessageHandlerWithReply NativePermissionBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kUnavailableText));
    };
}

void NativePermissionBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    const auto command = rules_.admits(message) ? NativePermissionCommand::fromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    rules_.post(
        loop_, shared_from_this(),
        [command = *command, reply](NativePermissionBridge& bridge) mutable { bridge.perform(command, reply); },
        [reply]() mutable { reply.returnError(std::string(kUnavailableText)); });
}

void NativePermissionBridge::perform(const NativePermissionCommand& command, ScriptMessageReply& reply) {
    switch (command.action) {
        case NativePermissionCommand::Action::status: return answer(reply, center_->snapshot().bridgePayload());
        case NativePermissionCommand::Action::request: return request(*command.permission, reply);
        case NativePermissionCommand::Action::openSettings: return openSettings(*command.permission, reply);
    }
}

void NativePermissionBridge::request(NativePermissionKind permission, ScriptMessageReply reply) {
    // Several requests may be outstanding; each completion answers its own
    // message, and answers even when the bridge went away meanwhile.
    auto pending = std::make_shared<PendingRequestReply>(std::move(reply));
    center_->request(permission, [weak = weak_from_this(), pending](PermissionSnapshot snapshot) {
        if (auto self = weak.lock()) self->notifyPermissionsChanged();
        pending->answer(snapshot.bridgePayload());
    });
}

void NativePermissionBridge::openSettings(NativePermissionKind permission, ScriptMessageReply& reply) {
    const bool opened = center_->openSystemSettings(permission);
    notifyPermissionsChanged();
    auto payload = center_->snapshot().bridgePayload();
    payload["settings_opened"] = opened;
    answer(reply, payload);
}

void NativePermissionBridge::notifyPermissionsChanged() const {
    // A copy: the window's handler may replace or clear the callback.
    if (auto callback = onPermissionsChanged) callback();
}

}  // namespace murmo
