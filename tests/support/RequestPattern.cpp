#include "RequestPattern.h"

#include "runtime/URL.h"

namespace murmo::testing {

namespace {

// "METHOD /path" split at its first space; without one, any method.
std::pair<std::string_view, std::string_view> methodAndPath(std::string_view text) {
    const auto space = text.find(' ');
    if (space == std::string_view::npos) return {"*", text};
    return {text.substr(0, space), text.substr(space + 1)};
}

}  // namespace

RequestPattern::RequestPattern(std::string_view text)
    : text_(text),
      method_(methodAndPath(text).first),
      segments_(URLPath::literal(methodAndPath(text).second).segments()) {}

std::optional<std::vector<std::string>> RequestPattern::captures(std::string_view method, std::string_view path) const {
    if (method_ != "*" && method_ != method) return std::nullopt;
    const auto segments = URLPath::literal(pathOfTarget(path)).segments();
    if (segments.size() != segments_.size()) return std::nullopt;
    std::vector<std::string> captured;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments_[i] == "*") {
            captured.push_back(segments[i]);
        } else if (segments_[i] != segments[i]) {
            return std::nullopt;
        }
    }
    return captured;
}

bool RequestPattern::matches(std::string_view method, std::string_view path) const {
    return captures(method, path).has_value();
}

std::string_view pathOfTarget(std::string_view target) { return target.substr(0, target.find('?')); }

std::vector<StandInRequest> matching(const std::vector<StandInRequest>& requests, const RequestPattern& pattern) {
    std::vector<StandInRequest> found;
    for (const auto& request : requests) {
        if (pattern.matches(request)) found.push_back(request);
    }
    return found;
}

}  // namespace murmo::testing
