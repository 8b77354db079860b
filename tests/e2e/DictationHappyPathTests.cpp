// The road every dictation takes: hold the shortcut, speak, let go, and the
// words land in the field the user was typing in.

#include <gtest/gtest.h>

#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;

TEST(DictationHappyPathTest, TheWordsLandInTheFieldAndTheClipboardComesBack) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.transcripts.setTranscript("hello from the road");

    world.pressShortcut();
    ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations"));
    ASSERT_TRUE(world.waitForAudioFrames(5));
    world.releaseShortcut();
    ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations/*/release"));
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(world.fieldText(), "Notes: hello from the road");
    world.expectInvariants("hello from the road");
}

}  // namespace
}  // namespace murmo::testing
