#include "shell/bridges/NativeSettingsBridge.h"

#include <utility>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

constexpr std::array<BridgeRawValue<NativeSettingsCommand::Action>, 2> kActions{{
    {"open", NativeSettingsCommand::Action::open},
    {"close", NativeSettingsCommand::Action::close},
}};

constexpr std::array<BridgeRawValue<NativeSettingsSection>, 9> kSections{{
    {"general", NativeSettingsSection::general},
    {"appearance", NativeSettingsSection::appearance},
    {"agent", NativeSettingsSection::agent},
    {"system", NativeSettingsSection::system},
    {"speech", NativeSettingsSection::speech},
    {"intelligence", NativeSettingsSection::intelligence},
    {"personalize", NativeSettingsSection::personalize},
    {"privacy", NativeSettingsSection::privacy},
    {"advanced", NativeSettingsSection::advanced},
}};

template <typename Case, std::size_t N>
std::string_view rawValueOf(const std::array<BridgeRawValue<Case>, N>& table, Case value) {
    for (const auto& entry : table) {
        if (entry.value == value) return entry.raw;
    }
    return {};
}

}  // namespace

std::string_view rawValue(NativeSettingsSection section) { return rawValueOf(kSections, section); }

std::string_view rawValue(NativeSettingsCommand::Action action) { return rawValueOf(kActions, action); }

std::optional<NativeSettingsCommand> NativeSettingsCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasKeysAmong({"action", "section"})) return std::nullopt;
    const auto action = object->rawValue<Action>("action", kActions);
    if (!action) return std::nullopt;
    if (!object->has("section")) return NativeSettingsCommand{*action, std::nullopt};
    const auto section = object->rawValue<NativeSettingsSection>("section", kSections);
    if (!section || *action != Action::open) return std::nullopt;
    return NativeSettingsCommand{*action, *section};
}

std::shared_ptr<NativeSettingsBridge> NativeSettingsBridge::create(
    MainLoop& loop, URL coreURL, std::set<NativeSettingsCommand::Action> allowedActions) {
    return std::make_shared<NativeSettingsBridge>(Passkey{}, loop, std::move(coreURL), std::move(allowedActions));
}

NativeSettingsBridge::NativeSettingsBridge(Passkey, MainLoop& loop, URL coreURL,
                                           std::set<NativeSettingsCommand::Action> allowedActions)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(coreURL)),
      allowedActions_(std::move(allowedActions)) {}

ScriptMessageHandler NativeSettingsBridge::scriptMessageHandler() {
    return [weak = weak_from_this()](const ScriptMessage& message) {
        if (auto bridge = weak.lock()) bridge->receive(message);
    };
}

void NativeSettingsBridge::receive(const ScriptMessage& message) {
    if (!rules_.admits(message)) return;
    auto command = NativeSettingsCommand::fromBody(message.body);
    if (!command || !allowedActions_.contains(command->action)) return;
    rules_.post(loop_, shared_from_this(), [command = *command](NativeSettingsBridge& bridge) {
        // A copy: the callback may replace itself while it runs.
        if (const auto callback = bridge.onCommand) callback(command);
    });
}

}  // namespace murmo
