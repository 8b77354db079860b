#pragma once

#include <string>

#include "coordinator/DesktopCoordinator.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

// What the status menu shows of the dictation coordinator, read afresh at
// every refresh.
struct CoordinatorMenuStatus {
    bool connected = false;
    bool paused = false;
    // The active shortcut in the interface language, ending in " · " and the
    // "disabled" text while the shortcut is switched off.
    std::string shortcutDescription;

    static CoordinatorMenuStatus read(const DesktopCoordinator& coordinator, NativeAppLanguage language);

    bool operator==(const CoordinatorMenuStatus&) const = default;
};

}  // namespace murmo
