#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace murmo {

// Main-thread cancellation flag shared by the one who cancels and the work
// that watches it. Copies share one state.
class CancelToken {
public:
    // Removes its callback when destroyed.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription() { reset(); }
        void reset();

    private:
        friend class CancelToken;
        struct Link;
        std::weak_ptr<Link> link_;
        std::uint64_t id_ = 0;
    };

    CancelToken();

    void cancel();
    bool isCancelled() const;
    // Runs `callback` once when cancelled; at once if already cancelled.
    [[nodiscard]] Subscription onCancel(std::function<void()> callback) const;

private:
    std::shared_ptr<Subscription::Link> state_;
};

struct CancelToken::Subscription::Link {
    bool cancelled = false;
    std::uint64_t nextID = 1;
    std::map<std::uint64_t, std::function<void()>> callbacks;
};

}  // namespace murmo
