#include "StandInPathPattern.h"

#include <algorithm>

#include "runtime/URL.h"

namespace murmo {

namespace {

constexpr std::string_view kWildcard = "*";

}  // namespace

StandInPathPattern::StandInPathPattern(std::string_view pattern) : segments_(URLPath::literal(pattern).segments()) {}

bool StandInPathPattern::hasWildcard() const { return std::ranges::find(segments_, kWildcard) != segments_.end(); }

bool StandInPathPattern::matches(std::span<const std::string> segments) const {
    return std::ranges::equal(segments_, segments, [](const std::string& piece, const std::string& segment) {
        return piece == kWildcard || piece == segment;
    });
}

bool StandInPathPattern::matches(std::string_view path) const { return matches(URLPath::literal(path).segments()); }

}  // namespace murmo
