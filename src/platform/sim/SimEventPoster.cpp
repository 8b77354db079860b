#include "platform/sim/SimEventPoster.h"

namespace murmo {

namespace {

class SimKeyboardEventSource final : public KeyboardEventSource {
public:
    explicit SimKeyboardEventSource(SimDesktop& desktop) : desktop_(desktop) {}

    std::optional<KeyboardEvent> makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) override {
        if (desktop_.takeEventFault(SimEventOperation::makeEvent)) return std::nullopt;
        return KeyboardEvent{.virtualKey = virtualKey, .keyDown = keyDown};
    }

private:
    SimDesktop& desktop_;
};

}  // namespace

bool SimEventPoster::preflightPostEventAccess() { return desktop_.model().eventPosting.postAccess; }

bool SimEventPoster::requestPostEventAccess() {
    auto& posting = desktop_.model().eventPosting;
    ++posting.accessRequests;
    if (posting.grantsAccessOnRequest) posting.postAccess = true;
    return posting.postAccess;
}

std::unique_ptr<KeyboardEventSource> SimEventPoster::makeEventSource() {
    if (desktop_.takeEventFault(SimEventOperation::makeSource)) return nullptr;
    return std::make_unique<SimKeyboardEventSource>(desktop_);
}

void SimEventPoster::post(const KeyboardEvent& event) { desktop_.receivePostedEvent(event); }

}  // namespace murmo
