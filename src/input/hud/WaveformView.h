#pragma once

// The listening meter: seven rounded bars that rise quickly and fall slowly
// with the levels received, smoothed on a 30 Hz tick, with silence scrolled
// in when no level has come for 0.16 s. Main thread only; the tick holds the
// view weakly and ends with it.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "input/hud/AudioLevelHistory.h"
#include "runtime/MainLoop.h"

namespace murmo {

class WaveformView : public std::enable_shared_from_this<WaveformView> {
public:
    static constexpr int kBarCount = 7;
    static constexpr double kBarWidth = 1.75;
    static constexpr double kBarPitch = 4.0;
    static constexpr double kBarCornerRadius = 1.0;
    static constexpr double kMinimumBarHeight = 2;
    static constexpr double kBarHeightRange = 9;
    static constexpr Duration kTickInterval = std::chrono::microseconds(33'333);

    struct Bar {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
        bool operator==(const Bar&) const = default;
    };

    static std::shared_ptr<WaveformView> create(MainLoop& loop);
    WaveformView(const WaveformView&) = delete;
    WaveformView& operator=(const WaveformView&) = delete;

    // Called whenever the bars should be drawn again.
    std::function<void()> onRedraw;
    // The bars' colour, 0xRRGGBB; the palette's accent once one is applied.
    std::uint32_t tintRGB = 0x4C8DFF;

    // Clears the bars and starts the tick; a second start only clears.
    void start();
    // Stops the tick and clears the bars.
    void stop();
    // A level from the engine, while started; dropped otherwise.
    void receive(double level);

    bool isActive() const { return active_; }
    const std::array<double, kBarCount>& displayed() const { return displayed_; }
    // Where each bar is drawn in a view of this size (points, y up): the
    // group centred (or from x = 0 when wider than the view), 2 to 11 points
    // high, centred vertically.
    std::vector<Bar> bars(double width, double height) const { return barsFor(displayed_, width, height); }
    // The same for any displayed levels (each taken as 0...1, NaN as 0).
    static std::vector<Bar> barsFor(std::span<const double> displayed, double width, double height);

private:
    explicit WaveformView(MainLoop& loop) : loop_(loop) {}

    void tick();
    void clear();
    void redraw() const {
        if (onRedraw) onRedraw();
    }

    MainLoop& loop_;
    std::optional<Timer> timer_;
    AudioLevelHistory history_{kBarCount};
    std::array<double, kBarCount> displayed_{};
    // Monotonic, so a clock set back cannot freeze the bars; absent: never.
    std::optional<MonotonicTime> lastLevelUpdate_;
    std::optional<MonotonicTime> lastSilenceShift_;
    bool active_ = false;
};

}  // namespace murmo
