#include "services/PermissionCenter.h"

#include <gtest/gtest.h>

#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Mic = MicrophoneAuthorizationStatus;
using nlohmann::json;

constexpr std::string_view kPrivacy = "x-apple.systempreferences:com.apple.preference.security";

std::string pane(std::string_view name) { return std::string(kPrivacy) + "?" + std::string(name); }

TEST(PermissionSnapshotTest, StatesPayloadAndSummary) {
    const struct {
        Mic status;
        NativePermissionState state;
    } microphoneRows[] = {
        {Mic::notDetermined, {"not_determined", false, true, false}},
        {Mic::restricted, {"restricted", false, false, true}},
        {Mic::denied, {"denied", false, false, true}},
        {Mic::authorized, {"authorized", true, false, false}},
        {static_cast<Mic>(7), {"unknown", false, false, true}},
    };
    for (const auto& row : microphoneRows) {
        EXPECT_EQ(PermissionSnapshot{.microphone = row.status}.microphoneState(), row.state) << row.state.status;
    }
    EXPECT_EQ(PermissionSnapshot{.accessibility = false}.accessibilityState(),
              (NativePermissionState{"not_authorized", false, true, true}));

    const PermissionSnapshot allButPosting{Mic::authorized, true, true, false};
    EXPECT_EQ(
        allButPosting.bridgePayload(),
        (json{{"version", 1},
              {"all_granted", true},
              {"permissions",
               {{"microphone",
                 {{"status", "authorized"}, {"granted", true}, {"can_request", false}, {"requires_settings", false}}},
                {"accessibility",
                 {{"status", "authorized"}, {"granted", true}, {"can_request", false}, {"requires_settings", false}}},
                {"input_monitoring",
                 {{"status", "authorized"}, {"granted", true}, {"can_request", false}, {"requires_settings", false}}}}},
              {"capabilities", {{"event_posting", false}}}}));
    EXPECT_FALSE((PermissionSnapshot{Mic::denied, true, true, true}.bridgePayload()["all_granted"]));

    const PermissionSnapshot micMissing{Mic::denied, true, true, true};
    EXPECT_EQ(micMissing.summary(), "Mic !  Accessibility ✓  Keys ✓");
    EXPECT_EQ(micMissing.summary(NativeAppLanguage::turkish), "Mikrofon !  Erişilebilirlik ✓  Tuşlar ✓");
    EXPECT_EQ((PermissionSnapshot{static_cast<Mic>(9), false, true, false}.summary()),
              "Mic !  Accessibility !  Keys ✓");
}

class PermissionCenterTest : public ::testing::Test {
protected:
    ManualLoop loop;
    SimDesktop desktop{loop};
    DesktopPorts ports = desktop.ports();
    std::shared_ptr<PermissionCenter> center = PermissionCenter::create({.loop = loop,
                                                                         .microphone = *ports.microphonePermission,
                                                                         .accessibility = ports.accessibility,
                                                                         .keyTap = *ports.keyTap,
                                                                         .eventPoster = ports.eventPoster,
                                                                         .workspace = ports.workspace});
    std::vector<PermissionSnapshot> answers;

    void request(NativePermissionKind kind) {
        center->request(kind, [this](PermissionSnapshot snapshot) { answers.push_back(snapshot); });
    }
    const std::vector<std::string>& opened() { return desktop.model().workspace.openRequests; }
};

TEST_F(PermissionCenterTest, TheSnapshotReadsEachPortWithoutPrompting) {
    desktop.microphonePermission().setStatus(Mic::denied);
    desktop.model().accessibilityTrusted = false;
    desktop.keyTap().setListenEventAccess(true);
    desktop.model().eventPosting.postAccess = false;
    EXPECT_EQ(center->snapshot(), (PermissionSnapshot{Mic::denied, false, true, false}));
    EXPECT_EQ(desktop.model().accessibilityPrompts, 0);
}

TEST_F(PermissionCenterTest, AMicrophoneThatNeedsNoPromptAnswersInsideTheCall) {
    request(NativePermissionKind::microphone);
    ASSERT_EQ(answers.size(), 1u) << "authorised: at once";
    EXPECT_TRUE(opened().empty());

    desktop.microphonePermission().setStatus(Mic::denied);
    request(NativePermissionKind::microphone);
    ASSERT_EQ(answers.size(), 2u) << "denied: at once, with the pane opened";
    EXPECT_EQ(opened(), std::vector{pane("Privacy_Microphone")});
    EXPECT_EQ(desktop.microphonePermission().requestCount(), 0);
}

TEST_F(PermissionCenterTest, AMicrophonePromptAnsweredInsideTheCallCompletesOnTheNextTurn) {
    desktop.microphonePermission().setStatus(Mic::notDetermined);
    desktop.microphonePermission().setRequestAnswer(SimMicrophonePermission::RequestAnswer::insideCall, true);
    const auto start = loop.now();
    request(NativePermissionKind::microphone);
    EXPECT_TRUE(answers.empty());
    loop.runUntilIdle();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].microphone, Mic::authorized);
    EXPECT_EQ(loop.now(), start) << "posted at once, without waiting";
}

TEST_F(PermissionCenterTest, AccessibilityAndInputMonitoringAnswer350MillisecondsLater) {
    const struct {
        NativePermissionKind kind;
        bool allowedBefore;
        bool grantedOnPrompt;
        std::vector<std::string> panes;
    } rows[] = {
        {NativePermissionKind::accessibility, true, false, {}},
        {NativePermissionKind::accessibility, false, true, {}},
        {NativePermissionKind::accessibility, false, false, {pane("Privacy_Accessibility")}},
        {NativePermissionKind::inputMonitoring, true, false, {}},
        {NativePermissionKind::inputMonitoring, false, false, {pane("Privacy_ListenEvent")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(rawValue(row.kind)) + (row.allowedBefore ? " allowed" : " not allowed"));
        desktop.model().workspace.openRequests.clear();
        answers.clear();
        desktop.model().accessibilityTrusted = desktop.model().trustsOnPrompt = false;
        desktop.keyTap().setListenEventAccess(false);
        desktop.keyTap().setGrantsListenAccessOnRequest(row.grantedOnPrompt);
        desktop.model().trustsOnPrompt = row.grantedOnPrompt;
        if (row.kind == NativePermissionKind::accessibility) desktop.model().accessibilityTrusted = row.allowedBefore;
        if (row.kind == NativePermissionKind::inputMonitoring) desktop.keyTap().setListenEventAccess(row.allowedBefore);

        request(row.kind);
        loop.advance(349ms);
        EXPECT_TRUE(answers.empty());
        loop.advance(1ms);
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(opened(), row.panes);
    }
    EXPECT_GT(desktop.model().eventPosting.accessRequests, 0) << "asking for accessibility asks for posting too";
}

TEST_F(PermissionCenterTest, APaneThatCannotOpenFallsBackToThePrivacySettings) {
    desktop.model().workspace.unopenable.insert(pane("Privacy_ListenEvent"));
    EXPECT_TRUE(center->openSystemSettings(NativePermissionKind::inputMonitoring));
    EXPECT_EQ(opened(), (std::vector{pane("Privacy_ListenEvent"), std::string(kPrivacy)}));
    desktop.model().workspace.unopenable.insert(std::string(kPrivacy));
    EXPECT_FALSE(center->openSystemSettings(NativePermissionKind::inputMonitoring));
}

TEST_F(PermissionCenterTest, NothingIsCalledOnceTheCentreIsGone) {
    request(NativePermissionKind::accessibility);
    center.reset();
    loop.advance(1s);
    EXPECT_TRUE(answers.empty());
}

}  // namespace
}  // namespace murmo
