#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace murmo {

// Source of identifiers and random bytes, injectable so tests are repeatable.
class IdGenerator {
public:
    virtual ~IdGenerator() = default;
    // A lower-case UUID version 4 string, 36 characters.
    virtual std::string uuid() = 0;
    virtual std::vector<std::uint8_t> randomBytes(std::size_t count) = 0;
};

// getrandom(2): the kernel's CSPRNG.
class SystemIdGenerator final : public IdGenerator {
public:
    std::string uuid() override;
    std::vector<std::uint8_t> randomBytes(std::size_t count) override;
};

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

// Formats 16 bytes as a UUID string, setting the version 4 and variant bits.
std::string formatUUIDv4(std::vector<std::uint8_t> bytes);
bool isLowercaseUUID(std::string_view text);

}  // namespace murmo
