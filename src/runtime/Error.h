#pragma once

#include <expected>
#include <optional>
#include <string>
#include <utility>

namespace murmo {

// A failure as the platform would report it: a domain, a numeric code and a
// human-readable message, plus the stable snake_case reason where one is
// defined (the form sent to the engine or the dashboard page).
struct Error {
    std::string domain;
    long code = 0;
    std::string message;
    std::optional<std::string> reason;

    Error() = default;
    Error(std::string domain, long code, std::string message, std::optional<std::string> reason = std::nullopt)
        : domain(std::move(domain)), code(code), message(std::move(message)), reason(std::move(reason)) {}

    bool operator==(const Error&) const = default;
};

template <class T>
using Result = std::expected<T, Error>;

using Status = std::expected<void, Error>;

inline std::unexpected<Error> fail(Error error) { return std::unexpected<Error>(std::move(error)); }

inline std::unexpected<Error> fail(std::string domain, long code, std::string message,
                                   std::optional<std::string> reason = std::nullopt) {
    return std::unexpected<Error>(Error(std::move(domain), code, std::move(message), std::move(reason)));
}

}  // namespace murmo
