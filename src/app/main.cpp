#include <cstdio>
#include <string_view>
#include <unistd.h>

#include "engine/MurmoLaunchConfiguration.h"
#include "runtime/Ids.h"

namespace {

constexpr std::string_view kDeliverySmokeNotice = "Dorvex delivery smoke is disabled in this build.\n";
constexpr int kDeliverySmokeStatus = 69;
constexpr int kConfigurationFailureStatus = 78;

bool asksForDeliverySmoke(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--delivery-smoke") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (asksForDeliverySmoke(argc, argv)) {
        // Straight to the descriptor: nothing else of the program may run.
        [[maybe_unused]] auto written = ::write(STDERR_FILENO, kDeliverySmokeNotice.data(), kDeliverySmokeNotice.size());
        return kDeliverySmokeStatus;
    }

    murmo::SystemIdGenerator ids;
    auto configuration = murmo::MurmoLaunchConfiguration::isolatedManaged({.ids = ids});
    if (!configuration) {
        std::fprintf(stderr, "murmo: %s\n", configuration.error().localizedDescription().c_str());
        return kConfigurationFailureStatus;
    }
    std::printf("Murmo: launch configuration ready (engine at %s); the desktop shell is not built yet.\n",
                configuration->coreURL.c_str());
    return 0;
}
