#include "input/hud/WaveformView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

TEST(AudioLevelHistoryTest, CapacityClampingAndOrder) {
    AudioLevelHistory tiny(0);
    EXPECT_EQ(tiny.values(), std::vector<double>{0.0});
    tiny.append(2.5);
    EXPECT_EQ(tiny.values(), std::vector<double>{1.0});
    tiny.append(-1);
    EXPECT_EQ(tiny.values(), std::vector<double>{0.0});
    for (double odd : {std::nan(""), -std::numeric_limits<double>::infinity()}) {
        tiny.append(odd);
        EXPECT_EQ(tiny.values(), std::vector<double>{0.0});
    }
    tiny.append(std::numeric_limits<double>::infinity());
    EXPECT_EQ(tiny.values(), std::vector<double>{1.0});

    AudioLevelHistory seven(7);
    seven.append(0.8);
    EXPECT_EQ(seven.values(), (std::vector<double>{0, 0, 0, 0, 0, 0, 0.8}));
}

class WaveformViewTest : public ::testing::Test {
protected:
    ManualLoop loop;
    std::shared_ptr<WaveformView> view = WaveformView::create(loop);
    int redraws = 0;

    void SetUp() override {
        view->onRedraw = [this] { ++redraws; };
    }
    void tick() { loop.advance(WaveformView::kTickInterval); }
    double rightmost() const { return view->displayed().back(); }
};

TEST_F(WaveformViewTest, ALevelRisesQuicklyThenSilenceScrollsInAndTheBarsFallAndSnap) {
    view->start();
    view->receive(1.0);
    tick();
    EXPECT_DOUBLE_EQ(rightmost(), 0.55);
    tick();
    EXPECT_DOUBLE_EQ(rightmost(), 0.7975);
    tick();
    tick();  // past 0.16 s of quiet now: zeros scroll in, one every second tick
    const auto before = view->displayed();
    for (int i = 0; i < 200; ++i) tick();
    for (double shown : view->displayed()) EXPECT_EQ(shown, 0.0) << "snapped to 0 below 0.002";
    EXPECT_NE(before, view->displayed());
    EXPECT_GT(redraws, 200);
}

TEST_F(WaveformViewTest, LevelsCountOnlyWhileStartedAndOneTimerServesTwoStarts) {
    view->receive(1.0);
    view->start();
    tick();
    EXPECT_EQ(rightmost(), 0.0) << "a level before start is dropped";
    view->receive(1.0);
    view->start();  // clears, keeps the one timer
    EXPECT_EQ(view->displayed(), (std::array<double, 7>{}));
    tick();
    EXPECT_EQ(rightmost(), 0.0);
    view->receive(0.5);
    tick();
    EXPECT_DOUBLE_EQ(rightmost(), 0.275) << "one timer: one step per tick";
    view->stop();
    view->receive(1.0);
    tick();
    EXPECT_EQ(rightmost(), 0.0);
    EXPECT_FALSE(view->isActive());
}

TEST_F(WaveformViewTest, OddLevelsNeverDrawABarOutsideTwoToElevenPoints) {
    view->start();
    for (double level :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), -1.0, 2.5}) {
        view->receive(level);
        tick();
        for (const auto& bar : view->bars(37.25, 16)) {
            EXPECT_GE(bar.height, 2.0) << level;
            EXPECT_LE(bar.height, 11.0) << level;
        }
    }
}

TEST_F(WaveformViewTest, BarGeometry) {
    EXPECT_EQ(view->bars(20, 16).front().x, 0.0) << "a group wider than the view starts at its edge";
    const auto bars = view->bars(37.25, 16);
    EXPECT_EQ(bars.front(), (WaveformView::Bar{5, 7, 1.75, 2}));
    EXPECT_EQ(bars[6].x, 29.0);
    view->start();
    view->receive(1.0);
    for (int i = 0; i < 30; ++i) {
        view->receive(1.0);
        tick();
    }
    EXPECT_NEAR(view->bars(37.25, 16).back().height, 11.0, 1e-9);
}

TEST_F(WaveformViewTest, TheTickEndsWithTheView) {
    view->start();
    std::weak_ptr<WaveformView> watch = view;
    view.reset();
    EXPECT_TRUE(watch.expired());
    loop.advance(1s);  // nothing left to tick
}

}  // namespace
}  // namespace murmo
