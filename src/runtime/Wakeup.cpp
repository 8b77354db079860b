#include "runtime/Wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace murmo {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() { ::close(fd_); }

void Wakeup::signal() {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, which leaves it readable anyway.
    [[maybe_unused]] auto written = ::write(fd_, &one, sizeof one);
}

void Wakeup::acknowledge() {
    std::uint64_t count = 0;
    // Fails only when nothing was signalled.
    [[maybe_unused]] auto read = ::read(fd_, &count, sizeof count);
}

}  // namespace murmo
