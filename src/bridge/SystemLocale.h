#pragma once

#include <string>

namespace murmo::bridge {

// The user's current locale, where a request leaves the locale to the system.
class SystemLocale {
public:
    virtual ~SystemLocale() = default;
    // An identifier such as "en_US".
    virtual std::string currentIdentifier() const = 0;
};

}  // namespace murmo::bridge
