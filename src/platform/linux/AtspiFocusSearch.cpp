#include "platform/linux/AtspiFocusSearch.h"

#include <atspi/atspi-constants.h>

#include <deque>

namespace murmo {

namespace {

// Beyond this many objects a window is too large to walk on demand.
constexpr int kMaximumVisitedObjects = 2000;

constexpr std::uint64_t bit(AtspiStateType state) { return std::uint64_t{1} << static_cast<unsigned>(state); }

}  // namespace

AXResult<AtspiObjectPath> AtspiFocusSearch::activeWindow(const std::string& applicationBusName,
                                                         const AtspiDeadline& deadline) {
    auto windows = objects_.children(AtspiObjectPath{applicationBusName, ATSPI_DBUS_PATH_ROOT}, deadline);
    if (!windows.value) return {windows.error, std::nullopt};
    for (const auto& window : *windows.value) {
        auto states = objects_.states(window, deadline);
        if (states.error == axerror::cannotComplete) return {states.error, std::nullopt};
        if (states.value && (*states.value & bit(ATSPI_STATE_ACTIVE)) != 0) return {axerror::success, window};
    }
    return {axerror::noValue, std::nullopt};
}

AXResult<AtspiObjectPath> AtspiFocusSearch::focusedIn(const std::string& applicationBusName,
                                                      const AtspiDeadline& deadline) {
    auto window = activeWindow(applicationBusName, deadline);
    if (!window.value) return window;
    return focusedBelow(*window.value, deadline);
}

AXResult<AtspiObjectPath> AtspiFocusSearch::focusedBelow(const AtspiObjectPath& root, const AtspiDeadline& deadline) {
    std::deque<AtspiObjectPath> pending{root};
    for (int visited = 0; !pending.empty() && visited < kMaximumVisitedObjects; ++visited) {
        const auto object = std::move(pending.front());
        pending.pop_front();
        auto states = objects_.states(object, deadline);
        if (states.error == axerror::cannotComplete) return {states.error, std::nullopt};
        if (!states.value) continue;  // gone while we walked
        if ((*states.value & bit(ATSPI_STATE_FOCUSED)) != 0) return {axerror::success, object};
        if ((*states.value & bit(ATSPI_STATE_MANAGES_DESCENDANTS)) != 0) continue;
        auto children = objects_.children(object, deadline);
        if (children.error == axerror::cannotComplete) return {children.error, std::nullopt};
        if (!children.value) continue;
        for (auto& child : *children.value) pending.push_back(std::move(child));
    }
    return {axerror::noValue, std::nullopt};
}

}  // namespace murmo
