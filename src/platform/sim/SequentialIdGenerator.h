#pragma once

#include <cstdint>
#include <mutex>

#include "runtime/Ids.h"

namespace murmo {

// Deterministic: the n-th uuid is "00000000-0000-4000-8000-" followed by n in
// 12 hex digits (counting from 1); bytes count up from the given seed.
class SequentialIdGenerator final : public IdGenerator {
public:
    explicit SequentialIdGenerator(std::uint8_t seed = 0) : nextByte_(seed) {}
    std::string uuid() override;
    std::vector<std::uint8_t> randomBytes(std::size_t count) override;

private:
    std::mutex mutex_;
    std::uint64_t nextUUID_ = 1;
    std::uint8_t nextByte_;
};

}  // namespace murmo
