#pragma once

#include <string>

#include "bridge/SystemLocale.h"

namespace murmo::bridge {

// Always the same locale.
class FixedSystemLocale final : public SystemLocale {
public:
    explicit FixedSystemLocale(std::string identifier) : identifier_(std::move(identifier)) {}
    std::string currentIdentifier() const override { return identifier_; }

private:
    std::string identifier_;
};

}  // namespace murmo::bridge
