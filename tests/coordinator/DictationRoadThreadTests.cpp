// The whole road on real threads: the router's thread, the transport's I/O
// thread and the stand-in engine's, around the main loop. Run under
// ThreadSanitizer, it shows the hand-overs between them race-free.

#include <gtest/gtest.h>

#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;

TEST(DictationRoadThreadTest, TwoDictationsInARowLandWithTheClipboardGivenBack) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    std::string expected = world.fieldText();
    // The engine's text is trimmed before it is written.
    for (const std::string text : {"First words.", "Second words."}) {
        SCOPED_TRACE(text);
        world.transcripts.setTranscript(text);
        const auto starts = world.engineRequests("POST /api/v1/dictations").size();
        world.pressShortcut();
        ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations", starts + 1));
        ASSERT_TRUE(world.waitForAudioFrames(world.audioFrames().size() + 3));
        world.releaseShortcut();
        ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations/*/release", starts + 1));
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        ASSERT_TRUE(world.jump(2s));
        expected += text;
        EXPECT_EQ(world.fieldText(), expected);
    }
    world.expectInvariants("Second words.");
    EXPECT_TRUE(world.teardown());
}

}  // namespace
}  // namespace murmo::testing
