#include "runtime/TerminationSignals.h"

#include <pthread.h>

#include <ctime>

namespace murmo {

namespace {
// How often the watcher looks up from its wait to see whether it should end.
constexpr std::timespec kWakeInterval{0, 100'000'000};
}  // namespace

TerminationSignals::TerminationSignals(MainLoop& loop, std::function<void(int)> onSignal)
    : loop_(loop), onSignal_(std::move(onSignal)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this] { watch(); });
}

TerminationSignals::~TerminationSignals() {
    stopping_ = true;
    watcher_.join();
}

void TerminationSignals::watch() {
    while (!stopping_) {
        const int signal = sigtimedwait(&signals_, nullptr, &kWakeInterval);
        if (signal > 0) loop_.post([this, signal] { onSignal_(signal); });
    }
}

}  // namespace murmo
