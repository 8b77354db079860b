#include "ControllerFilmStrips.h"

#include <fmt/format.h>

#include <memory>

#include "input/hud/HUDController.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHUDSurface.h"
#include "runtime/ManualLoop.h"

namespace murmo {

namespace {

using namespace std::chrono_literals;

class Director {
public:
    Director(const AddScene& add, TextMeasure& measure)
        : add_(add), hud_(HUDController::create(loop_, desktop_.hud(), measure, desktop_.pasteboard(), [] {
              return std::vector<std::string>{"en"};
          })) {}

    HUDController& hud() { return *hud_; }
    SimDesktop& desktop() { return desktop_; }

    // Moves time on in steps of a frame, feeding speech-like levels while
    // the waveform listens.
    void advance(double seconds) {
        const int frames = static_cast<int>(seconds * 60 + 0.5);
        for (int frame = 0; frame < frames; ++frame) {
            hud_->updateLevel(0.5 + 0.45 * ((frame * 7) % 5 - 2) / 2.0);
            loop_.advance(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / 60)));
        }
    }

    Status snap(const std::string& strip, const std::string& what) {
        auto scene = desktop_.hudSurface().sceneAt(loop_.now());
        // The surface fades the panel as a whole; the picture shows it.
        scene.alpha = desktop_.hud().panelAlpha();
        const auto name = fmt::format("strip-controller-{}-{}", strip, count_++);
        return add_(name, fmt::format("{}: {}", strip, what), scene);
    }

    HUDPoint onPanel(const HUDRect& view) {
        const auto frame = desktop_.hud().panelFrame();
        return {frame.x + view.x + view.width / 2, frame.y + view.y + view.height / 2};
    }

private:
    const AddScene& add_;
    ManualLoop loop_;
    SimDesktop desktop_{loop_};
    std::shared_ptr<HUDController> hud_;
    int count_ = 0;
};

// Runs the steps in order, stopping at the first that fails.
Status run(std::initializer_list<std::function<Status()>> steps) {
    for (const auto& step : steps) {
        if (auto done = step(); !done) return done;
    }
    return {};
}

Status dictation(Director& d) {
    const std::string strip = "dictation";
    d.hud().showListening(HUDOperationPurpose::dictation);
    return run({
        [&] { return d.snap(strip, "listening, fading in"); },
        [&] { return d.advance(0.4), d.snap(strip, "listening"); },
        [&] { return d.hud().showProcessing(HUDOperationPurpose::dictation), d.advance(0.05), d.snap(strip, "morph"); },
        [&] { return d.advance(0.1), d.snap(strip, "processing, fading in"); },
        [&] { return d.advance(0.3), d.snap(strip, "processing"); },
        [&] { return d.hud().showSuccess(HUDSuccessKind::inserted), d.advance(0.1), d.snap(strip, "to success"); },
        [&] { return d.advance(0.3), d.snap(strip, "success"); },
        [&] { return d.advance(0.5), d.snap(strip, "dismissal"); },
    });
}

Status copyFromOffer(Director& d) {
    const std::string strip = "copy";
    d.hud().showClipboard("the dictated words", HUDClipboardFailure::paste, 4s, nullptr);
    return run({
        [&] { return d.advance(0.3), d.snap(strip, "offer"); },
        [&] {
            d.desktop().userClicksAt(d.onPanel(d.hud().state().content.copyButton.frame));
            return d.advance(0.05), d.snap(strip, "Copy pressed");
        },
        [&] { return d.advance(0.1), d.snap(strip, "to success"); },
        [&] { return d.advance(0.3), d.snap(strip, "copied"); },
    });
}

Status replacedAnswer(Director& d) {
    const std::string strip = "answer";
    d.hud().showAgentAnswer("It is 14 degrees and sunny.", "", "Confirm", "Cancel", nullptr, nullptr);
    return run({
        [&] { return d.advance(0.3), d.snap(strip, "short answer"); },
        [&] {
            d.hud().showAgentAnswer(
                "I drafted the reply to Ada: thanks for the notes, the figures look right, and I will send the "
                "final report on Friday once the last numbers are in. Shall I send it now?",
                "This sends an email.", "Send", "Cancel", [] {}, [] {});
            return d.advance(0.1), d.snap(strip, "growing");
        },
        [&] { return d.advance(0.3), d.snap(strip, "taller answer"); },
    });
}

}  // namespace

Status writeControllerFilmStrips(const AddScene& add, TextMeasure& measure) {
    for (const auto& strip : {dictation, copyFromOffer, replacedAnswer}) {
        Director director(add, measure);
        if (auto done = strip(director); !done) return done;
    }
    return {};
}

}  // namespace murmo
