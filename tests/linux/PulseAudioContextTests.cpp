// The shared connection to the test session's sound server: it connects,
// runs operations to their completion, hands out server events, and never
// waits longer than its time-outs on a server that does not answer.

#include "platform/linux/PulseAudioContext.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

constexpr Duration kTimeout = 5s;

std::shared_ptr<PulseAudioContext> connectOrFail() {
    auto connected = PulseAudioContext::connect("murmo-tests", kTimeout);
    if (!connected) ADD_FAILURE() << connected.error().message;
    return connected ? *connected : nullptr;
}

std::optional<std::string> defaultSinkName(PulseAudioContext& context) {
    std::optional<std::string> name;
    auto done = context.run("reading the server", kTimeout, [&](pa_context* c) {
        return pa_context_get_server_info(
            c,
            [](pa_context*, const pa_server_info* info, void* out) {
                if (info && info->default_sink_name) {
                    *static_cast<std::optional<std::string>*>(out) = info->default_sink_name;
                }
            },
            &name);
    });
    EXPECT_TRUE(done) << done.error().message;
    return name;
}

// PULSE_SERVER names another server while it lives.
class ScopedPulseServer {
public:
    explicit ScopedPulseServer(const std::string& address) {
        if (const char* old = std::getenv("PULSE_SERVER")) saved_ = old;
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ScopedPulseServer() {
        if (saved_) {
            setenv("PULSE_SERVER", saved_->c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
    }

private:
    std::optional<std::string> saved_;
};

// A socket that accepts connections (the kernel does, up to the backlog)
// and never says a word.
class SilentServer {
public:
    explicit SilentServer(const std::filesystem::path& path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(listen(fd_, 8), 0);
    }
    ~SilentServer() { close(fd_); }

private:
    int fd_ = -1;
};

TEST(PulseAudioContextTest, ConnectsToTheSessionServerAndRunsOperationsToTheirEnd) {
    auto context = connectOrFail();
    ASSERT_TRUE(context);
    EXPECT_FALSE(context->isLoopThread());
    EXPECT_EQ(defaultSinkName(*context), "speakers");

    // An operation the server refuses still ends; its callback says how.
    struct Outcome {
        bool called = false;
        bool succeeded = true;
    } outcome;
    auto done = context->run("suspending a sink that does not exist", kTimeout, [&](pa_context* c) {
        return pa_context_suspend_sink_by_name(
            c, "no-such-sink", 1,
            [](pa_context*, int success, void* out) {
                auto* o = static_cast<Outcome*>(out);
                o->called = true;
                o->succeeded = success != 0;
            },
            &outcome);
    });
    ASSERT_TRUE(done) << done.error().message;
    EXPECT_TRUE(outcome.called);
    EXPECT_FALSE(outcome.succeeded);
}

TEST(PulseAudioContextTest, HandsServerEventsToTheObserversOfTheirFacilityUntilTheObservationEnds) {
    auto context = connectOrFail();
    ASSERT_TRUE(context);
    std::mutex mutex;
    std::condition_variable changed;
    int sinkEvents = 0;
    int sourceEvents = 0;
    int sourceRemovals = 0;
    auto onSink = context->observeEvents(PA_SUBSCRIPTION_MASK_SINK, [&](auto facility, auto, std::uint32_t) {
        EXPECT_EQ(facility, PA_SUBSCRIPTION_EVENT_SINK);
        std::lock_guard lock(mutex);
        ++sinkEvents;
        changed.notify_all();
    });
    auto onSource = context->observeEvents(PA_SUBSCRIPTION_MASK_SOURCE, [&](auto facility, auto type, std::uint32_t) {
        EXPECT_EQ(facility, PA_SUBSCRIPTION_EVENT_SOURCE);
        std::lock_guard lock(mutex);
        ++sourceEvents;
        if (type == PA_SUBSCRIPTION_EVENT_REMOVE) ++sourceRemovals;
        changed.notify_all();
    });

    // A null sink brings a sink and its monitor source.
    std::uint32_t module = PA_INVALID_INDEX;
    auto loaded = context->run("loading a sink", kTimeout, [&](pa_context* c) {
        return pa_context_load_module(
            c, "module-null-sink", "sink_name=context_test",
            [](pa_context*, std::uint32_t index, void* out) { *static_cast<std::uint32_t*>(out) = index; }, &module);
    });
    ASSERT_TRUE(loaded) << loaded.error().message;
    ASSERT_NE(module, PA_INVALID_INDEX);
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(changed.wait_for(lock, kTimeout, [&] { return sinkEvents > 0 && sourceEvents > 0; }));
    }

    onSink.reset();
    int sinkEventsSeen = 0;
    {
        std::lock_guard lock(mutex);
        sinkEventsSeen = sinkEvents;
    }
    auto unloaded = context->run("unloading the sink", kTimeout, [&](pa_context* c) {
        return pa_context_unload_module(c, module, [](pa_context*, int, void*) {}, nullptr);
    });
    ASSERT_TRUE(unloaded) << unloaded.error().message;
    // The source's removal is seen, the sink's is not.
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(changed.wait_for(lock, kTimeout, [&] { return sourceRemovals > 0; }));
        EXPECT_EQ(sinkEvents, sinkEventsSeen);
    }
}

TEST(PulseAudioContextTest, GivesUpOnAServerThatDoesNotAnswerWithinTheTimeout) {
    testing::TemporaryDirectory folder;
    const auto socketPath = folder.path() / "silent";
    SilentServer silent(socketPath);
    ScopedPulseServer server("unix:" + socketPath.string());

    const auto started = std::chrono::steady_clock::now();
    auto connected = PulseAudioContext::connect("murmo-tests", 300ms);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().domain, kPulseAudioErrorDomain);
    EXPECT_EQ(connected.error().code, kPulseAudioTimedOut);
    EXPECT_LT(took, 10s);
}

TEST(PulseAudioContextTest, FailsAtOnceWhereNoServerListens) {
    testing::TemporaryDirectory folder;
    ScopedPulseServer server("unix:" + (folder.path() / "nobody").string());
    auto connected = PulseAudioContext::connect("murmo-tests", kTimeout);
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().code, kPulseAudioConnectFailed);
}

TEST(PulseAudioContextTest, DeviceIdsNameSourcesAndSinksApart) {
    EXPECT_EQ(pulseSourceDeviceID(0), 1u);
    EXPECT_EQ(pulseSinkDeviceID(0), 2u);
    EXPECT_EQ(pulseSourceDeviceID(7), 15u);
    EXPECT_EQ(pulseSinkDeviceID(7), 16u);
    for (std::uint32_t index : {0u, 1u, 42u, 1000000u}) {
        EXPECT_EQ(pulseSourceIndex(pulseSourceDeviceID(index)), index);
        EXPECT_EQ(pulseSinkIndex(pulseSinkDeviceID(index)), index);
        EXPECT_EQ(pulseSinkIndex(pulseSourceDeviceID(index)), std::nullopt);
        EXPECT_EQ(pulseSourceIndex(pulseSinkDeviceID(index)), std::nullopt);
    }
    EXPECT_EQ(pulseSourceIndex(0), std::nullopt);
    EXPECT_EQ(pulseSinkIndex(0), std::nullopt);
}

TEST(PulseAudioPlaybackTargetTest, NamesTheSinkItWasLastSet) {
    PulseAudioPlaybackTarget target;
    EXPECT_EQ(target.sinkName(), std::nullopt);
    target.set("echo_cancel_sink");
    EXPECT_EQ(target.sinkName(), "echo_cancel_sink");
    target.set(std::nullopt);
    EXPECT_EQ(target.sinkName(), std::nullopt);
}

}  // namespace
}  // namespace murmo
