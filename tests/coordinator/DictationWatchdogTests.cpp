// The bound on the wait after a release.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

TEST_F(DictationOperationTest, TheWatchdogCancelsAtADeadlineThatGrowsWithTheRecording) {
    const struct {
        Duration recording;
        Duration allowance;
    } rows[] = {{0s, 65s}, {200s, 85s}, {800s, 210s}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::chrono::duration_cast<std::chrono::seconds>(row.recording).count());
        press();
        acceptStart();
        loop.advance(row.recording);
        answerBackground();
        release();
        acknowledgeAudioEnd();
        const auto releasedAt = loop.now() - 100ms;
        ASSERT_TRUE(isPending(release_()));
        loop.advance(releasedAt + row.allowance - 1ms - loop.now());
        answerBackground();
        EXPECT_FALSE(isPending(cancel_()));
        loop.advance(1ms);
        EXPECT_TRUE(isPending(cancel_()));
        loop.advance(400ms);
        EXPECT_EQ(hudKind(), HUDMode::Kind::error);
        answer(cancel_(), 200);
        answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":"too late"})");
        EXPECT_TRUE(coordinator->isIdle());
        EXPECT_EQ(fieldText(), "");
        answerBackground();
    }
    EXPECT_EQ(errorCues(), 3u);
}

TEST_F(DictationOperationTest, ProcessingNewsRestartsTheTimerTowardsTheSameDeadline) {
    dictateAndRelease();
    const auto releasedAt = loop.now() - 100ms;
    loop.advance(30s);
    pushEvent("dictation.state_changed", R"({"phase":"processing"})");
    loop.advance(releasedAt + 65s - 1ms - loop.now());
    answerBackground();
    EXPECT_FALSE(isPending(cancel_()));
    loop.advance(1ms);
    EXPECT_TRUE(isPending(cancel_()));
}

TEST_F(DictationOperationTest, AnArmingAfterTheDeadlineFiresAfterAMillisecond) {
    dictateAndRelease();
    // The clock jumps past the deadline before the timer had its turn.
    loop.advanceClockOnly(70s);
    pushEvent("state", R"({"phase":"processing"})");
    EXPECT_FALSE(isPending(cancel_()));
    loop.advance(1ms);
    EXPECT_TRUE(isPending(cancel_()));
}

TEST_F(DictationOperationTest, AWatchdogOfADeliveredOperationIsInert) {
    dictateAndRelease();
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":"on time"})");
    loop.advance(2s);
    ASSERT_EQ(fieldText(), "on time");
    ASSERT_TRUE(coordinator->isIdle());
    loop.advance(70s);
    EXPECT_EQ(count(cancel_()), 0u);
    EXPECT_EQ(errorCues(), 0u);
}

}  // namespace
}  // namespace murmo::testing
