#pragma once

// The dashboard page asks the application to show its settings, optionally at
// one section, under "murmoSettings". The bridge checks the message, keeps to
// the actions its owner allows, and hands the command to the owner on the
// main loop. It never answers the page.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/JsonRead.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"

namespace murmo {

enum class NativeSettingsSection {
    general,
    appearance,
    agent,
    system,
    speech,
    intelligence,
    personalize,
    privacy,
    advanced,
};

inline constexpr std::array kAllNativeSettingsSections{
    NativeSettingsSection::general,     NativeSettingsSection::appearance, NativeSettingsSection::agent,
    NativeSettingsSection::system,      NativeSettingsSection::speech,     NativeSettingsSection::intelligence,
    NativeSettingsSection::personalize, NativeSettingsSection::privacy,    NativeSettingsSection::advanced,
};

// The page's name of the section ("general", ...).
std::string_view rawValue(NativeSettingsSection section);

struct NativeSettingsCommand {
    enum class Action { open, close };

    Action action = Action::open;
    std::optional<NativeSettingsSection> section;

    // Absent unless the body is an object with "action" ("open" or "close")
    // and at most a "section" beside it. A section is only for "open": a
    // "close" that names one is refused.
    static std::optional<NativeSettingsCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativeSettingsCommand&) const = default;
};

std::string_view rawValue(NativeSettingsCommand::Action action);

class NativeSettingsBridge final : public std::enable_shared_from_this<NativeSettingsBridge> {
    struct Passkey {};

public:
    static constexpr std::string_view kHandlerName = "murmoSettings";

    // `coreURL` is the engine URL the dashboard is loaded from; `allowedActions`
    // the actions that reach the owner (the dashboard window allows open alone).
    // The loop outlives the bridge.
    static std::shared_ptr<NativeSettingsBridge> create(MainLoop& loop, URL coreURL,
                                                        std::set<NativeSettingsCommand::Action> allowedActions);
    NativeSettingsBridge(Passkey, MainLoop& loop, URL coreURL, std::set<NativeSettingsCommand::Action> allowedActions);

    const URL& trustedOrigin() const { return rules_.origin(); }
    const std::set<NativeSettingsCommand::Action>& allowedActions() const { return allowedActions_; }

    // Set by the dashboard window (it shows the settings at the section);
    // runs on the main loop. Unset: an accepted message does nothing.
    std::function<void(const NativeSettingsCommand&)> onCommand;

    // What the window registers with addScriptMessageHandler(); it holds the
    // bridge weakly, so the view never keeps the bridge alive.
    ScriptMessageHandler scriptMessageHandler();

    // A refused message (name, frame, origin, body or a disallowed action) is
    // dropped without answer, log or effect.
    void receive(const ScriptMessage& message);

private:
    MainLoop& loop_;
    BridgeMessageRules rules_;
    std::set<NativeSettingsCommand::Action> allowedActions_;
};

}  // namespace murmo
