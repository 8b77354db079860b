#include "engine/CoreLaunchPlan.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <cctype>

#include "runtime/AsciiText.h"

namespace murmo {

namespace fs = std::filesystem;

namespace {

struct RuntimeKindName {
    CoreRuntimeKind kind;
    std::string_view text;
};

constexpr std::array kRuntimeKindNames{
    RuntimeKindName{CoreRuntimeKind::bundled, "bundled"},
    RuntimeKindName{CoreRuntimeKind::explicitExecutable, "explicit"},
    RuntimeKindName{CoreRuntimeKind::virtualEnvironment, "virtualEnvironment"},
    RuntimeKindName{CoreRuntimeKind::uv, "uv"},
};

// "/a/b/" and "/a/b" name the same folder; keep the form without the
// trailing separator so derived paths and arguments read the same.
fs::path withoutTrailingSeparator(fs::path path) {
    while (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
    return path;
}

fs::path standardized(const fs::path& path) { return withoutTrailingSeparator(path.lexically_normal()); }

fs::path processCurrentDirectory() {
    std::error_code error;
    auto path = fs::current_path(error);
    return error ? fs::path("/") : path;
}

bool isApplicationBundle(const fs::path& bundleURL) {
    return asciiLowercased(withoutTrailingSeparator(bundleURL).extension().string()) == ".app";
}

std::optional<CoreLaunchPlan> bundledPlan(const fs::path& bundleURL, const EnvironmentMap& environment) {
    const std::array candidates{bundleURL / "Contents" / "Resources" / "MurmoCore" / "MurmoCore",
                                bundleURL / "Contents" / "MacOS" / "MurmoCore"};
    for (const auto& candidate : candidates) {
        if (!isExecutableFile(candidate)) continue;
        return CoreLaunchPlan{candidate,
                              {},
                              applicationDataDirectory(environment) / kBundledCoreWorkingDirectoryName,
                              CoreRuntimeKind::bundled};
    }
    return std::nullopt;
}

std::optional<CoreLaunchPlan> explicitPlan(const std::optional<fs::path>& repoRoot, const EnvironmentMap& environment,
                                           const CoreLaunchPlanSearchPaths& search) {
    auto named = lookup(environment, kExplicitCoreExecutableVariable);
    if (!named || named->empty()) return std::nullopt;
    fs::path executable(*named);
    if (executable.is_relative()) {
        executable =
            (search.currentDirectory.empty() ? processCurrentDirectory() : search.currentDirectory) / executable;
    }
    executable = standardized(executable);
    if (!isExecutableFile(executable)) return std::nullopt;
    return CoreLaunchPlan{
        executable, {}, repoRoot ? *repoRoot : executable.parent_path(), CoreRuntimeKind::explicitExecutable};
}

std::optional<CoreLaunchPlan> checkoutPlan(const fs::path& repoRoot, const EnvironmentMap& environment,
                                           const CoreLaunchPlanSearchPaths& search) {
    const auto root = standardized(repoRoot);
    const auto venvBin = root / ".venv" / "bin";
    if (auto command = venvBin / "murmo"; isExecutableFile(command)) {
        return CoreLaunchPlan{command, {}, root, CoreRuntimeKind::virtualEnvironment};
    }
    const auto home = userHomeDirectory(environment);
    std::vector<fs::path> directories{venvBin, home / ".local" / "bin", home / ".cargo" / "bin"};
    directories.insert(directories.end(), search.systemToolDirectories.begin(), search.systemToolDirectories.end());
    for (const auto& directory : directories) {
        auto tool = directory / "uv";
        if (!isExecutableFile(tool)) continue;
        return CoreLaunchPlan{tool, {"run", "--project", root.string(), "murmo"}, root, CoreRuntimeKind::uv};
    }
    return std::nullopt;
}

}  // namespace

std::string_view toString(CoreRuntimeKind kind) {
    for (const auto& entry : kRuntimeKindNames) {
        if (entry.kind == kind) return entry.text;
    }
    return "bundled";
}

std::optional<CoreRuntimeKind> coreRuntimeKindFromString(std::string_view text) {
    for (const auto& entry : kRuntimeKindNames) {
        if (entry.text == text) return entry.kind;
    }
    return std::nullopt;
}

CoreProcessError CoreProcessError::runtimeDirectoryUnavailable(std::string detail) {
    return {Code::runtimeDirectoryUnavailable, std::move(detail), 0};
}
CoreProcessError CoreProcessError::exitedBeforeReady(std::int32_t status) {
    return {Code::exitedBeforeReady, {}, status};
}
CoreProcessError CoreProcessError::readinessTimedOut(std::string detail) {
    return {Code::readinessTimedOut, std::move(detail), 0};
}
CoreProcessError CoreProcessError::alreadyRunning() { return {Code::alreadyRunning, {}, 0}; }
CoreProcessError CoreProcessError::missingDesktopToken() { return {Code::missingDesktopToken, {}, 0}; }
CoreProcessError CoreProcessError::runtimeNotFound() { return {Code::runtimeNotFound, {}, 0}; }
CoreProcessError CoreProcessError::invalidHealthResponse() { return {Code::invalidHealthResponse, {}, 0}; }

std::string CoreProcessError::localizedDescription() const {
    switch (code) {
        case Code::runtimeDirectoryUnavailable:
            return "Dorvex's stable runtime directory could not be prepared. " + detail;
        case Code::exitedBeforeReady:
            return fmt::format("Dorvex core exited before becoming ready (status {}).", status);
        case Code::readinessTimedOut:
            return detail.empty() ? std::string("Dorvex core did not become ready in time.")
                                  : "Dorvex core did not become ready in time. " + detail;
        case Code::alreadyRunning: return "Dorvex core is already running.";
        case Code::missingDesktopToken: return "Managed Dorvex core requires a per-launch desktop token.";
        case Code::runtimeNotFound:
            return "Dorvex core runtime was not found in the app bundle or development environment.";
        case Code::invalidHealthResponse: return "Dorvex core returned an invalid health response.";
    }
    return "Dorvex core runtime was not found in the app bundle or development environment.";
}

std::string_view CoreProcessError::reason() const {
    switch (code) {
        case Code::runtimeDirectoryUnavailable: return "runtime_directory_unavailable";
        case Code::exitedBeforeReady: return "exited_before_ready";
        case Code::readinessTimedOut: return "readiness_timed_out";
        case Code::alreadyRunning: return "already_running";
        case Code::missingDesktopToken: return "missing_desktop_token";
        case Code::runtimeNotFound: return "runtime_not_found";
        case Code::invalidHealthResponse: return "invalid_health_response";
    }
    return "runtime_not_found";
}

Error CoreProcessError::toError() const {
    return Error(std::string(kCoreProcessErrorDomain), static_cast<long>(code), localizedDescription(),
                 std::string(reason()));
}

fs::path userHomeDirectory(const EnvironmentMap& environment) {
    if (auto home = lookup(environment, "HOME"); home && !home->empty()) return fs::path(*home);
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir) {
        return fs::path(found->pw_dir);
    }
    // No home at all (a stripped-down service account): the root folder is
    // the only base that is always absolute.
    return fs::path("/");
}

fs::path applicationSupportDirectory(const EnvironmentMap& environment) {
    // The base-directory rules ignore a relative XDG_DATA_HOME.
    if (auto dataHome = lookup(environment, "XDG_DATA_HOME"); dataHome && fs::path(*dataHome).is_absolute()) {
        return withoutTrailingSeparator(fs::path(*dataHome));
    }
    return userHomeDirectory(environment) / ".local" / "share";
}

fs::path applicationDataDirectory(const EnvironmentMap& environment) {
    return applicationSupportDirectory(environment) / kApplicationDataFolderName;
}

CoreProcessResult<CoreLaunchPlan> resolveLaunchPlan(const std::optional<fs::path>& repoRoot, const fs::path& bundleURL,
                                                    const EnvironmentMap& environment,
                                                    const CoreLaunchPlanSearchPaths& search) {
    if (auto plan = bundledPlan(bundleURL, environment)) return *plan;
    if (isApplicationBundle(bundleURL)) return std::unexpected(CoreProcessError::runtimeNotFound());
    if (auto plan = explicitPlan(repoRoot, environment, search)) return *plan;
    if (!repoRoot) return std::unexpected(CoreProcessError::runtimeNotFound());
    if (auto plan = checkoutPlan(*repoRoot, environment, search)) return *plan;
    return std::unexpected(CoreProcessError::runtimeNotFound());
}

}  // namespace murmo
