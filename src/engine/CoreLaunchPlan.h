#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Environment.h"
#include "runtime/Error.h"
#include "runtime/ExecutableFile.h"

namespace murmo {

// How the engine program was found; the supervisor adapts the engine's
// environment to it.
enum class CoreRuntimeKind {
    bundled,             // "bundled": found in the application bundle
    explicitExecutable,  // "explicit": named by MURMO_EXECUTABLE
    virtualEnvironment,  // "virtualEnvironment": the checkout's .venv holds the engine's command
    uv,                  // "uv": the uv tool runs the engine from the checkout
};

std::string_view toString(CoreRuntimeKind kind);
std::optional<CoreRuntimeKind> coreRuntimeKindFromString(std::string_view text);

// What to execute for the engine. The supervisor appends the serve arguments
// after `arguments`.
struct CoreLaunchPlan {
    std::filesystem::path executableURL;
    std::vector<std::string> arguments;
    std::filesystem::path currentDirectoryURL;
    CoreRuntimeKind runtimeKind = CoreRuntimeKind::bundled;

    bool operator==(const CoreLaunchPlan&) const = default;
};

inline constexpr std::string_view kCoreProcessErrorDomain = "MurmoCoreProcess";

// The failures of finding, launching and waiting for the engine. The messages
// are the same in every interface language.
struct CoreProcessError {
    enum class Code : long {
        runtimeDirectoryUnavailable = 1,
        exitedBeforeReady = 2,
        readinessTimedOut = 3,
        alreadyRunning = 4,
        missingDesktopToken = 5,
        runtimeNotFound = 6,
        // Never raised; its message serves as a readiness-wait detail.
        invalidHealthResponse = 7,
    };

    Code code = Code::runtimeNotFound;
    // runtimeDirectoryUnavailable and readinessTimedOut.
    std::string detail;
    // exitedBeforeReady.
    std::int32_t status = 0;

    static CoreProcessError runtimeDirectoryUnavailable(std::string detail);
    static CoreProcessError exitedBeforeReady(std::int32_t status);
    static CoreProcessError readinessTimedOut(std::string detail);
    static CoreProcessError alreadyRunning();
    static CoreProcessError missingDesktopToken();
    static CoreProcessError runtimeNotFound();
    static CoreProcessError invalidHealthResponse();

    // The user-facing message.
    std::string localizedDescription() const;
    // Stable snake_case code, e.g. "runtime_not_found".
    std::string_view reason() const;
    // As a general Error in kCoreProcessErrorDomain, code = the case's number.
    Error toError() const;

    bool operator==(const CoreProcessError&) const = default;
};

template <class T>
using CoreProcessResult = std::expected<T, CoreProcessError>;

// The user's home: $HOME when set, else the password database's entry.
std::filesystem::path userHomeDirectory(const EnvironmentMap& environment);

// The per-user "Application Support" folder: $XDG_DATA_HOME when it is an
// absolute path, else ~/.local/share. Creates nothing.
std::filesystem::path applicationSupportDirectory(const EnvironmentMap& environment);

inline constexpr std::string_view kApplicationDataFolderName = "Dorvex Local";
inline constexpr std::string_view kBundledCoreWorkingDirectoryName = "runtime";
inline constexpr std::string_view kExplicitCoreExecutableVariable = "MURMO_EXECUTABLE";

// The application data folder: applicationSupportDirectory / "Dorvex Local".
// Creates nothing; the launch creates its "runtime" folder and the
// diagnostics log its "Logs" folder.
std::filesystem::path applicationDataDirectory(const EnvironmentMap& environment);

// Where resolution looks besides the bundle, the checkout and the home folder.
struct CoreLaunchPlanSearchPaths {
    // Base of a relative MURMO_EXECUTABLE; empty means the process's current
    // directory.
    std::filesystem::path currentDirectory;
    // Searched for `uv`, in order, after the checkout's and the home folder's.
    std::vector<std::filesystem::path> systemToolDirectories{"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin", "/bin"};
};

// Chooses the engine program. The first rule that finds one wins:
//   1. the bundle: Contents/Resources/MurmoCore/MurmoCore, then
//      Contents/MacOS/MurmoCore (working directory: application data / "runtime");
//   2. a bundle whose extension is "app" in any case stops here: an installed
//      application never runs a development engine;
//   3. MURMO_EXECUTABLE (working directory: repoRoot as given, else the
//      executable's folder);
//   4. without repoRoot, stop;
//   5. repoRoot/.venv/bin/murmo;
//   6. `uv` in repoRoot/.venv/bin, ~/.local/bin, ~/.cargo/bin, then the system
//      tool directories, run as "uv run --project <root> murmo".
// Every miss is CoreProcessError::runtimeNotFound. Nothing is created or run.
CoreProcessResult<CoreLaunchPlan> resolveLaunchPlan(const std::optional<std::filesystem::path>& repoRoot,
                                                    const std::filesystem::path& bundleURL,
                                                    const EnvironmentMap& environment,
                                                    const CoreLaunchPlanSearchPaths& search = {});

}  // namespace murmo
