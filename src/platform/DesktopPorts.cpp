#include "platform/DesktopPorts.h"

namespace murmo {

DesktopPorts DesktopPorts::withChrome(StatusBar& otherStatusBar, AppWindowFactory& otherWindows) const {
    return DesktopPorts{
        .accessibility = accessibility,
        .workspace = workspace,
        .processInfo = processInfo,
        .inputActivity = inputActivity,
        .pasteboard = pasteboard,
        .eventPoster = eventPoster,
        .userInputWatch = userInputWatch,
        .defaults = defaults,
        .chrome = chrome,
        .savePanel = savePanel,
        .alerts = alerts,
        .statusBar = otherStatusBar,
        .windows = otherWindows,
        .loginItem = loginItem,
        .speechSynthesizer = speechSynthesizer,
        .hud = hud,
        .textMeasure = textMeasure,
        .iconRenderer = iconRenderer,
        .keyTap = keyTap,
        .audioEngines = audioEngines,
        .audioDevices = audioDevices,
        .microphonePermission = microphonePermission,
        .cuePlayers = cuePlayers,
    };
}

}  // namespace murmo
