#include <optional>

#include "shell/dashboard/DashboardWindowController.h"

namespace murmo {

URL NativeWebSurfaceURL::workspace(const URL& from) {
    // The page chooses its surface itself; a stale one in the engine URL
    // would pin it.
    return from.withPath("/workspace").removingQueryParameters("surface").withFragment(std::nullopt);
}

URL NativeWebSurfaceURL::settings(const URL& from) { return workspace(from).withFragment("/settings/general"); }

}  // namespace murmo
