#pragma once

#include <functional>
#include <utility>

namespace murmo {

// Keeps an observer registered with whoever notifies it: dropping the handle
// (or reset()) removes the observer, once. Move-only. The remover must not
// outlive what it removes from; notifiers hand out removers that hold their
// state weakly.
class ObserverHandle {
public:
    ObserverHandle() = default;
    explicit ObserverHandle(std::function<void()> remove) : remove_(std::move(remove)) {}
    ObserverHandle(ObserverHandle&& other) noexcept : remove_(std::exchange(other.remove_, nullptr)) {}
    ObserverHandle& operator=(ObserverHandle&& other) noexcept {
        if (this != &other) {
            reset();
            remove_ = std::exchange(other.remove_, nullptr);
        }
        return *this;
    }
    ObserverHandle(const ObserverHandle&) = delete;
    ObserverHandle& operator=(const ObserverHandle&) = delete;
    ~ObserverHandle() { reset(); }

    void reset() {
        if (auto remove = std::exchange(remove_, nullptr)) remove();
    }
    explicit operator bool() const { return static_cast<bool>(remove_); }

private:
    std::function<void()> remove_;
};

}  // namespace murmo
