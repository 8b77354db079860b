#include "platform/sim/SequentialIdGenerator.h"

#include <fmt/format.h>

namespace murmo {

std::string SequentialIdGenerator::uuid() {
    std::lock_guard lock(mutex_);
    return fmt::format("00000000-0000-4000-8000-{:012x}", nextUUID_++);
}

std::vector<std::uint8_t> SequentialIdGenerator::randomBytes(std::size_t count) {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) byte = nextByte_++;
    return bytes;
}

}  // namespace murmo
