#pragma once

#include <cstddef>
#include <cstdint>
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

// Formats 16 bytes as a UUID string, setting the version 4 and variant bits.
std::string formatUUIDv4(std::vector<std::uint8_t> bytes);
bool isLowercaseUUID(std::string_view text);

}  // namespace murmo
