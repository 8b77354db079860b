#pragma once

#include <boost/url/url.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// A path to append to a URL, kept as separate segments so that an identifier
// always stays one segment: whatever it holds ("/", "?", "." or "..") is
// percent-encoded, never read as path syntax.
class URLPath {
public:
    // Text split at "/" ("api/v1/dictations"), empty pieces dropped: fixed
    // text of our own, or an encoded path as received, whose pieces then stay
    // encoded.
    static URLPath literal(std::string_view path);
    // Appends one segment taken as data.
    URLPath& segment(std::string_view value);
    URLPath& literalSegments(std::string_view path);

    const std::vector<std::string>& segments() const { return segments_; }

    // `value` as one segment: everything but RFC 3986's unreserved
    // characters is percent-encoded, and so are the dots of "." and "..".
    static std::string encodeSegment(std::string_view value);

private:
    std::vector<std::string> segments_;
};

// An absolute URL, parsed and kept by Boost.URL in its encoded form. The
// scheme is lower case, an empty query counts as none, and a fragment is
// dropped: neither a request nor a configuration ever uses one. The one
// exception is a page address the dashboard opens at an anchor
// (withFragment); what goes on the wire (target()) never holds it.
class URL {
public:
    // Empty: names nothing, and no transport connects to it.
    URL() = default;

    // Any absolute URL: a scheme, then what RFC 3986 allows. A port, when the
    // URL names one, is at most 65535; "host:" counts as naming none.
    static std::optional<URL> parse(std::string_view text);
    // A URL this program connects to: "scheme://host[:port][/path][?query]"
    // with a host, a port number after any colon and no user information.
    static std::optional<URL> parseServer(std::string_view text);
    // A resource to fetch, such as a feed: "scheme://host..." with a non-empty
    // host, and no user information or fragment, not even their empty
    // delimiters ("https://@host/", "https://host/f#"). A query is kept.
    static std::optional<URL> parseResource(std::string_view text);

    std::string_view scheme() const;
    // As written, without the brackets of an IPv6 literal ("::1").
    std::string_view host() const;
    std::optional<std::uint16_t> port() const;
    // The explicit port, or the scheme's default (443 for https and wss).
    std::uint16_t effectivePort() const;
    // What goes on the request line: the path ("/" when empty) and query.
    std::string target() const;
    // The host (bracketed when IPv6) and the explicit port, as sent in the
    // Host header.
    std::string hostHeader() const;
    std::string text() const;

    // This URL with `path`'s segments appended below its path, one "/"
    // between each; the query stays.
    URL appending(const URLPath& path) const;
    URL withScheme(std::string_view scheme) const;
    // This URL with its path replaced by `encodedPath` (from "/").
    URL withPath(std::string_view encodedPath) const;
    // Without the query parameters whose decoded name is exactly `name`; a
    // query left with none goes.
    URL removingQueryParameters(std::string_view name) const;
    // This URL at the anchor `fragment` (taken as data and encoded where it
    // must be); absent removes the anchor.
    URL withFragment(std::optional<std::string_view> fragment) const;

private:
    explicit URL(boost::urls::url url) : url_(std::move(url)) {}

    boost::urls::url url_;
};

}  // namespace murmo
