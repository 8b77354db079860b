// How long the shortcut router's start() blocks its caller, with the stop that
// ends it, against the floor of that design: starting a bare thread, waiting
// for it to confirm through a latch, then waking and joining it. Prints the
// ratio of the two; the absolute times show how far a start stays below the
// router's 1.0 s start limit.
//
// The keyboard tap is the simulated one, so the timing is the router's own
// work: creating the tap, starting and naming its thread, the handshake and
// the generation checks, and on stop the thread's wake-up and join.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "input/ConfirmationLatch.h"
#include "input/GlobalShortcutRouter.h"
#include "platform/sim/SimKeyTap.h"
#include "runtime/SystemClock.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;

void BM_RouterStartAndStop(benchmark::State& state) {
    auto keys = std::make_shared<SimKeyTap>();
    auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(), ShortcutChoice::function());
    router->onAction = [](ShortcutPurpose, ShortcutAction, MonotonicTime) {};
    for (auto _ : state) {
        if (!router->start()) state.SkipWithError("the router did not start");
        router->stop();
    }
}
BENCHMARK(BM_RouterStartAndStop)->Unit(benchmark::kMicrosecond);

// A thread that confirms its start and then waits to be told to end, as the
// router's thread serves its tap until it is stopped.
void BM_BareThreadStartAndHandshake(benchmark::State& state) {
    for (auto _ : state) {
        auto confirmation = std::make_shared<ConfirmationLatch>();
        std::mutex mutex;
        std::condition_variable woken;
        bool stopRequested = false;
        std::thread thread([&] {
            confirmation->raise();
            std::unique_lock lock(mutex);
            woken.wait(lock, [&] { return stopRequested; });
        });
        if (!confirmation->waitFor(GlobalShortcutRouter::kStartTimeout)) state.SkipWithError("no confirmation");
        {
            std::lock_guard lock(mutex);
            stopRequested = true;
        }
        woken.notify_one();
        thread.join();
    }
}
BENCHMARK(BM_BareThreadStartAndHandshake)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_RouterStartAndStop", "BM_BareThreadStartAndHandshake")) {
            std::printf("router start and stop / bare thread start, handshake and join: %.2fx\n", *ratio);
        }
    });
}
