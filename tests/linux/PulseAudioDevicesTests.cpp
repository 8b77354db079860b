#include "platform/linux/PulseAudioDevices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/linux/PulseAudioDevicesSnapshot.h"
#include "platform/linux/PulseMicrophonePermission.h"
#include "platform/sim/SimAudioDevices.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

PulseAudioDeviceInfo source(std::uint32_t index, std::string name, bool isMonitor = false) {
    return PulseAudioDeviceInfo{index, name, name + " description", isMonitor, std::nullopt, std::nullopt};
}

// MARK: the snapshot, as the server's descriptions fill it

TEST(PulseAudioDevicesSnapshotTest, ListsSourcesAsInputsAndSinksAsOutputsInOneIdSpaceWithoutMonitors) {
    PulseAudioDevicesSnapshot snapshot;
    snapshot.update(PulseAudioDeviceKind::source, source(0, "speakers.monitor", true));
    snapshot.update(PulseAudioDeviceKind::sink, source(0, "speakers"));
    snapshot.update(PulseAudioDeviceKind::source, source(3, "microphone"));
    snapshot.setDefaults("microphone", "speakers");

    EXPECT_EQ(snapshot.deviceIDs(), (std::vector<AudioDeviceID>{2, 7}));
    EXPECT_EQ(snapshot.inputStreamCount(7), 1u);
    EXPECT_EQ(snapshot.inputStreamCount(2), 0u);
    EXPECT_EQ(snapshot.name(7), "microphone description");
    EXPECT_EQ(snapshot.name(1), std::nullopt) << "the monitor is not a device";
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::input), 7u);
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::output), 2u);
}

TEST(PulseAudioDevicesSnapshotTest, DefaultsReadAsNoDeviceWhenUnlistedAndFailUntilRead) {
    PulseAudioDevicesSnapshot snapshot;
    snapshot.update(PulseAudioDeviceKind::source, source(0, "speakers.monitor", true));
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::input), std::nullopt);
    snapshot.setDefaults("speakers.monitor", "gone");
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::input), 0u);
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::output), 0u);
}

TEST(PulseAudioDevicesSnapshotTest, BuiltInByFormFactorOrPciBus) {
    struct Case {
        std::optional<std::string> formFactor;
        std::optional<std::string> bus;
        AudioTransportType expected;
    };
    const Case cases[] = {
        {"internal", std::nullopt, AudioTransportType::builtIn}, {std::nullopt, "pci", AudioTransportType::builtIn},
        {"headset", "usb", AudioTransportType::other},           {std::nullopt, "bluetooth", AudioTransportType::other},
        {std::nullopt, std::nullopt, AudioTransportType::other},
    };
    for (const auto& c : cases) {
        PulseAudioDevicesSnapshot snapshot;
        auto info = source(5, "card");
        info.formFactor = c.formFactor;
        info.bus = c.bus;
        snapshot.update(PulseAudioDeviceKind::sink, info);
        EXPECT_EQ(snapshot.transportType(pulseSinkDeviceID(5)), c.expected)
            << c.formFactor.value_or("-") << " " << c.bus.value_or("-");
    }
}

TEST(PulseAudioDevicesSnapshotTest, ARemovedDeviceAndALostConnectionFailEveryRead) {
    PulseAudioDevicesSnapshot snapshot;
    snapshot.update(PulseAudioDeviceKind::source, source(1, "usb mic"));
    snapshot.update(PulseAudioDeviceKind::sink, source(1, "usb speakers"));
    snapshot.setDefaults("usb mic", "usb speakers");
    snapshot.remove(PulseAudioDeviceKind::source, 1);
    EXPECT_EQ(snapshot.isAlive(3), std::nullopt);
    EXPECT_EQ(snapshot.name(3), std::nullopt);
    EXPECT_EQ(snapshot.isAlive(4), true) << "the sink with the same index stays";
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::input), 0u);

    snapshot.markDisconnected();
    EXPECT_EQ(snapshot.deviceIDs(), std::nullopt);
    EXPECT_EQ(snapshot.isAlive(4), std::nullopt);
    EXPECT_EQ(snapshot.transportType(4), std::nullopt);
    EXPECT_EQ(snapshot.defaultDevice(DefaultAudioDevice::output), std::nullopt);
}

// MARK: the permission, over any device table

TEST(PulseMicrophonePermissionTest, AuthorizedExactlyWhileAnInputDeviceIsListed) {
    ManualLoop loop;
    auto devices = std::make_shared<SimAudioDevices>();
    devices->addDevice({SimAudioDevices::kBuiltInSpeakers, "Speakers", 0, AudioTransportType::builtIn, true});
    PulseMicrophonePermission permission(loop, devices);
    EXPECT_EQ(permission.authorizationStatus(), MicrophoneAuthorizationStatus::restricted);

    devices->addDevice({SimAudioDevices::kBuiltInMicrophone, "Microphone", 1, AudioTransportType::builtIn, true});
    EXPECT_EQ(permission.authorizationStatus(), MicrophoneAuthorizationStatus::authorized);

    devices->setDeviceListReadable(false);
    EXPECT_EQ(permission.authorizationStatus(), MicrophoneAuthorizationStatus::restricted);
    EXPECT_EQ(PulseMicrophonePermission(loop, nullptr).authorizationStatus(),
              MicrophoneAuthorizationStatus::restricted);
}

TEST(PulseMicrophonePermissionTest, RequestAnswersTheStatusOnALaterMainLoopTurn) {
    ManualLoop loop;
    auto devices = SimAudioDevices::builtInOnly();
    PulseMicrophonePermission permission(loop, devices);
    std::vector<bool> answers;
    permission.requestAccess([&](bool granted) { answers.push_back(granted); });
    devices->removeDevice(SimAudioDevices::kBuiltInMicrophone);
    permission.requestAccess([&](bool granted) { answers.push_back(granted); });
    EXPECT_TRUE(answers.empty()) << "never inside the call";
    loop.runUntilIdle();
    EXPECT_EQ(answers, (std::vector<bool>{true, false}));
}

// MARK: the session's sound server

class PulseAudioDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto connected = PulseAudioContext::connect("murmo-devices-test", 5s);
        ASSERT_TRUE(connected) << connected.error().message;
        context = *connected;
        auto created = PulseAudioDevices::create(context, 5s);
        ASSERT_TRUE(created) << created.error().message;
        devices = *created;
    }

    std::optional<AudioDeviceID> idNamed(std::string_view name) const {
        const auto ids = devices->deviceIDs();
        if (!ids) return std::nullopt;
        for (AudioDeviceID id : *ids) {
            if (devices->name(id) == name) return id;
        }
        return std::nullopt;
    }

    // The snapshot follows the server's events on its own thread.
    template <class Condition>
    bool eventually(Condition condition) const {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    std::uint32_t loadModule(const std::string& name, const std::string& arguments) {
        std::uint32_t index = PA_INVALID_INDEX;
        auto loaded = context->run("loading " + name, 5s, [&](pa_context* c) {
            return pa_context_load_module(
                c, name.c_str(), arguments.c_str(),
                [](pa_context*, std::uint32_t loadedIndex, void* out) {
                    *static_cast<std::uint32_t*>(out) = loadedIndex;
                },
                &index);
        });
        EXPECT_TRUE(loaded) << (loaded ? "" : loaded.error().message);
        EXPECT_NE(index, PA_INVALID_INDEX);
        return index;
    }

    void unloadModule(std::uint32_t index) {
        auto unloaded = context->run("unloading a module", 5s, [&](pa_context* c) {
            return pa_context_unload_module(
                c, index, [](pa_context*, int, void*) {}, nullptr);
        });
        EXPECT_TRUE(unloaded) << (unloaded ? "" : unloaded.error().message);
    }

    void setDefaultSource(const char* name) {
        auto set = context->run("setting the default source", 5s, [name](pa_context* c) {
            return pa_context_set_default_source(
                c, name, [](pa_context*, int, void*) {}, nullptr);
        });
        EXPECT_TRUE(set) << (set ? "" : set.error().message);
    }

    std::shared_ptr<PulseAudioContext> context;
    std::shared_ptr<PulseAudioDevices> devices;
};

TEST_F(PulseAudioDevicesTest, TheMicrophoneIsTheDefaultInputAndTheSpeakersAnOutputWithoutMonitors) {
    const auto microphone = idNamed("Microphone");
    const auto speakers = idNamed("Speakers");
    ASSERT_TRUE(microphone);
    ASSERT_TRUE(speakers);
    EXPECT_EQ(devices->inputStreamCount(*microphone), 1u);
    EXPECT_EQ(devices->inputStreamCount(*speakers), 0u);
    EXPECT_EQ(devices->isAlive(*microphone), true);
    EXPECT_EQ(devices->defaultDevice(DefaultAudioDevice::input), microphone);
    EXPECT_EQ(devices->defaultDevice(DefaultAudioDevice::output), speakers);
    EXPECT_EQ(devices->transportType(*microphone), AudioTransportType::other);

    const auto ids = devices->deviceIDs().value();
    for (AudioDeviceID id : ids) {
        EXPECT_EQ(devices->name(id)->find("Monitor"), std::string::npos) << *devices->name(id);
    }
    const auto inputs =
        std::ranges::count_if(ids, [&](AudioDeviceID id) { return devices->inputStreamCount(id) > 0u; });
    EXPECT_EQ(inputs, 1) << "only the microphone: the sinks' monitors are not inputs";
}

TEST_F(PulseAudioDevicesTest, IdsStayStableWhenASourceComesAndItsQueriesFailOnceItGoes) {
    const auto before = devices->deviceIDs().value();
    const auto microphone = idNamed("Microphone").value();

    const auto module =
        loadModule("module-sine-source", "source_name=test_tone source_properties=device.description=Tone");
    ASSERT_TRUE(eventually([&] { return idNamed("Tone").has_value(); }));
    const auto tone = *idNamed("Tone");
    EXPECT_EQ(tone % 2, 1u) << "a source's id";
    EXPECT_EQ(idNamed("Microphone"), microphone);
    auto after = devices->deviceIDs().value();
    for (AudioDeviceID id : before) EXPECT_NE(std::ranges::find(after, id), after.end()) << id;
    EXPECT_EQ(devices->deviceIDs(), after) << "a second read lists the same";

    unloadModule(module);
    ASSERT_TRUE(eventually([&] { return !devices->isAlive(tone).has_value(); }));
    EXPECT_EQ(devices->name(tone), std::nullopt);
    EXPECT_EQ(devices->inputStreamCount(tone), std::nullopt);
    EXPECT_EQ(devices->deviceIDs(), before);
}

TEST_F(PulseAudioDevicesTest, TheDefaultInputFollowsTheServer) {
    const auto module =
        loadModule("module-sine-source", "source_name=test_tone source_properties=device.description=Tone");
    ASSERT_TRUE(eventually([&] { return idNamed("Tone").has_value(); }));
    setDefaultSource("test_tone");
    EXPECT_TRUE(eventually([&] { return devices->defaultDevice(DefaultAudioDevice::input) == idNamed("Tone"); }));
    setDefaultSource("microphone");
    EXPECT_TRUE(eventually([&] { return devices->defaultDevice(DefaultAudioDevice::input) == idNamed("Microphone"); }));
    unloadModule(module);
}

TEST_F(PulseAudioDevicesTest, QueriesAnswerOnTheLoopThreadWithoutWaitingOnIt) {
    // An audio callback asks from the loop thread, which holds the loop's lock.
    std::optional<std::vector<AudioDeviceID>> seen;
    auto observation = context->observeEvents(PA_SUBSCRIPTION_MASK_SOURCE, [&](auto, auto, std::uint32_t) {
        if (!seen) seen = devices->deviceIDs();
    });
    const auto module = loadModule("module-sine-source", "source_name=test_tone");
    ASSERT_TRUE(eventually([&] {
        PulseAudioContext::Lock lock(*context);
        return seen.has_value();
    }));
    observation.reset();
    unloadModule(module);
}

TEST_F(PulseAudioDevicesTest, PermissionIsAuthorizedWithTheSessionsMicrophone) {
    ManualLoop loop;
    PulseMicrophonePermission permission(loop, devices);
    EXPECT_EQ(permission.authorizationStatus(), MicrophoneAuthorizationStatus::authorized);
}

}  // namespace
}  // namespace murmo
