#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/CoreLaunchPlan.h"
#include "input/Shortcut.h"
#include "platform/DefaultsStore.h"
#include "runtime/Error.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"

namespace murmo {

inline constexpr std::string_view kDefaultCoreURL = "http://127.0.0.1:8765";
inline constexpr std::uint16_t kDefaultCorePort = 8765;
inline constexpr std::string_view kManagedCoreURLPrefix = "http://127.0.0.1:";

// Stored keys of development launches.
inline constexpr std::string_view kCoreURLDefaultsKey = "MurmoCoreURL";
// The engine JSON form of the shortcut, stored as its JSON text.
inline constexpr std::string_view kNativeShortcutDefaultsKey = "MurmoNativeShortcut";
inline constexpr std::string_view kShortcutDefaultsKey = "MurmoShortcut";
inline constexpr std::string_view kRepoRootDefaultsKey = "MurmoRepoRoot";

inline constexpr std::size_t kDesktopTokenByteCount = 32;
inline constexpr std::size_t kDesktopTokenLength = 43;

// Binds 127.0.0.1 port 0, reads back the port the system chose, and closes
// the socket (it never listens: the engine binds the port a moment later).
// The error names the failed step in `reason` ("socket", "bind",
// "getsockname", "zero_port") and the system's cause in `message`.
Result<std::uint16_t> reserveLoopbackPort();

struct MurmoLaunchConfigurationServices {
    IdGenerator& ids;
    Logger logger = Logger("launch-configuration");
    std::function<Result<std::uint16_t>()> reservePort = reserveLoopbackPort;
};

// Where the engine is reached, the shortcut used until the engine's settings
// arrive, whether the application launches the engine, a development
// checkout, and this launch's desktop token. Made once at start-up; a plain
// value afterwards.
struct MurmoLaunchConfiguration {
    std::string coreURL;
    // The dictation shortcut until the engine's settings are applied.
    ShortcutChoice shortcut = ShortcutChoice::function();
    bool launchCore = true;
    std::optional<std::filesystem::path> repoRoot;
    // 43 characters of unpadded base64url. Never stored, never logged.
    std::string desktopToken;

    // A normal start: a freshly reserved loopback port, Fn/Globe, the engine
    // launched by the application, no checkout, a new token. Reads and writes
    // no stored setting. Fails with runtimeNotFound when no port can be
    // reserved (the cause is logged).
    static CoreProcessResult<MurmoLaunchConfiguration> isolatedManaged(
        const MurmoLaunchConfigurationServices& services);

    // A development start from the full argument list (the first element, the
    // program path, is skipped) and the stored keys. When any argument begins
    // with "--", the choices are written back to the store. Never fails.
    static MurmoLaunchConfiguration parse(std::span<const std::string> arguments, DefaultsStore& defaults,
                                          const MurmoLaunchConfigurationServices& services);

    // The port of coreURL, or 8765 when the URL names none.
    std::uint16_t corePort() const;

    bool operator==(const MurmoLaunchConfiguration&) const = default;
};

// Stores the shortcut as "MurmoNativeShortcut" (the payload's JSON text) and
// "MurmoShortcut" (its canonical text), the keys parse() reads back; a value
// the store already holds is not written again.
void persistShortcut(const ShortcutChoice& shortcut, DefaultsStore& defaults);

}  // namespace murmo
