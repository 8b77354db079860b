#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "runtime/ObserverHandle.h"

namespace murmo {

// Observers of one kind of notice, each kept while its handle lives. An
// observer removed while the others are told is not called later in that
// pass, and a handle may outlive the list. Single-threaded.
template <class... Args>
class ObserverList {
public:
    using Observer = std::function<void(Args...)>;

    ObserverHandle add(Observer observer) {
        const auto id = nextID_++;
        observers_->emplace(id, std::move(observer));
        return ObserverHandle([weak = std::weak_ptr<Observers>(observers_), id] {
            if (auto observers = weak.lock()) observers->erase(id);
        });
    }

    void notify(Args... args) const {
        // A copy: an observer may add or remove observers while it is told.
        const auto observers = *observers_;
        for (const auto& [id, observer] : observers) {
            if (observers_->contains(id)) observer(args...);
        }
    }

    std::size_t size() const { return observers_->size(); }

private:
    using Observers = std::map<std::uint64_t, Observer>;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    std::uint64_t nextID_ = 0;
};

}  // namespace murmo
