#pragma once

// Finds focus by walking the accessible tree, for focus the tracker has not
// seen (it existed before the tracker started, or its event was lost). Every
// walk stops at the deadline and after a bounded number of objects.

#include <string>

#include "platform/Accessibility.h"
#include "platform/linux/AtspiObjects.h"

namespace murmo {

class AtspiFocusSearch {
public:
    explicit AtspiFocusSearch(AtspiObjects& objects) : objects_(objects) {}

    // The application's window that holds the ACTIVE state; noValue when none
    // does.
    AXResult<AtspiObjectPath> activeWindow(const std::string& applicationBusName, const AtspiDeadline& deadline);
    // The object holding the FOCUSED state in the application's active
    // window; noValue when it has none.
    AXResult<AtspiObjectPath> focusedIn(const std::string& applicationBusName, const AtspiDeadline& deadline);
    // The first object holding the FOCUSED state below `root` (breadth
    // first; subtrees that manage their own descendants are not entered).
    AXResult<AtspiObjectPath> focusedBelow(const AtspiObjectPath& root, const AtspiDeadline& deadline);

private:
    AtspiObjects& objects_;
};

}  // namespace murmo
