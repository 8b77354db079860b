#include "coordinator/CoordinatorSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace murmo {
namespace {

const ShortcutChoice kSpaceChord = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option);

ShortcutSettingsResponse withDictation(std::optional<ShortcutSpecPayload> shortcut) {
    ShortcutSettingsResponse reply;
    reply.nativeShortcut = std::move(shortcut);
    return reply;
}

TEST(ShortcutRuntimeSettingsTest, AReplyWithoutAValidDictationShortcutIsIgnoredWhole) {
    EXPECT_FALSE(ShortcutRuntimeSettings::from(withDictation(std::nullopt)));
    EXPECT_FALSE(ShortcutRuntimeSettings::from(withDictation(ShortcutSpecPayload("bogus", std::nullopt, {}, "?"))));
    EXPECT_FALSE(ShortcutRuntimeSettings::from(withDictation(ShortcutSpecPayload("chord", std::nullopt, {}, "?"))))
        << "a chord without a key";
}

TEST(ShortcutRuntimeSettingsTest, AbsentKeysTakeTheirDefaultsAndGivenOnesAreKept) {
    auto defaults = ShortcutRuntimeSettings::from(withDictation(ShortcutSpecPayload(ShortcutChoice::function())));
    ASSERT_TRUE(defaults);
    EXPECT_EQ(*defaults, ShortcutRuntimeSettings{});

    auto reply = withDictation(ShortcutSpecPayload(kSpaceChord));
    reply.hotkeyEnabled = false;
    reply.agentModeEnabled = true;
    reply.agentActivationPolicy = "both";
    reply.agentNativeShortcut = ShortcutSpecPayload(ShortcutChoice::function());
    reply.agentResponseMode = "speech";
    reply.agentTTSVoice = "voice.tr";
    reply.agentTTSRate = 0.3;
    const auto settings = ShortcutRuntimeSettings::from(reply);
    ASSERT_TRUE(settings);
    EXPECT_EQ(*settings, (ShortcutRuntimeSettings{.dictation = kSpaceChord,
                                                  .enabled = false,
                                                  .agentEnabled = true,
                                                  .agentActivationPolicy = "both",
                                                  .agentShortcut = ShortcutChoice::function(),
                                                  .agentResponseMode = "speech",
                                                  .agentTTSVoice = "voice.tr",
                                                  .agentTTSRate = 0.3f}));

    reply.agentNativeShortcut = ShortcutSpecPayload("bogus", std::nullopt, {}, "?");
    EXPECT_EQ(ShortcutRuntimeSettings::from(reply)->agentShortcut, std::nullopt) << "an invalid agent shortcut";
    reply.agentTTSRate = 1e300;
    EXPECT_EQ(ShortcutRuntimeSettings::from(reply)->agentTTSRate, INFINITY) << "beyond a float, never undefined";
    reply.agentTTSRate = -1e300;
    EXPECT_EQ(ShortcutRuntimeSettings::from(reply)->agentTTSRate, -INFINITY);
}

TEST(ShortcutRuntimeSettingsTest, TheAgentShortcutIsWatchedOnlyWhenItsPolicyGivesItOne) {
    const struct {
        bool agentEnabled;
        const char* policy;
        bool watched;
    } rows[] = {{true, "dedicated", true},  {true, "both", true},        {true, "no_editable", false},
                {true, "something", false}, {false, "dedicated", false}, {false, "both", false}};
    for (const auto& row : rows) {
        ShortcutRuntimeSettings settings{
            .agentEnabled = row.agentEnabled, .agentActivationPolicy = row.policy, .agentShortcut = kSpaceChord};
        EXPECT_EQ(settings.monitoredAgentShortcut().has_value(), row.watched) << row.agentEnabled << " " << row.policy;
    }
}

TEST(CoordinatorAudioSettingsTest, LiveDictationNeedsFastAndLiveModeAndInjectionNotTurnedOff) {
    const struct {
        std::optional<bool> fast, live, autoInject;
        bool requested;
    } rows[] = {
        {true, true, std::nullopt, true},  {true, true, true, true},
        {true, true, false, false},        {true, false, true, false},
        {false, true, true, false},        {std::nullopt, true, true, false},
        {true, std::nullopt, true, false}, {std::nullopt, std::nullopt, std::nullopt, false},
    };
    for (const auto& row : rows) {
        ShortcutSettingsResponse reply;
        reply.fastModeEnabled = row.fast;
        reply.liveDictationEnabled = row.live;
        reply.autoInject = row.autoInject;
        EXPECT_EQ(CoordinatorAudioSettings::from(reply).liveDictationRequested, row.requested);
    }
}

TEST(CoordinatorAudioSettingsTest, NoiseReductionIsAvailableWithoutADeviceAndOnlyWhenAChosenOneSaysSo) {
    ShortcutSettingsResponse reply;
    EXPECT_TRUE(CoordinatorAudioSettings::from(reply).backgroundNoiseReductionAvailable);
    reply.backgroundNoiseReduction = BackgroundNoiseReductionStatus{.available = false};
    EXPECT_TRUE(CoordinatorAudioSettings::from(reply).backgroundNoiseReductionAvailable) << "no device chosen";

    reply.audioDevice = 42;
    reply.audioDeviceName = "USB Microphone";
    reply.backgroundNoiseReductionEnabled = true;
    EXPECT_EQ(CoordinatorAudioSettings::from(reply),
              (CoordinatorAudioSettings{.backgroundNoiseReductionEnabled = true,
                                        .backgroundNoiseReductionAvailable = false,
                                        .configuredAudioDevice = 42,
                                        .configuredAudioDeviceName = "USB Microphone"}));
    reply.backgroundNoiseReduction = std::nullopt;
    EXPECT_FALSE(CoordinatorAudioSettings::from(reply).backgroundNoiseReductionAvailable);
    reply.backgroundNoiseReduction = BackgroundNoiseReductionStatus{.available = true};
    EXPECT_TRUE(CoordinatorAudioSettings::from(reply).backgroundNoiseReductionAvailable);
}

}  // namespace
}  // namespace murmo
