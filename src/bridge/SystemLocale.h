#pragma once

#include <string>

#include "runtime/Environment.h"

namespace murmo::bridge {

// The user's current locale, where a request leaves the locale to the system.
class SystemLocale {
public:
    virtual ~SystemLocale() = default;
    // An identifier such as "en_US".
    virtual std::string currentIdentifier() const = 0;
};

// The locale of the POSIX environment: the first of LC_ALL, LC_MESSAGES and
// LANG that is set, without its encoding (".UTF-8") or modifier ("@euro").
// The C and POSIX locales name no language; they read as "en_US_POSIX", as
// they do for ICU.
class PosixSystemLocale final : public SystemLocale {
public:
    explicit PosixSystemLocale(EnvironmentMap environment) : environment_(std::move(environment)) {}

    std::string currentIdentifier() const override;

private:
    EnvironmentMap environment_;
};

// Always the same locale; for tests and tools.
class FixedSystemLocale final : public SystemLocale {
public:
    explicit FixedSystemLocale(std::string identifier) : identifier_(std::move(identifier)) {}
    std::string currentIdentifier() const override { return identifier_; }

private:
    std::string identifier_;
};

}  // namespace murmo::bridge
