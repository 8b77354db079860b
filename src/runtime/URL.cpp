#include "runtime/URL.h"

#include <boost/url/encode.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/rfc/unreserved_chars.hpp>

#include <charconv>

namespace murmo {

namespace urls = boost::urls;

namespace {

std::optional<std::uint16_t> portNumber(std::string_view digits) {
    unsigned value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [next, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || next != end || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// RFC 3986 through Boost.URL, plus what it leaves to the caller: a port in
// range, and a path that starts with "/" after an authority (Boost.URL 1.81
// reads "host:x" as an empty port followed by the path "x").
std::optional<urls::url> parseAbsolute(std::string_view text) {
    auto parsed = urls::parse_uri(text);
    if (!parsed) return std::nullopt;
    urls::url url = *parsed;
    if (url.has_authority() && !url.encoded_path().empty() && !url.encoded_path().starts_with('/')) {
        return std::nullopt;
    }
    if (url.has_port() && !url.port().empty() && !portNumber(url.port())) return std::nullopt;
    url.normalize_scheme();
    url.remove_fragment();
    if (url.has_query() && url.encoded_query().empty()) url.remove_query();
    return url;
}

}  // namespace

URLPath URLPath::literal(std::string_view path) {
    URLPath result;
    result.literalSegments(path);
    return result;
}

URLPath& URLPath::literalSegments(std::string_view path) {
    while (!path.empty()) {
        const auto slash = path.find('/');
        const auto piece = path.substr(0, slash);
        if (!piece.empty()) segments_.emplace_back(piece);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return *this;
}

URLPath& URLPath::segment(std::string_view value) {
    segments_.emplace_back(value);
    return *this;
}

std::string URLPath::encodeSegment(std::string_view value) {
    // Unreserved as they are, "." and ".." would still be read as "this
    // segment" and "the parent segment" by whatever resolves the path.
    if (value == ".") return "%2E";
    if (value == "..") return "%2E%2E";
    return urls::encode(value, urls::unreserved_chars);
}

std::optional<URL> URL::parse(std::string_view text) {
    auto url = parseAbsolute(text);
    if (!url) return std::nullopt;
    if (url->has_port() && url->port().empty()) url->remove_port();
    return URL(std::move(*url));
}

std::optional<URL> URL::parseServer(std::string_view text) {
    auto url = parseAbsolute(text);
    if (!url || !url->has_authority() || url->encoded_host().empty() || url->has_userinfo()) return std::nullopt;
    if (url->has_port() && url->port().empty()) return std::nullopt;
    return URL(std::move(*url));
}

std::optional<URL> URL::parseResource(std::string_view text) {
    // Checked on the parse itself: the URL kept drops its fragment.
    const auto parsed = urls::parse_uri(text);
    if (!parsed || parsed->has_userinfo() || parsed->has_password() || parsed->has_fragment()) return std::nullopt;
    auto url = parseAbsolute(text);
    if (!url || !url->has_authority() || url->encoded_host().empty()) return std::nullopt;
    return URL(std::move(*url));
}

std::string_view URL::scheme() const { return url_.scheme(); }

std::string_view URL::host() const { return url_.encoded_host_address(); }

std::optional<std::uint16_t> URL::port() const {
    if (!url_.has_port()) return std::nullopt;
    return portNumber(url_.port());
}

std::uint16_t URL::effectivePort() const {
    if (auto explicitPort = port()) return *explicitPort;
    return scheme() == "https" || scheme() == "wss" ? 443 : 80;
}

std::string URL::target() const {
    std::string result = url_.encoded_path().empty() ? "/" : std::string(url_.encoded_path());
    if (url_.has_query()) {
        result += '?';
        result += url_.encoded_query();
    }
    return result;
}

std::string URL::hostHeader() const { return std::string(url_.encoded_host_and_port()); }

std::string URL::text() const { return std::string(url_.buffer()); }

URL URL::appending(const URLPath& path) const {
    urls::url result = url_;
    auto segments = result.encoded_segments();
    // A path ending in "/" ends in an empty segment: the first new segment
    // takes its place instead of doubling the slash.
    if (!path.segments().empty() && !segments.empty() && segments.back().empty()) segments.pop_back();
    for (const auto& segment : path.segments()) segments.push_back(URLPath::encodeSegment(segment));
    return URL(std::move(result));
}

URL URL::withScheme(std::string_view scheme) const {
    urls::url result = url_;
    result.set_scheme(scheme);
    return URL(std::move(result));
}

URL URL::withPath(std::string_view encodedPath) const {
    urls::url result = url_;
    result.set_encoded_path(encodedPath);
    return URL(std::move(result));
}

URL URL::removingQueryParameters(std::string_view name) const {
    urls::url result = url_;
    if (!result.has_query()) return URL(std::move(result));
    result.params().erase(name);
    if (result.encoded_query().empty()) result.remove_query();
    return URL(std::move(result));
}

URL URL::withFragment(std::optional<std::string_view> fragment) const {
    urls::url result = url_;
    if (fragment) {
        result.set_fragment(*fragment);
    } else {
        result.remove_fragment();
    }
    return URL(std::move(result));
}

}  // namespace murmo
