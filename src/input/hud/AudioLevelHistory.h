#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace murmo {

// A fixed window of recent audio levels, oldest first, each in 0...1.
class AudioLevelHistory {
public:
    // A capacity below 1 becomes 1; every value starts at 0.
    explicit AudioLevelHistory(int capacity) : values_(static_cast<std::size_t>(capacity < 1 ? 1 : capacity), 0.0) {}

    // Drops the oldest value. NaN counts as silence and +∞ as full level: a
    // clamp made of comparisons would let NaN through, and one NaN would
    // then stay in a bar's smoothing until the meter stopped.
    void append(double level) {
        values_.erase(values_.begin());
        values_.push_back(sanitized(level));
    }
    void reset() { std::fill(values_.begin(), values_.end(), 0.0); }

    std::size_t capacity() const { return values_.size(); }
    const std::vector<double>& values() const { return values_; }

    static double sanitized(double level) {
        if (std::isnan(level)) return 0;
        return level < 0 ? 0 : (level > 1 ? 1 : level);
    }

    bool operator==(const AudioLevelHistory&) const = default;

private:
    std::vector<double> values_;
};

}  // namespace murmo
