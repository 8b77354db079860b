#pragma once

#include <string>

#include "bridge/SystemLocale.h"
#include "runtime/Environment.h"

namespace murmo::bridge {

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

}  // namespace murmo::bridge
