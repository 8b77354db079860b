#include "bridge/FileDescriptorStream.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace murmo::bridge {

namespace {

// A descriptor the parent left non-blocking is waited on, not taken for
// closed.
bool waitUntilReady(int fd, short events) {
    pollfd entry{fd, events, 0};
    while (::poll(&entry, 1, -1) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool isWouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

std::size_t FileDescriptorInput::read(std::span<char> buffer) {
    while (true) {
        const auto count = ::read(fd_, buffer.data(), buffer.size());
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno == EINTR) continue;
        if (!isWouldBlock(errno) || !waitUntilReady(fd_, POLLIN)) return 0;
    }
}

bool FileDescriptorOutput::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto count = ::write(fd_, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            if (!isWouldBlock(errno) || !waitUntilReady(fd_, POLLOUT)) return false;
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

}  // namespace murmo::bridge
