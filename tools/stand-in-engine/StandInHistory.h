#pragma once

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace murmo {

// The most recent entries of something that happens without bound (requests,
// socket frames) and how many there were in all, so memory stays bounded
// however long the stand-in runs. Not thread-safe: the owner locks.
template <class Entry>
class StandInHistory {
public:
    explicit StandInHistory(std::size_t capacity) : capacity_(capacity) {}

    void add(Entry entry) {
        ++total_;
        if (capacity_ == 0) return;
        if (recent_.size() == capacity_) recent_.pop_front();
        recent_.push_back(std::move(entry));
    }

    // Oldest first; at most the capacity.
    std::vector<Entry> recent() const { return {recent_.begin(), recent_.end()}; }
    std::size_t total() const { return total_; }

private:
    std::size_t capacity_;
    std::deque<Entry> recent_;
    std::size_t total_ = 0;
};

}  // namespace murmo
