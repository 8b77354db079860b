#include "bridge/ByteStream.h"

#include <cerrno>

#include <unistd.h>

namespace murmo::bridge {

std::size_t FileDescriptorInput::read(std::span<char> buffer) {
    while (true) {
        const auto count = ::read(fd_, buffer.data(), buffer.size());
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return 0;
    }
}

bool FileDescriptorOutput::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto count = ::write(fd_, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

}  // namespace murmo::bridge
