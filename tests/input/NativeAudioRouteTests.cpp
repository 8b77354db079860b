#include <gtest/gtest.h>

#include "input/NativeAudioCapturePolicy.h"
#include "input/NativeAudioRoute.h"
#include "platform/sim/SimAudioDevices.h"

namespace murmo {
namespace {

using Case = VoiceProcessingAudioCaptureError::Case;
using namespace std::chrono_literals;

TEST(NativeAudioCaptureModeTest, VoiceProcessingOnlyWithNoiseReductionAndBuiltInRouteAndNoChosenDevice) {
    for (int bits = 0; bits < 16; ++bits) {
        const bool noiseReduction = bits & 1, input = bits & 2, output = bits & 4, explicitDevice = bits & 8;
        const auto expected = (noiseReduction && input && output && !explicitDevice)
                                  ? NativeAudioCaptureMode::voiceProcessed
                                  : NativeAudioCaptureMode::raw;
        EXPECT_EQ(preferredNativeAudioCaptureMode(noiseReduction, input, output, explicitDevice), expected) << bits;
    }
    EXPECT_EQ(nativeAudioCaptureMode("voiceProcessed"), NativeAudioCaptureMode::voiceProcessed);
    EXPECT_EQ(nativeAudioCaptureMode("raw"), NativeAudioCaptureMode::raw);
    EXPECT_EQ(nativeAudioCaptureMode("Raw"), std::nullopt);
}

// Uptime as written in the cases below.
MonotonicTime uptime(Duration sinceBoot) { return MonotonicTime(sinceBoot); }

TEST(NativeAudioCaptureLivenessTest, FirstBufferHasThreeSecondsAndLaterGapsJustUnderFive) {
    NativeAudioCaptureLiveness liveness("run-1", uptime(100s));
    EXPECT_EQ(liveness.failure(uptime(102'900ms)), std::nullopt);
    EXPECT_EQ(liveness.failure(uptime(103s)), NativeAudioCaptureLiveness::Failure::noAudioBuffers);

    liveness.receivedBuffer("run-1", 1920, uptime(104s));
    EXPECT_EQ(liveness.failure(uptime(108'990ms)), std::nullopt);
    EXPECT_EQ(liveness.failure(uptime(109s)), NativeAudioCaptureLiveness::Failure::audioInterrupted);
}

TEST(NativeAudioCaptureLivenessTest, BuffersOfAnotherRunOrWithoutFramesDoNotCount) {
    NativeAudioCaptureLiveness liveness("run-1", uptime(100s));
    liveness.receivedBuffer("run-0", 1920, uptime(101s));
    liveness.receivedBuffer("run-1", 0, uptime(101'500ms));
    EXPECT_EQ(liveness.lastBufferAt, std::nullopt);
    EXPECT_EQ(liveness.bufferCount, 0);
    EXPECT_EQ(liveness.failure(uptime(103s)), NativeAudioCaptureLiveness::Failure::noAudioBuffers);
}

class NativeAudioRouteTest : public ::testing::Test {
protected:
    std::shared_ptr<SimAudioDevices> devices = SimAudioDevices::builtInOnly();

    void addInput(AudioDeviceID id, std::string name) {
        devices->addDevice({id, std::move(name), 1, AudioTransportType::other, true});
    }
};

TEST_F(NativeAudioRouteTest, NamesMatchAfterTrimmingAndComposingButCaseMatters) {
    addInput(10, "USB Mic\u00e9");  // precomposed é
    struct Row {
        std::string configured;
        std::vector<AudioDeviceID> expected;
    };
    const std::vector<Row> rows = {
        {"USB Mic\u00e9", {10}},
        {"  USB Mic\u00e9 \n", {10}},
        {"USB Mice\u0301", {10}},  // e + combining acute
        {"usb mic\u00e9", {}},
        {"   \n", {}},
        {"", {}},
    };
    const auto inputs = NativeAudioRoute::inputDevices(*devices);
    for (const auto& row : rows) {
        EXPECT_EQ(NativeAudioInputDevice::matchingIDs(row.configured, inputs), row.expected) << row.configured;
    }
}

TEST_F(NativeAudioRouteTest, DeviceListKeepsOnlyLiveInputsWithReadableNames) {
    addInput(10, "Desk Mic");
    devices->addDevice({11, "Dead Mic", 1, AudioTransportType::other, false});
    devices->addDevice({12, std::nullopt, 1, AudioTransportType::other, true});
    const std::vector<NativeAudioInputDevice> expected = {{SimAudioDevices::kBuiltInMicrophone, "Built-in Microphone"},
                                                          {10, "Desk Mic"}};
    EXPECT_EQ(NativeAudioRoute::inputDevices(*devices), expected);

    devices->setDeviceListReadable(false);
    EXPECT_TRUE(NativeAudioRoute::inputDevices(*devices).empty());
}

TEST_F(NativeAudioRouteTest, ResolvingANameGivesOneDeviceOrTheMatchingError) {
    addInput(10, "Desk Mic");
    addInput(11, "Twin");
    addInput(12, "Twin");
    // An output-only device never matches, even by its exact name.
    EXPECT_EQ(NativeAudioRoute::resolveInputDevice("Built-in Speakers", *devices).error().kind,
              Case::inputDeviceUnavailable);
    EXPECT_EQ(NativeAudioRoute::resolveInputDevice("Desk Mic ", *devices), 10u);
    EXPECT_EQ(NativeAudioRoute::resolveInputDevice("Twin", *devices).error().kind, Case::inputDeviceAmbiguous);
    // Blank is "no such device", never "ambiguous", however many devices exist.
    EXPECT_EQ(NativeAudioRoute::resolveInputDevice(" ", *devices).error().kind, Case::inputDeviceUnavailable);
    EXPECT_EQ(NativeAudioRoute::resolveInputDevice("Gone", *devices).error().code(), "input_device_unavailable");
}

TEST_F(NativeAudioRouteTest, RouteReportsBuiltInDefaultsAndEncodesTwoKeys) {
    EXPECT_EQ(NativeAudioRoute::current(*devices), (NativeAudioRoute{true, true}));

    addInput(10, "Desk Mic");
    devices->setDefaultDevice(DefaultAudioDevice::input, 10);
    devices->setDefaultDevice(DefaultAudioDevice::output, std::nullopt);
    EXPECT_EQ(NativeAudioRoute::current(*devices), (NativeAudioRoute{false, false}));

    devices->setDefaultDevice(DefaultAudioDevice::input, 0);
    EXPECT_FALSE(NativeAudioRoute::defaultDeviceIsBuiltin(DefaultAudioDevice::input, *devices));

    EXPECT_EQ((NativeAudioRoute{true, false}).toJSON().dump(),
              R"({"input_is_builtin":true,"output_is_builtin":false})");
}

}  // namespace
}  // namespace murmo
