#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "bridge/ByteStream.h"

namespace murmo::bridge {

// Byte streams over a file descriptor the caller keeps open for their
// lifetime. A descriptor left non-blocking is waited on, not taken for closed.
class FileDescriptorInput final : public InputSource {
public:
    explicit FileDescriptorInput(int fd) : fd_(fd) {}
    std::size_t read(std::span<char> buffer) override;

private:
    int fd_;
};

class FileDescriptorOutput final : public OutputSink {
public:
    explicit FileDescriptorOutput(int fd) : fd_(fd) {}
    bool write(std::string_view bytes) override;

private:
    int fd_;
};

}  // namespace murmo::bridge
