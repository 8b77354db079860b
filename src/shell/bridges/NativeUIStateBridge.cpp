#include "shell/bridges/NativeUIStateBridge.h"

#include <utility>

namespace murmo {

namespace {

// Calls a copy: a callback may replace itself while it runs.
template <typename Callback, typename... Arguments>
void callIfSet(const Callback& callback, const Arguments&... arguments) {
    if (const auto copy = callback) copy(arguments...);
}

}  // namespace

std::optional<NativeUIStateBridge::Command> NativeUIStateBridge::commandFromBody(
    const std::optional<json::Json>& body) {
    if (auto sidebar = NativeUIStateCommand::fromBody(body)) return Command{*sidebar};
    if (auto width = NativeSidebarWidthCommand::fromBody(body)) return Command{*width};
    if (auto card = NativeSidebarCardDismissCommand::fromBody(body)) return Command{std::move(*card)};
    return std::nullopt;
}

std::shared_ptr<NativeUIStateBridge> NativeUIStateBridge::create(MainLoop& loop, URL coreURL) {
    return std::make_shared<NativeUIStateBridge>(Passkey{}, loop, std::move(coreURL));
}

NativeUIStateBridge::NativeUIStateBridge(Passkey, MainLoop& loop, URL coreURL)
    : loop_(loop), rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(coreURL)) {}

ScriptMessageHandler NativeUIStateBridge::scriptMessageHandler() {
    return [weak = weak_from_this()](const ScriptMessage& message) {
        if (auto bridge = weak.lock()) bridge->receive(message);
    };
}

void NativeUIStateBridge::receive(const ScriptMessage& message) {
    if (!rules_.admits(message)) return;
    auto command = commandFromBody(message.body);
    if (!command) return;
    rules_.post(loop_, shared_from_this(),
                [command = std::move(*command)](NativeUIStateBridge& bridge) { bridge.perform(command); });
}

void NativeUIStateBridge::perform(const Command& command) const {
    if (const auto* sidebar = std::get_if<NativeUIStateCommand>(&command)) {
        callIfSet(onCommand, *sidebar);
    } else if (const auto* width = std::get_if<NativeSidebarWidthCommand>(&command)) {
        callIfSet(onSidebarWidthChanged, width->width);
    } else if (const auto* card = std::get_if<NativeSidebarCardDismissCommand>(&command)) {
        callIfSet(onCardDismissed, card->cardID);
    }
}

}  // namespace murmo
