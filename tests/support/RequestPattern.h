#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stand-in-engine/StandInEngine.h"

namespace murmo::testing {

// A request line to look for among what the engine received: a method and a
// path whose "*" segments stand for any one segment,
// "POST /api/v1/dictations/*/release". The method "*" matches every method.
// Paths are compared segment by segment as sent (still percent-encoded), and
// a query is never part of the match.
class RequestPattern {
public:
    // "METHOD /path"; text without a space is a path for any method.
    explicit RequestPattern(std::string_view text);

    bool matches(std::string_view method, std::string_view path) const;
    bool matches(const StandInRequest& request) const { return matches(request.method, request.path); }
    // What each "*" stood for, in order, when the request matches.
    std::optional<std::vector<std::string>> captures(std::string_view method, std::string_view path) const;

    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::string method_;
    std::vector<std::string> segments_;
};

// The path part of a request target ("/a/b?x=1" gives "/a/b").
std::string_view pathOfTarget(std::string_view target);

// The requests that match `pattern`, in arrival order.
std::vector<StandInRequest> matching(const std::vector<StandInRequest>& requests, const RequestPattern& pattern);

}  // namespace murmo::testing
