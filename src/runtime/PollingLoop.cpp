#include "runtime/PollingLoop.h"

#include <poll.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace murmo {

namespace {

timespec toTimespec(Duration duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<std::time_t>(seconds.count()), static_cast<long>((duration - seconds).count())};
}

}  // namespace

bool PollingLoop::waitAndRunWatches(std::optional<Duration> timeout) {
    takeDroppedWatches();
    // A copy: the callbacks may set or drop watches.
    const Watches watching = watches();
    if (watching.empty() && timeout == Duration::zero()) return false;

    std::vector<pollfd> descriptors{{wakeup_.fd(), POLLIN, 0}};
    for (const auto& watch : watching) descriptors.push_back({watch->fd, POLLIN, 0});
    std::optional<timespec> limit;
    if (timeout) limit = toTimespec(std::max(*timeout, Duration::zero()));
    // Interrupted or failed: the caller's next turn looks again.
    if (::ppoll(descriptors.data(), descriptors.size(), limit ? &*limit : nullptr, nullptr) <= 0) return false;

    if (descriptors.front().revents != 0) wakeup_.acknowledge();
    Watches ready;
    for (std::size_t i = 0; i < watching.size(); ++i) {
        if (descriptors[i + 1].revents != 0) ready.push_back(watching[i]);
    }
    runWatches(ready);
    return !ready.empty();
}

}  // namespace murmo
