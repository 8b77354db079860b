#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "DashboardWindowWorld.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "shell/dashboard/DashboardWindowController.h"

namespace murmo {
namespace {

class DashboardWindowPageCallsTest : public ::testing::Test, protected testing::DashboardWindowWorld {
protected:
    // Delivers and returns every completion the delivery made, once the loop
    // has run.
    std::vector<bool> deliver() {
        auto results = std::make_shared<std::vector<bool>>();
        controller->deliverDictation("op-1", "Hello \"there\"",
                                     [results](bool delivered) { results->push_back(delivered); });
        loop.runUntilIdle();
        return *results;
    }
};

TEST_F(DashboardWindowPageCallsTest, BeforeThePageIsThereOnlyCancelAndStateReachIt) {
    controller->reserveDictation("op-1");
    EXPECT_EQ(deliver(), std::vector<bool>{false});
    controller->setSidebarPreference(NativeSidebarPreference::collapsed);
    controller->setPendingSettingsSection(NativeSettingsSection::speech);
    controller->selectPendingSettings();
    controller->cancelDictation("op-1");
    controller->reportNativeAudioFailure("op-1", "device_lost", "The microphone went away.");
    controller->broadcastWindowActivity();
    EXPECT_EQ(evaluatedSince(0),
              (std::vector<std::string>{
                  *DashboardPageScripts::cancelDictation("op-1"),
                  *DashboardPageScripts::nativeAudioFailure("op-1", "device_lost", "The microphone went away."),
                  DashboardPageScripts::windowActivity(false),
              }));
    EXPECT_EQ(controller->pendingSettingsSection(), NativeSettingsSection::speech);
}

TEST_F(DashboardWindowPageCallsTest, DeliveryCountsOnlyATrueAndCompletesOnce) {
    showLoaded();
    const struct {
        const char* why;
        std::optional<SimScriptOutcome> outcome;
        bool delivered;
    } rows[] = {
        {"true", SimScriptOutcome::resolveValue(true), true},
        {"1", SimScriptOutcome::resolveValue(1), false},
        {"the text \"true\"", SimScriptOutcome::resolveValue("true"), false},
        {"no value", SimScriptOutcome::noValue(), false},
        {"a promise of true", SimScriptOutcome::promiseOf(true), false},
        {"the page throws", SimScriptOutcome::throws("boom"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        view->scriptNextEvaluation(*row.outcome);
        const auto before = view->evaluations().size();
        EXPECT_EQ(deliver(), std::vector<bool>{row.delivered});
        EXPECT_EQ(evaluatedSince(before),
                  std::vector<std::string>{*DashboardPageScripts::deliverDictation("op-1", "Hello \"there\"")});
    }
}

TEST_F(DashboardWindowPageCallsTest, APageThatGoesAwayStillCompletesTheDeliveryOnce) {
    showLoaded();
    auto results = std::make_shared<std::vector<bool>>();
    view->scriptNextEvaluation(SimScriptOutcome::never());
    controller->deliverDictation("op-1", "text", [results](bool delivered) { results->push_back(delivered); });
    loop.runUntilIdle();
    EXPECT_TRUE(results->empty());
    view->terminateWebProcess(WebProcessTermination::crashed);
    loop.runUntilIdle();
    EXPECT_EQ(*results, std::vector<bool>{false});

    // Even when the window goes with the delivery still waiting.
    results->clear();
    make();
    showLoaded();
    view->scriptNextEvaluation(SimScriptOutcome::never());
    controller->deliverDictation("op-2", "text", [results](bool delivered) { results->push_back(delivered); });
    controller.reset();
    loop.runUntilIdle();
    EXPECT_EQ(*results, std::vector<bool>{false});
}

TEST_F(DashboardWindowPageCallsTest, LoadedCallsCarryTheirValuesAsJson) {
    showLoaded();
    const auto before = view->evaluations().size();
    controller->reserveDictation("op-\"1\"\n");
    controller->setPendingSettingsSection(NativeSettingsSection::privacy);
    controller->selectPendingSettings();
    controller->selectPendingSettings();
    controller->setSidebarPreference(NativeSidebarPreference::collapsed);
    EXPECT_EQ(evaluatedSince(before), (std::vector<std::string>{
                                          *DashboardPageScripts::reserveDictation("op-\"1\"\n"),
                                          DashboardPageScripts::selectSettings(NativeSettingsSection::privacy),
                                          DashboardPageScripts::sidebar(NativeSidebarPreference::collapsed),
                                      }));
}

TEST_F(DashboardWindowPageCallsTest, PrepareForTerminationAwaitsThePagesAnswer) {
    showLoaded();
    view->scriptNextEvaluation(SimScriptOutcome::promiseOf(true));
    std::optional<WebScriptResult> answer;
    controller->prepareForTermination([&answer](WebScriptResult result) { answer = std::move(result); });
    loop.runUntilIdle();
    const auto& call = view->evaluations().back();
    EXPECT_TRUE(call.awaitsPromises);
    EXPECT_EQ(call.source, DashboardPageScripts::prepareToCloseFunctionBody());
    ASSERT_TRUE(answer && *answer && **answer);
    EXPECT_EQ(***answer, true);
}

}  // namespace
}  // namespace murmo
