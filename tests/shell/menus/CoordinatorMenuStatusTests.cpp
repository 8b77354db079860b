#include "shell/menus/CoordinatorMenuStatus.h"

#include <gtest/gtest.h>

#include "runtime/ManualLoop.h"
#include "support/CoordinatorWorld.h"

namespace murmo {
namespace {

using testing::CoordinatorWorld;

class CoordinatorMenuStatusTest : public ::testing::Test {
protected:
    void TearDown() override {
        coordinator->shutdown({});
        loop.runUntilIdle();
    }

    void connect() {
        world.transport->lastSocket()->deliverText(
            R"({"protocol_version":1,"sequence":1,"type":"runtime_status","qos":"reliable","data":{}})");
        loop.runUntilIdle();
    }

    ManualLoop loop;
    CoordinatorWorld world{loop};
    std::shared_ptr<DesktopCoordinator> coordinator = world.makeCoordinator(CoordinatorWorld::attachingConfiguration());
};

TEST_F(CoordinatorMenuStatusTest, ReadsConnectionPauseAndTheShortcutInTheGivenLanguage) {
    coordinator->start();
    loop.runUntilIdle();
    EXPECT_EQ(CoordinatorMenuStatus::read(*coordinator, NativeAppLanguage::english),
              (CoordinatorMenuStatus{.connected = false, .paused = false, .shortcutDescription = "Fn/Globe (hold)"}));

    connect();
    coordinator->pause();
    loop.runUntilIdle();
    EXPECT_EQ(
        CoordinatorMenuStatus::read(*coordinator, NativeAppLanguage::turkish),
        (CoordinatorMenuStatus{.connected = true, .paused = true, .shortcutDescription = "Fn/Globe (basılı tut)"}));
}

}  // namespace
}  // namespace murmo
