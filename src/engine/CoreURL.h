#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// A path below the engine's base URL, kept as separate segments so that an
// identifier always stays one segment: whatever it holds ("/", "?", "." or
// "..") is percent-encoded, never read as path syntax.
class CorePath {
public:
    // Fixed text of our own, split at "/" ("api/v1/dictations").
    static CorePath literal(std::string_view path);
    // Appends one segment taken as data.
    CorePath& segment(std::string_view value);
    CorePath& literalSegments(std::string_view path);

    const std::vector<std::string>& segments() const { return segments_; }

private:
    std::vector<std::string> segments_;
};

// An absolute http(s) or ws(s) URL, split into the parts the transport needs.
struct CoreURL {
    std::string scheme;  // lower case
    std::string host;    // without brackets for IPv6 literals
    std::optional<std::uint16_t> port;
    std::string path;    // percent-encoded, "" or starting with "/"
    std::string query;   // without "?", may be empty

    static std::optional<CoreURL> parse(std::string_view text);

    // The URL with the path's segments appended, a single "/" between them.
    CoreURL appending(const CorePath& path) const;
    // The port to connect to: the explicit one or the scheme's default.
    std::uint16_t effectivePort() const;
    // What goes on the request line: the path ("/" when empty) and query.
    std::string target() const;
    // "host:port" as sent in the Host header.
    std::string hostHeader() const;
    std::string text() const;
};

// Percent-encodes everything except RFC 3986 unreserved characters, and the
// dots of a segment that is "." or "..", so it stays data.
std::string percentEncodePathSegment(std::string_view value);

}  // namespace murmo
