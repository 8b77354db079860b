#include "engine/CoreURL.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace murmo {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool validScheme(std::string_view scheme) {
    if (scheme.empty() || std::isalpha(static_cast<unsigned char>(scheme.front())) == 0) return false;
    return std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
    });
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || next != end || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string percentEncodePathSegment(std::string_view value) {
    // Unreserved as they are, "." and ".." would still be read as "this
    // segment" and "the parent segment" by whatever resolves the path.
    if (value == ".") return "%2E";
    if (value == "..") return "%2E%2E";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(value.size());
    for (unsigned char c : value) {
        if (isUnreserved(c)) {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[c >> 4]);
            encoded.push_back(kHex[c & 0x0F]);
        }
    }
    return encoded;
}

CorePath CorePath::literal(std::string_view path) {
    CorePath result;
    result.literalSegments(path);
    return result;
}

CorePath& CorePath::literalSegments(std::string_view path) {
    while (!path.empty()) {
        const auto slash = path.find('/');
        const auto piece = path.substr(0, slash);
        if (!piece.empty()) segments_.emplace_back(piece);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return *this;
}

CorePath& CorePath::segment(std::string_view value) {
    segments_.emplace_back(value);
    return *this;
}

std::optional<CoreURL> CoreURL::parse(std::string_view text) {
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) return std::nullopt;
    CoreURL url;
    if (!validScheme(text.substr(0, schemeEnd))) return std::nullopt;
    url.scheme = lowercased(text.substr(0, schemeEnd));
    auto rest = text.substr(schemeEnd + 3);
    if (const auto fragment = rest.find('#'); fragment != std::string_view::npos) rest = rest.substr(0, fragment);
    const auto authorityEnd = rest.find_first_of("/?");
    auto authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (authority.find('@') != std::string_view::npos) return std::nullopt;  // no credentials in an engine URL
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        url.host = std::string(authority.substr(1, close - 1));
        authority.remove_prefix(close + 1);
        if (!authority.empty()) {
            if (authority.front() != ':') return std::nullopt;
            url.port = parsePort(authority.substr(1));
            if (!url.port) return std::nullopt;
        }
    } else {
        const auto colon = authority.rfind(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            url.port = parsePort(authority.substr(colon + 1));
            if (!url.port) return std::nullopt;
        }
    }
    if (url.host.empty()) return std::nullopt;
    const auto queryStart = rest.find('?');
    url.path = std::string(rest.substr(0, queryStart));
    if (queryStart != std::string_view::npos) url.query = std::string(rest.substr(queryStart + 1));
    return url;
}

CoreURL CoreURL::appending(const CorePath& path) const {
    CoreURL result = *this;
    for (const auto& segment : path.segments()) {
        if (result.path.empty() || result.path.back() != '/') result.path.push_back('/');
        result.path += percentEncodePathSegment(segment);
    }
    return result;
}

std::uint16_t CoreURL::effectivePort() const {
    if (port) return *port;
    return scheme == "https" || scheme == "wss" ? 443 : 80;
}

std::string CoreURL::target() const {
    std::string result = path.empty() ? "/" : path;
    if (!query.empty()) result += "?" + query;
    return result;
}

std::string CoreURL::hostHeader() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    std::string result = ipv6 ? "[" + host + "]" : host;
    if (port) result += ":" + std::to_string(*port);
    return result;
}

std::string CoreURL::text() const { return scheme + "://" + hostHeader() + target(); }

}  // namespace murmo
