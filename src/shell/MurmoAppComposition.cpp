#include "shell/MurmoAppComposition.h"

#include <utility>

namespace murmo {

MurmoAppDelegatePorts composeAppDelegate(const DesktopPorts& ports, MurmoAppCompositionOptions options) {
    auto permissions = PermissionCenter::create(PermissionCenterPorts{.loop = options.loop,
                                                                      .microphone = *ports.microphonePermission,
                                                                      .accessibility = ports.accessibility,
                                                                      .keyTap = *ports.keyTap,
                                                                      .eventPoster = ports.eventPoster,
                                                                      .workspace = ports.workspace});
    const auto bundlePath = options.bundle->bundleURL();
    return MurmoAppDelegatePorts{
        .loop = options.loop,
        .chrome = ports.chrome,
        .statusBar = ports.statusBar,
        .alerts = ports.alerts,
        .bundle = options.bundle,
        .updaters = options.updaters,
        .ids = options.ids,
        .permissions = permissions,
        .preferences = NativePreferencesControllerPorts{.loop = options.loop,
                                                        .defaults = ports.defaults,
                                                        .chrome = ports.chrome,
                                                        .loginItem = ports.loginItem,
                                                        .ids = options.ids,
                                                        .preferredLanguages = options.preferredLanguages,
                                                        .bundlePath = bundlePath},
        .dashboard =
            DashboardWindowPorts{
                .loop = options.loop,
                .windows = ports.windows,
                .chrome = ports.chrome,
                .workspace = ports.workspace,
                .defaults = ports.defaults,
                .savePanel = ports.savePanel,
                .pasteboard = ports.pasteboard,
                .iconRenderer = ports.iconRenderer,
                .selection = NativeSelectionBridgePorts{.reader = {.accessibility = ports.accessibility,
                                                                   .workspace = ports.workspace,
                                                                   .processInfo = ports.processInfo},
                                                        .preferredLanguages = options.preferredLanguages},
                .permissions = permissions,
                .preferredLanguages = options.preferredLanguages,
            },
        .coordinator = std::move(options.coordinator),
        .log = std::move(options.log),
    };
}

}  // namespace murmo
