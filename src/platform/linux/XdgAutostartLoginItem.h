#pragma once

// Launch at login on a freedesktop desktop: an autostart entry
// "$XDG_CONFIG_HOME/autostart/<bundle identifier>.desktop". An entry of ours
// that the desktop's settings switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false) is still registered and awaits the user:
// it reads as requiring approval. An entry we cannot read is outside the
// known set, so nothing ever overwrites it. There is no login-items pane to
// open.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/LoginItem.h"
#include "runtime/Environment.h"

namespace murmo {

class XdgAutostartLoginItem final : public LoginItem {
public:
    // The status of an entry that exists but cannot be read or parsed.
    static constexpr std::int32_t kUnreadableEntry = -1;
    // The key that marks an entry as this application's.
    static constexpr std::string_view kIdentifierKey = "X-Murmo-Bundle-Identifier";

    XdgAutostartLoginItem(const EnvironmentMap& environment, std::shared_ptr<const Bundle> bundle);

    std::int32_t status() const override;
    Status registerItem() override;
    Status unregisterItem() override;
    Status prepare() override;
    bool isEligible() const override;
    bool openSettings() override { return false; }

    // Absent when the bundle's identifier is no plain file name.
    std::optional<std::filesystem::path> entryPath() const;

    // One Exec argument: always quoted, with `"`, `` ` ``, `$` and `\`
    // escaped and `%` doubled, so any path reaches the program as it is.
    static std::string quotedExecArgument(std::string_view argument);
    // ASCII letters, digits, ".", "-" and "_" only, and not "." or "..".
    static bool isPlainFileName(std::string_view name);

private:
    std::optional<std::string> identifier() const;

    std::filesystem::path autostartFolder_;
    std::shared_ptr<const Bundle> bundle_;
};

}  // namespace murmo
