#include "app/ProgramEntry.h"

#include <unistd.h>

#include <csignal>
#include <string>

#include "app/MurmoDesktop.h"
#include "runtime/SystemIdGenerator.h"
#include "runtime/glib/GLibLoop.h"
#include "runtime/glib/GLibSignalWatch.h"

namespace murmo {

namespace {

void writeLine(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto written = ::write(fd, text.data(), text.size());
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

std::optional<int> deliverySmokeExit(std::span<char* const> arguments, const ProgramEntryServices& services) {
    for (const char* argument : arguments) {
        if (argument && std::string_view(argument) == "--delivery-smoke") {
            // Straight to the descriptor: nothing else of the program runs.
            writeLine(services.errorOutput, kDeliverySmokeNotice);
            return kDeliverySmokeStatus;
        }
    }
    return std::nullopt;
}

std::optional<MurmoLaunchConfiguration> makeLaunchConfiguration(IdGenerator& ids,
                                                                const ProgramEntryServices& services) {
    auto configuration = MurmoLaunchConfiguration::isolatedManaged(
        MurmoLaunchConfigurationServices{.ids = ids, .reservePort = services.reservePort});
    if (configuration) return std::move(*configuration);
    writeLine(services.errorOutput, "murmo: no loopback port could be reserved for the Dorvex core; not starting.\n");
    return std::nullopt;
}

int runMurmo(std::span<char* const> arguments, const ProgramEntryServices& services) {
    if (const auto status = deliverySmokeExit(arguments, services)) return *status;

    SystemIdGenerator ids;
    auto configuration = makeLaunchConfiguration(ids, services);
    if (!configuration) return kConfigurationFailureStatus;

    GLibLoop loop;
    MurmoDesktop desktop(loop, std::move(*configuration));
    for (const auto& missing : desktop.missingCapabilities()) {
        writeLine(services.errorOutput, "murmo: " + missing + "; it is simulated instead.\n");
    }
    desktop.setOnTerminated([&loop] { loop.quit(); });
    // A quit from a terminal or the session manager runs the same handshake
    // as the menu's Quit.
    GLibSignalWatch signals(loop, {SIGINT, SIGTERM, SIGHUP}, [&desktop](int) { desktop.terminate(); });
    desktop.launch();
    loop.run();
    return 0;
}

}  // namespace murmo
