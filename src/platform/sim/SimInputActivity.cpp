#include "platform/sim/SimInputActivity.h"

namespace murmo {

std::uint32_t SimInputActivity::eventCount(InputEventType type) {
    const auto& counters = desktop_.model().counters;
    switch (type) {
        case InputEventType::keyDown: return counters.keyDown;
        case InputEventType::leftMouseDown: return counters.leftMouseDown;
        case InputEventType::rightMouseDown: return counters.rightMouseDown;
        case InputEventType::otherMouseDown: return counters.otherMouseDown;
    }
    return 0;
}

bool SimInputActivity::isSecureEventInputEnabled() { return desktop_.model().secureEventInput; }

}  // namespace murmo
