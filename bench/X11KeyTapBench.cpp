// How long a key press takes from the X server to the shortcut router's
// action on the X11 key tap, beside the time the same press takes to reach a
// bare XInput2 client listening for raw key events. Prints the ratio of the
// two; the difference is the tap's own path: its thread's wake-up, the match
// of the grabbed press with its raw event, the callback and the router.
//
// Runs on an X server of its own (Xvfb), never on the desktop it is started
// from: the router there would swallow the user's shortcut. Each iteration
// presses Space with Control and Option held on the server's own keyboard, as
// the user would, waits until the router reports the press and the bare
// client has the raw event, then releases Space the same way.

#include <benchmark/benchmark.h>

#include <poll.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "input/GlobalShortcutRouter.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11KeyTap.h"
#include "runtime/SystemClock.h"
#include "runtime/Wakeup.h"
#include "support/RatioReporter.h"
#include "support/x11/PrivateXServer.h"
#include "support/x11/XServerKeyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {

using namespace murmo;
using SteadyClock = std::chrono::steady_clock;

constexpr unsigned kSpace = 65;
constexpr unsigned kControlL = 37;
constexpr unsigned kAltL = 64;

// When each listener last heard of a press and of a release.
class Arrivals {
public:
    void mark(bool press) {
        {
            std::lock_guard lock(mutex_);
            (press ? press_ : release_) = SteadyClock::now();
        }
        changed_.notify_all();
    }

    void reset() {
        std::lock_guard lock(mutex_);
        press_.reset();
        release_.reset();
    }

    std::optional<SteadyClock::time_point> await(bool press) {
        std::unique_lock lock(mutex_);
        auto& slot = press ? press_ : release_;
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return slot.has_value(); });
        return slot;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<SteadyClock::time_point> press_;
    std::optional<SteadyClock::time_point> release_;
};

// A client that does nothing but read raw key events of every master device
// on a thread of its own.
class BareRawKeyClient {
public:
    explicit BareRawKeyClient(const std::string& display) {
        auto opened = X11Connection::open(display);
        if (!opened) return;
        connection_ = std::move(*opened);
        Display* dpy = connection_->display();
        int event = 0;
        int error = 0;
        int major = 2;
        int minor = 2;
        if (!XQueryExtension(dpy, "XInputExtension", &opcode_, &event, &error) ||
            XIQueryVersion(dpy, &major, &minor) != Success) {
            return;
        }
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
        XSync(dpy, False);
        thread_ = std::thread([this] { run(); });
    }

    ~BareRawKeyClient() {
        stop_ = true;
        wakeup_.signal();
        if (thread_.joinable()) thread_.join();
    }

    bool ready() const { return thread_.joinable(); }
    Arrivals arrivals;

private:
    void run() {
        Display* dpy = connection_->display();
        while (!stop_) {
            while (XPending(dpy) > 0) {
                XEvent event;
                XNextEvent(dpy, &event);
                if (event.xcookie.type != GenericEvent || event.xcookie.extension != opcode_ ||
                    !XGetEventData(dpy, &event.xcookie)) {
                    continue;
                }
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                if (raw->detail == static_cast<int>(kSpace)) arrivals.mark(event.xcookie.evtype == XI_RawKeyPress);
                XFreeEventData(dpy, &event.xcookie);
            }
            std::array<pollfd, 2> fds{pollfd{connection_->fileDescriptor(), POLLIN, 0},
                                      pollfd{wakeup_.fd(), POLLIN, 0}};
            ::poll(fds.data(), fds.size(), -1);
            wakeup_.acknowledge();
        }
    }

    std::unique_ptr<X11Connection> connection_;
    int opcode_ = 0;
    Wakeup wakeup_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The server, the router on the X11 key tap with Control+Option+Space, the
// bare client and the keyboard that plays the user, with Control and Option
// held down.
struct World {
    std::unique_ptr<testing::PrivateXServer> server;
    std::unique_ptr<testing::XServerKeyboard> keyboard;
    std::unique_ptr<GlobalShortcutRouter> router;
    std::unique_ptr<BareRawKeyClient> bare;
    Arrivals routerArrivals;
    std::string error;

    World() {
        auto started = testing::PrivateXServer::start();
        if (!started) {
            error = started.error().message;
            return;
        }
        server = std::move(*started);
        auto keys = X11KeyTap::open(server->displayName());
        auto opened = testing::XServerKeyboard::open(server->displayName());
        if (!keys || !opened) {
            error = "the X11 key tap or the server's keyboard could not be opened";
            return;
        }
        keyboard = std::move(*opened);
        router = GlobalShortcutRouter::create(
            *keys, SystemClock::shared(),
            ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option));
        router->onAction = [this](ShortcutPurpose, ShortcutAction action, MonotonicTime) {
            if (action != ShortcutAction::cancelled) routerArrivals.mark(action == ShortcutAction::pressed);
        };
        if (!router->start()) {
            error = "the router did not start";
            return;
        }
        bare = std::make_unique<BareRawKeyClient>(server->displayName());
        if (!bare->ready()) {
            error = "the bare client could not listen";
            return;
        }
        keyboard->press(kControlL);
        keyboard->press(kAltL);
    }

    ~World() {
        if (keyboard) {
            keyboard->release(kAltL);
            keyboard->release(kControlL);
        }
        bare.reset();
        router.reset();
    }

    // One press and release of Space; the time from the press to its arrival
    // at the router and at the bare client.
    std::optional<std::pair<double, double>> pressAndRelease() {
        routerArrivals.reset();
        bare->arrivals.reset();
        const auto pressed = SteadyClock::now();
        keyboard->press(kSpace);
        const auto atRouter = routerArrivals.await(true);
        const auto atBare = bare->arrivals.await(true);
        keyboard->release(kSpace);
        if (!routerArrivals.await(false) || !bare->arrivals.await(false) || !atRouter || !atBare) return std::nullopt;
        const auto seconds = [&](SteadyClock::time_point at) {
            return std::chrono::duration<double>(at - pressed).count();
        };
        return std::pair{seconds(*atRouter), seconds(*atBare)};
    }
};

World& world() {
    static World instance;
    return instance;
}

void measure(benchmark::State& state, bool router) {
    auto& w = world();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return;
    }
    for (auto _ : state) {
        const auto times = w.pressAndRelease();
        if (!times) {
            state.SkipWithError("a press did not arrive");
            return;
        }
        state.SetIterationTime(router ? times->first : times->second);
    }
}

void BM_KeyPressToRouterAction(benchmark::State& state) { measure(state, true); }
BENCHMARK(BM_KeyPressToRouterAction)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_KeyPressToBareXI2Client(benchmark::State& state) { measure(state, false); }
BENCHMARK(BM_KeyPressToBareXI2Client)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_KeyPressToRouterAction", "BM_KeyPressToBareXI2Client")) {
            std::printf("key press to the router's action / to a bare XI2 client: %.2fx\n", *ratio);
        }
    });
}
