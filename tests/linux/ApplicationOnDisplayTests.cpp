// The built program on an X display: the keyboard ports are the real ones,
// and the application still connects, loads its dashboard and quits in order.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "support/RunningApplication.h"

namespace murmo::testing {
namespace {

TEST(ApplicationOnDisplayTest, UsesTheRealKeyboardAndStillQuitsInOrder) {
    RunningApplication app(std::string(MURMO_BUNDLE_DIR) + "/Contents/MacOS/murmo");
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(app.waitForOutput("Murmo: Core connected  •  ")) << app.output() << app.standardError();
    ASSERT_TRUE(app.waitForOutput("Murmo: dashboard loaded")) << app.output();
    const auto engine = app.engineGroup();
    ASSERT_TRUE(engine.has_value());

    const auto errors = app.standardError();
    EXPECT_EQ(errors.find("simulated instead"), std::string::npos) << errors;

    EXPECT_EQ(app.stopWith(SIGTERM), 0) << app.output();
    EXPECT_TRUE(processGroupGone(*engine));
}

TEST(ApplicationOnDisplayTest, WithoutADisplayItSaysWhichCapabilityIsSimulated) {
    RunningApplication app(std::string(MURMO_BUNDLE_DIR) + "/Contents/MacOS/murmo", {"DISPLAY="});
    ASSERT_TRUE(app.waitForOutput("Murmo: Core connected  •  ")) << app.output() << app.standardError();
    EXPECT_NE(app.standardError().find("no X display, DISPLAY is not set; it is simulated instead."), std::string::npos)
        << app.standardError();
    EXPECT_EQ(app.stopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace murmo::testing
