#include "shell/menus/CoordinatorMenuStatus.h"

namespace murmo {

CoordinatorMenuStatus CoordinatorMenuStatus::read(const DesktopCoordinator& coordinator, NativeAppLanguage language) {
    return CoordinatorMenuStatus{.connected = coordinator.connected(),
                                 .paused = coordinator.paused(),
                                 .shortcutDescription = coordinator.shortcutDescription(language)};
}

}  // namespace murmo
