#pragma once

// What the `murmo` program does before and around the application: the
// delivery-smoke exit, the launch configuration, the desktop and the main
// loop, and the quit signals. The steps before the application exists are
// separate so that their exits can be tested in-process.

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "engine/MurmoLaunchConfiguration.h"
#include "runtime/Error.h"
#include "runtime/Ids.h"

namespace murmo {

inline constexpr std::string_view kDeliverySmokeNotice = "Dorvex delivery smoke is disabled in this build.\n";
inline constexpr int kDeliverySmokeStatus = 69;
inline constexpr int kConfigurationFailureStatus = 78;

struct ProgramEntryServices {
    // Where the one-line diagnostics go.
    int errorOutput = STDERR_FILENO;
    std::function<Result<std::uint16_t>()> reservePort = reserveLoopbackPort;
};

// 69, after writing the notice and nothing else, when any argument (the
// program path included) is "--delivery-smoke".
std::optional<int> deliverySmokeExit(std::span<char* const> arguments, const ProgramEntryServices& services);

// The launch configuration of a normal start, or the line saying that no
// loopback port could be reserved for the engine, written out; the caller
// then exits with kConfigurationFailureStatus.
std::optional<MurmoLaunchConfiguration> makeLaunchConfiguration(IdGenerator& ids, const ProgramEntryServices& services);

// The whole program; returns its exit status.
int runMurmo(std::span<char* const> arguments, const ProgramEntryServices& services = {});

}  // namespace murmo
