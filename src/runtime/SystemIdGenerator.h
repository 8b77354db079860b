#pragma once

#include "runtime/Ids.h"

namespace murmo {

// getrandom(2): the kernel's CSPRNG.
class SystemIdGenerator final : public IdGenerator {
public:
    std::string uuid() override;
    std::vector<std::uint8_t> randomBytes(std::size_t count) override;
};

}  // namespace murmo
