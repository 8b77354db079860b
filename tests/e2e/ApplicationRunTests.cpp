// The built program as a user starts it: `murmo` in its bundle tree, with
// private XDG folders, launching the bundled stand-in engine. What it prints
// is what a person would see of the status menu and the dashboard. It runs
// off the developer's desktop: without a display and with a sound server that
// does not exist, so it grabs no key, reads no window, touches no clipboard
// and plays nothing (the linux tests run it on a desktop of their own).

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/ProcessProbes.h"
#include "support/RunningApplication.h"

namespace murmo::testing {
namespace {

constexpr std::string_view kConnectedLine = "Murmo: Core connected  •  ";
constexpr std::string_view kOfflineLine = "Murmo: Core offline  •  ";
constexpr std::string_view kDashboardLoadedLine = "Murmo: dashboard loaded";

std::string bundledProgram() { return std::string(MURMO_BUNDLE_DIR) + "/Contents/MacOS/murmo"; }

const std::vector<std::string> kOffTheDesktop{"DISPLAY=", "PULSE_SERVER=unix:/nonexistent/murmo-no-sound-server"};

class ApplicationRunTest : public ::testing::TestWithParam<int> {};

TEST_P(ApplicationRunTest, ConnectsLoadsTheDashboardAndQuitsInOrderOnTheSignal) {
    RunningApplication app(bundledProgram(), kOffTheDesktop);
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(app.waitForOutput(kConnectedLine)) << app.output();
    ASSERT_TRUE(app.waitForOutput(kDashboardLoadedLine)) << app.output();
    const auto engine = app.engineGroup();
    ASSERT_TRUE(engine.has_value()) << "the engine runs as the program's child, leading its own group";

    EXPECT_EQ(app.stopWith(GetParam()), 0) << app.output();
    EXPECT_TRUE(processGroupGone(*engine)) << "the engine was stopped before the program ended";
}

INSTANTIATE_TEST_SUITE_P(QuitSignals, ApplicationRunTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? std::string("SIGTERM") : std::string("SIGINT");
                         });

TEST(ApplicationRunEngineExitTest, AKilledEngineTurnsTheLineOfflineAndTheProgramStillQuitsCleanly) {
    RunningApplication app(bundledProgram(), kOffTheDesktop);
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(app.waitForOutput(kConnectedLine)) << app.output();
    const auto engine = app.engineGroup();
    ASSERT_TRUE(engine.has_value());

    const auto before = app.output().size();
    ::kill(-*engine, SIGKILL);
    EXPECT_TRUE(app.waitForOutput(kOfflineLine, before)) << app.output();
    EXPECT_FALSE(processGone(app.pid())) << "the program stays up without its engine";

    EXPECT_EQ(app.stopWith(SIGTERM), 0) << app.output();
}

}  // namespace
}  // namespace murmo::testing
