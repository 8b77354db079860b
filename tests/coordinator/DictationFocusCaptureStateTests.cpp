#include "coordinator/DictationFocusCaptureState.h"

#include <gtest/gtest.h>

#include "platform/sim/SequentialIdGenerator.h"

namespace murmo {
namespace {

TEST(DictationFocusCaptureStateTest, OnlyTheCurrentGenerationIsAcceptedAndTheReleaseCaptureBeginsOnce) {
    SequentialIdGenerator ids;
    DictationFocusCaptureState state(ids);
    const auto atPress = state.generation();
    EXPECT_TRUE(state.accepts(atPress));

    const auto atRelease = state.beginReleaseCapture();
    ASSERT_TRUE(atRelease);
    EXPECT_FALSE(state.accepts(atPress)) << "the release capture supersedes the one begun at press";
    EXPECT_TRUE(state.accepts(*atRelease));
    EXPECT_FALSE(state.beginReleaseCapture()) << "a second release capture is refused";

    state.reset();
    EXPECT_FALSE(state.accepts(*atRelease)) << "a capture still in flight from the cleared operation is dropped";
    EXPECT_FALSE(state.releaseCaptured());
    EXPECT_TRUE(state.beginReleaseCapture());
}

}  // namespace
}  // namespace murmo
