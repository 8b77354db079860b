#include "services/NativeLoginItemService.h"

#include <gtest/gtest.h>

#include "platform/sim/RecordingLogSink.h"
#include "platform/sim/SimLoginItem.h"

namespace murmo {
namespace {

namespace status = login_item_status;
using State = NativeLaunchAtLoginState;
using LaunchStatus = NativeLaunchAtLoginStatus;

class NativeLoginItemServiceTest : public ::testing::Test {
protected:
    SimLoginItem item;
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    NativeLoginItemService service{NativeLoginItemOperations::of(item), "/opt/murmo/Murmo.app",
                                   Logger("login-item", logs)};

    std::size_t failureLines() const {
        std::size_t count = 0;
        for (const auto& record : logs->records()) count += record.message.find("Login registration failed") == 0;
        return count;
    }
};

TEST_F(NativeLoginItemServiceTest, TheStatusNumbersMapToTheLaunchAtLoginState) {
    const struct {
        std::int32_t status;
        State state;
    } rows[] = {{status::notRegistered, {false, LaunchStatus::disabled}},
                {status::enabled, {true, LaunchStatus::enabled}},
                {status::requiresApproval, {true, LaunchStatus::requiresApproval}},
                {status::notFound, {false, LaunchStatus::disabled}},
                {7, {false, LaunchStatus::unavailable}},
                {-1, {false, LaunchStatus::unavailable}}};
    for (const auto& row : rows) {
        item.setStatus(row.status);
        EXPECT_EQ(service.state(), row.state) << row.status;
    }
    item.setStatus(status::enabled);
    item.setEligible(false);
    EXPECT_EQ(service.state(), (State{false, LaunchStatus::unavailable}));
}

TEST_F(NativeLoginItemServiceTest, TurningOnRegistersUnlessAlreadyOnAndForgivesAFailureTheSystemOverruled) {
    item.setStatus(status::requiresApproval);
    EXPECT_TRUE(service.setEnabled(true));
    EXPECT_EQ(item.calls(), std::vector{SimLoginItem::Call::status}) << "awaiting approval is already on";

    item.setStatus(status::notFound);
    EXPECT_TRUE(service.setEnabled(true));
    EXPECT_EQ(service.state(), (State{true, LaunchStatus::enabled}));

    item.setStatus(status::notRegistered);
    item.failRegister("The operation couldn't be completed.", status::requiresApproval);
    EXPECT_TRUE(service.setEnabled(true));
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(NativeLoginItemServiceTest, FailuresAreReportedWithTheirDetailAndLoggedOnce) {
    using Error = NativePreferencesError;
    const struct {
        const char* what;
        std::function<void(SimLoginItem&)> script;
        bool enable;
        Error error;
    } rows[] = {
        {"registration not confirmed", [](SimLoginItem& item) { item.setStatusAfterRegister(status::notRegistered); },
         true, Error::launchAtLoginChangeFailed("Registration was not confirmed by the system")},
        {"prepare fails", [](SimLoginItem& item) { item.failPrepare("bundle unknown"); }, true,
         Error::launchAtLoginChangeFailed("bundle unknown")},
        {"register fails", [](SimLoginItem& item) { item.failRegister("denied"); }, true,
         Error::launchAtLoginChangeFailed("denied")},
        {"removal not confirmed",
         [](SimLoginItem& item) {
             item.setStatus(status::enabled);
             item.setStatusAfterUnregister(status::enabled);
         },
         false, Error::launchAtLoginChangeFailed("Removal was not confirmed by the system")},
        {"unregister fails",
         [](SimLoginItem& item) {
             item.setStatus(status::requiresApproval);
             item.failUnregister("busy");
         },
         false, Error::launchAtLoginChangeFailed("busy")},
        {"unknown status, on", [](SimLoginItem& item) { item.setStatus(7); }, true, Error::launchAtLoginUnavailable()},
        {"unknown status, off", [](SimLoginItem& item) { item.setStatus(7); }, false,
         Error::launchAtLoginUnavailable()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SimLoginItem scripted;
        row.script(scripted);
        logs->clear();
        NativeLoginItemService scriptedService{NativeLoginItemOperations::of(scripted), "/opt/murmo/Murmo.app",
                                               Logger("login-item", logs)};
        const auto result = scriptedService.setEnabled(row.enable);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), row.error);
        EXPECT_EQ(failureLines(), 1u);
        EXPECT_FALSE(logs->contains("/opt/murmo")) << "the bundle path is private";
    }
}

TEST_F(NativeLoginItemServiceTest, AnIneligibleBuildIsUnavailableWithoutALogLineOrACall) {
    item.setEligible(false);
    for (bool enable : {true, false}) {
        EXPECT_EQ(service.setEnabled(enable), std::unexpected(NativePreferencesError::launchAtLoginUnavailable()));
    }
    EXPECT_TRUE(item.calls().empty());
    EXPECT_EQ(failureLines(), 0u);
}

}  // namespace
}  // namespace murmo
