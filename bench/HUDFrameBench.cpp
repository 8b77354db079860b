// One HUD frame, as the panel draws it 60 times a second while a transient
// mode shows: the display list at that moment and its paint at scale 2,
// beside a bare Cairo paint of the same surface (the floor of the work).

#include <cairo.h>

#include <cstdio>
#include <string>

#include "input/hud/HUDRestingState.h"
#include "platform/linux/CairoHUDPainter.h"
#include "platform/linux/PangoTextMeasure.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;

MonotonicTime at(double seconds) { return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds))); }

HUDState listening() {
    HUDRestingOptions options;
    options.levels = {0.1, 0.3, 0.6, 1, 0.7, 0.4, 0.2};
    return restingHUDState(HUDMode::of(HUDMode::Kind::listening), options);
}

HUDState largestAnswer() {
    static PangoTextMeasure measure;
    HUDRestingOptions options;
    options.measure = &measure;
    HUDAgentAnswerContent answer;
    for (int i = 0; i < 40; ++i) answer.text += "The quick brown fox jumps over the lazy dog. ";
    answer.confirmationLabel = "This sends an email.";
    answer.showsConfirm = answer.showsCancel = true;
    options.answer = answer;
    return restingHUDState(HUDMode::of(HUDMode::Kind::agentAnswer), options);
}

void frame(benchmark::State& state, const HUDState& hud) {
    CairoHUDPainter painter;
    double seconds = 1;
    for (auto _ : state) {
        // The ring turns between frames.
        seconds += 1.0 / 60;
        auto image = painter.paint(sceneAt(hud, at(seconds)), 2);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}

void floorPaint(benchmark::State& state, double width, double height) {
    for (auto _ : state) {
        auto* surface =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width * 2), static_cast<int>(height * 2));
        auto* cr = cairo_create(surface);
        cairo_scale(cr, 2, 2);
        cairo_set_source_rgb(cr, 0.04, 0.04, 0.04);
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
        cairo_surface_destroy(surface);
    }
}

void BM_ListeningFrame(benchmark::State& state) { frame(state, listening()); }
BENCHMARK(BM_ListeningFrame)->Unit(benchmark::kMicrosecond);
void BM_ListeningFloor(benchmark::State& state) { floorPaint(state, 82, 37); }
BENCHMARK(BM_ListeningFloor)->Unit(benchmark::kMicrosecond);
void BM_AnswerFrame(benchmark::State& state) { frame(state, largestAnswer()); }
BENCHMARK(BM_AnswerFrame)->Unit(benchmark::kMicrosecond);
void BM_AnswerFloor(benchmark::State& state) { floorPaint(state, 360, 255); }
BENCHMARK(BM_AnswerFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        constexpr double budgetMicroseconds = 1e6 / 60;
        for (const auto& [measured, floor] :
             {std::pair{"BM_ListeningFrame", "BM_ListeningFloor"}, std::pair{"BM_AnswerFrame", "BM_AnswerFloor"}}) {
            if (auto ratio = reporter.ratio(measured, floor)) {
                std::printf("%s: %.1fx a bare Cairo paint of the same surface\n", measured + 3, *ratio);
            }
            if (auto time = reporter.time(measured)) {
                std::printf("%s: %.0f us, %.1f%% of a 60 Hz frame\n", measured + 3, *time,
                            100 * *time / budgetMicroseconds);
            }
        }
    });
}
