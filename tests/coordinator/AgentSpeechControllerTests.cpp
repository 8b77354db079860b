#include "coordinator/AgentSpeechController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/sim/SimSpeechSynthesizer.h"

namespace murmo {
namespace {

class AgentSpeechControllerTest : public ::testing::Test {
protected:
    SimSpeechSynthesizer synthesizer{{{"voice.tr", "tr_TR"}, {"voice.de", "de_DE"}, {"voice.en", "en_US"}}};
    std::string locale = "en_US";
    AgentSpeechController speech{synthesizer, [this] { return locale; }};
};

TEST_F(AgentSpeechControllerTest, ANewAnswerStopsTheOldAtOnceAndABlankOneLeavesItAlone) {
    speech.speak("  first answer\n", "en_US", "system", 0.5f);
    ASSERT_EQ(synthesizer.spoken().size(), 1u);
    EXPECT_EQ(synthesizer.spoken()[0].text, "first answer");
    EXPECT_EQ(synthesizer.spoken()[0].preUtteranceDelay, Duration::zero());
    EXPECT_EQ(synthesizer.spoken()[0].postUtteranceDelay, Duration::zero());

    speech.speak(" \n\t ", "en_US", "system", 0.5f);
    EXPECT_EQ(synthesizer.stopCount(), 0);
    EXPECT_TRUE(synthesizer.isSpeaking());

    speech.speak("second answer", "en_US", "system", 0.5f);
    EXPECT_EQ(synthesizer.stopCount(), 1);
    ASSERT_EQ(synthesizer.spoken().size(), 2u);
    EXPECT_EQ(synthesizer.spoken()[1].text, "second answer");
}

TEST_F(AgentSpeechControllerTest, CancelStopsSpeakingOrPausedSpeechOnly) {
    speech.cancel();
    EXPECT_EQ(synthesizer.stopCount(), 0) << "silent: nothing to stop";
    speech.speak("answer", "en_US", "system", 0.5f);
    synthesizer.pause();
    speech.cancel();
    EXPECT_EQ(synthesizer.stopCount(), 1);
    EXPECT_FALSE(synthesizer.isSpeaking());
    speech.speak("answer", "en_US", "system", 0.5f);
    synthesizer.finishUtterance();
    speech.cancel();
    EXPECT_EQ(synthesizer.stopCount(), 1) << "finished: nothing to stop";
}

TEST_F(AgentSpeechControllerTest, TheRateStaysWithinTheComfortableRange) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const struct {
        float given;
        float spoken;
    } rows[] = {{0.1f, 0.25f}, {0.5f, 0.5f}, {1.0f, 0.65f}, {-inf, 0.25f}, {inf, 0.65f}, {std::nanf(""), 0.65f}};
    for (const auto& row : rows) {
        speech.speak("answer", "en_US", "system", row.given);
        EXPECT_EQ(synthesizer.spoken().back().rate, row.spoken) << row.given;
    }
}

TEST_F(AgentSpeechControllerTest, TheVoiceFallsBackFromThePreferenceToTheLanguageToTheLocale) {
    const struct {
        const char* language;
        const char* preference;
        std::optional<std::string> voice;
        std::vector<std::string> identifierLookups;
        std::vector<std::string> languageLookups;
    } rows[] = {
        {"tr_TR", "voice.de", "voice.de", {"voice.de"}, {}},
        {"tr_TR", "voice.gone", "voice.tr", {"voice.gone"}, {"tr_TR"}},
        {"tr_TR", "system", "voice.tr", {}, {"tr_TR"}},
        {"de", "system", "voice.de", {}, {"de"}},
        {"auto", "system", "voice.en", {}, {"en_US"}},
        {"ja_JP", "system", "voice.en", {}, {"ja_JP", "en_US"}},
    };
    for (const auto& row : rows) {
        SimSpeechSynthesizer fresh{{{"voice.tr", "tr_TR"}, {"voice.de", "de_DE"}, {"voice.en", "en_US"}}};
        AgentSpeechController controller{fresh, [] { return std::string("en_US"); }};
        controller.speak("answer", row.language, row.preference, 0.5f);
        SCOPED_TRACE(std::string(row.language) + " " + row.preference);
        EXPECT_EQ(fresh.spoken().back().voiceIdentifier, row.voice);
        EXPECT_EQ(fresh.identifierLookups(), row.identifierLookups);
        EXPECT_EQ(fresh.languageLookups(), row.languageLookups);
    }

    SimSpeechSynthesizer voiceless;
    AgentSpeechController controller{voiceless, [] { return std::string("en_US"); }};
    controller.speak("answer", "tr_TR", "system", 0.5f);
    EXPECT_EQ(voiceless.spoken().back().voiceIdentifier, std::nullopt) << "the synthesiser's default voice";
}

}  // namespace
}  // namespace murmo
