#include "platform/linux/XInputUserInputWatch.h"

namespace murmo {

namespace {

class XInputUserInputMonitor final : public UserInputMonitor {
public:
    XInputUserInputMonitor(std::weak_ptr<X11RawInputListener> listener, std::uint64_t id)
        : listener_(std::move(listener)), id_(id) {}
    ~XInputUserInputMonitor() override {
        if (const auto listener = listener_.lock()) listener->removeObserver(id_);
    }
    XInputUserInputMonitor(const XInputUserInputMonitor&) = delete;
    XInputUserInputMonitor& operator=(const XInputUserInputMonitor&) = delete;

private:
    // Weak: the listener's thread must never be the one that ends it, which a
    // handler dropping its own monitor would be.
    std::weak_ptr<X11RawInputListener> listener_;
    std::uint64_t id_;
};

}  // namespace

Result<std::unique_ptr<XInputUserInputWatch>> XInputUserInputWatch::open(const std::string& displayName) {
    auto listener = X11RawInputListener::open(displayName);
    if (!listener) return std::unexpected(listener.error());
    return std::make_unique<XInputUserInputWatch>(std::move(*listener));
}

std::unique_ptr<UserInputMonitor> XInputUserInputWatch::addGlobalMonitor(Handler handler) {
    if (!handler || !listener_->isListening()) return nullptr;
    return std::make_unique<XInputUserInputMonitor>(listener_, listener_->addObserver(std::move(handler)));
}

}  // namespace murmo
