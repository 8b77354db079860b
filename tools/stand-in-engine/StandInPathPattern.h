#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// A request path in which a "*" segment stands for exactly one non-empty
// segment ("/api/v1/dictations/*/release"), for routes whose identifiers are
// not known beforehand. Paths are split with URLPath::literal and compared
// segment by segment as sent, still percent-encoded, so an identifier holding
// an encoded "/" stays one segment.
class StandInPathPattern {
public:
    explicit StandInPathPattern(std::string_view pattern);

    // Whether any segment is "*"; without one the pattern names one path.
    bool hasWildcard() const;
    bool matches(std::span<const std::string> segments) const;
    bool matches(std::string_view path) const;

    bool operator==(const StandInPathPattern&) const = default;

private:
    std::vector<std::string> segments_;
};

}  // namespace murmo
