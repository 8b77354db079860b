#include "HUDGallery.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <functional>
#include <memory>

#include "ControllerFilmStrips.h"
#include "input/hud/HUDRestingState.h"
#include "platform/linux/CairoHUDPainter.h"
#include "platform/linux/PangoTextMeasure.h"

namespace murmo {

namespace {

using Kind = HUDMode::Kind;

MonotonicTime at(double seconds) { return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds))); }

const std::vector<double> kSpeech{0.15, 0.4, 0.75, 1.0, 0.6, 0.35, 0.2};

struct Picture {
    GalleryEntry entry;
    HUDImage image;
};

class Gallery {
public:
    Gallery(std::filesystem::path folder, int scale) : folder_(std::move(folder)), scale_(scale) {}

    Status add(std::string name, std::string caption, const HUDState& state, double seconds = 1.25) {
        return addScene(std::move(name), std::move(caption), sceneAt(state, at(seconds)));
    }

    Status addScene(std::string name, std::string caption, const HUDDisplayList& scene) {
        auto image = painter_.paint(scene, scale_);
        if (auto written = image.writePNG(folder_ / (name + ".png")); !written) return written;
        pictures_.push_back(Picture{{std::move(name), std::move(caption)}, std::move(image)});
        return {};
    }

    HUDState resting(const HUDMode& mode, const std::function<void(HUDRestingOptions&)>& adjust = {}) {
        HUDRestingOptions options;
        options.levels = kSpeech;
        options.measure = &measure_;
        if (adjust) adjust(options);
        return restingHUDState(mode, options);
    }

    TextMeasure& measure() { return measure_; }
    Status contactSheet();
    std::vector<GalleryEntry> entries() const {
        std::vector<GalleryEntry> result;
        for (const auto& picture : pictures_) result.push_back(picture.entry);
        return result;
    }

private:
    std::filesystem::path folder_;
    int scale_;
    CairoHUDPainter painter_;
    PangoTextMeasure measure_;
    std::vector<Picture> pictures_;
};

Status Gallery::contactSheet() {
    constexpr int kColumns = 4;
    constexpr double kCell = 400;
    constexpr double kCaption = 28;
    double rowHeight = 0;
    for (const auto& picture : pictures_) rowHeight = std::max(rowHeight, picture.image.height / double(scale_));
    rowHeight += kCaption + 24;
    const int rows = (static_cast<int>(pictures_.size()) + kColumns - 1) / kColumns;
    const int width = static_cast<int>(kColumns * kCell * scale_);
    const int height = static_cast<int>(rows * rowHeight * scale_);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> sheet(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(sheet.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 0.55, 0.58, 0.62);  // a mid grey, so the capsule's edge shows
    cairo_paint(cr.get());
    cairo_scale(cr.get(), scale_, scale_);
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
        const auto& picture = pictures_[i];
        const double x = (i % kColumns) * kCell + 12;
        const double y = static_cast<double>(i / kColumns) * rowHeight + 8;
        std::unique_ptr<PangoLayout, decltype(&g_object_unref)> caption(pango_cairo_create_layout(cr.get()),
                                                                        g_object_unref);
        std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
            pango_font_description_from_string("Inter 10"), pango_font_description_free);
        pango_layout_set_font_description(caption.get(), font.get());
        pango_layout_set_text(caption.get(), picture.entry.caption.c_str(), -1);
        cairo_set_source_rgb(cr.get(), 0.05, 0.05, 0.05);
        cairo_move_to(cr.get(), x, y);
        pango_cairo_show_layout(cr.get(), caption.get());
        std::vector<std::uint32_t> pixels = picture.image.pixels;
        std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32,
                                                picture.image.width, picture.image.height, picture.image.width * 4),
            cairo_surface_destroy);
        cairo_surface_set_device_scale(image.get(), scale_, scale_);
        cairo_set_source_surface(cr.get(), image.get(), x, y + kCaption);
        cairo_paint(cr.get());
    }
    cr.reset();
    const auto path = folder_ / "contact-sheet.png";
    if (cairo_surface_write_to_png(sheet.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        return fail("MurmoHUDGallery", 1, "could not write " + path.string());
    }
    return {};
}

using Step = std::function<Status(Gallery&)>;

std::vector<Step> modeSteps() {
    std::vector<Step> steps;
    const auto mode = [&steps](std::string name, std::string caption, HUDMode hudMode,
                               std::function<void(HUDRestingOptions&)> adjust = {}) {
        steps.push_back([=](Gallery& gallery) { return gallery.add(name, caption, gallery.resting(hudMode, adjust)); });
    };
    mode("idle-ready", "idle: ready", HUDMode::idle(HUDIdleState::idle));
    mode("idle-booting", "idle: starting", HUDMode::idle(HUDIdleState::booting));
    mode("idle-paused", "idle: paused", HUDMode::idle(HUDIdleState::paused));
    mode("idle-offline", "idle: offline", HUDMode::idle(HUDIdleState::offline));
    mode("listening", "listening", HUDMode::of(Kind::listening));
    mode("agent-listening", "agent listening", HUDMode::of(Kind::agentListening));
    mode("processing", "processing", HUDMode::of(Kind::processing));
    mode("agent-processing", "agent processing", HUDMode::of(Kind::agentProcessing));
    const auto answer = [](std::string text, std::string label = {}, bool confirm = false, bool cancel = false) {
        HUDAgentAnswerContent content;
        content.text = std::move(text);
        content.confirmationLabel = std::move(label);
        content.showsConfirm = confirm;
        content.showsCancel = cancel;
        return [content](HUDRestingOptions& options) { options.answer = content; };
    };
    mode("answer-short", "answer: short", HUDMode::of(Kind::agentAnswer), answer("It is 14:05 in Tokyo."));
    mode("answer-long", "answer: long, scrolls", HUDMode::of(Kind::agentAnswer), answer([] {
             std::string text;
             for (int i = 0; i < 40; ++i) text += "The quick brown fox jumps over the lazy dog. ";
             return text;
         }()));
    mode("answer-buttons", "answer: label and both buttons", HUDMode::of(Kind::agentAnswer),
         answer("Send the draft to Ayşe?", "This sends an email.", true, true));
    mode("answer-confirm", "answer: Confirm only", HUDMode::of(Kind::agentAnswer),
         answer("Open the calendar?", {}, true));
    mode("shortcut", "shortcut", HUDMode::of(Kind::shortcut));
    mode("success", "success", HUDMode::of(Kind::success));
    const auto clipboard = [](HUDClipboardFailure failure) {
        return [failure](HUDRestingOptions& options) { options.clipboardFailure = failure; };
    };
    mode("clipboard-paste", "clipboard: paste failed", HUDMode::of(Kind::clipboard),
         clipboard(HUDClipboardFailure::paste));
    mode("clipboard-copy", "clipboard: copy failed", HUDMode::of(Kind::clipboard),
         clipboard(HUDClipboardFailure::copy));
    mode("clipboard-unverified", "clipboard: unverified", HUDMode::of(Kind::clipboard),
         clipboard(HUDClipboardFailure::unverified));
    mode("error", "error", HUDMode::of(Kind::error));
    // Variants.
    mode("variant-light", "light appearance", HUDMode::of(Kind::listening),
         [](HUDRestingOptions& options) { options.appearance = HUDAppearance::light; });
    mode("variant-contrast", "increased contrast", HUDMode::of(Kind::error),
         [](HUDRestingOptions& options) { options.increasedContrast = true; });
    mode("variant-reduced-motion", "reduced motion", HUDMode::of(Kind::processing),
         [](HUDRestingOptions& options) { options.reduceMotion = true; });
    mode("variant-turkish", "Turkish", HUDMode::of(Kind::error),
         [](HUDRestingOptions& options) { options.language = NativeAppLanguage::turkish; });
    return steps;
}

// Frames of an animation: the panel and content layers animated as the
// controller does, drawn at moments through it.
Status filmStrips(Gallery& gallery) {
    // Fade-in: 0.18 s, rising 6 points (shown as the alpha here).
    auto fadeIn = gallery.resting(HUDMode::of(Kind::listening));
    fadeIn.panel.add(
        HUDAnimation::basic("murmo-present", "alpha", 0, 1, HUDSeconds(0.18), HUDTimingCurve::easeOut(), at(1)));
    for (int frame = 0; frame <= 3; ++frame) {
        const double t = 1 + frame * 0.06;
        if (auto added = gallery.add("strip-fade-in-" + std::to_string(frame),
                                     "fade-in +" + std::to_string(frame * 60) + " ms", fadeIn, t);
            !added) {
            return added;
        }
    }
    // Morph from listening to processing: the width follows the morph
    // curve while the content fades out blurred and comes back.
    auto morph = gallery.resting(HUDMode::of(Kind::processing));
    morph.panel.add(
        HUDAnimation::basic("murmo-morph", "width", 82, 54, HUDSeconds(0.22), HUDTimingCurve::morph(), at(1)));
    morph.contentGroup.add(HUDAnimation{"murmo-content",
                                        "opacity",
                                        {0, 0, 1},
                                        {0, 0.36, 1},
                                        HUDSeconds(0.22),
                                        HUDTimingCurve::easeOut(),
                                        at(1),
                                        false});
    morph.contentGroup.add(HUDAnimation{"murmo-content-blur",
                                        "blur",
                                        {3.5, 3.5, 0},
                                        {0, 0.36, 1},
                                        HUDSeconds(0.22),
                                        HUDTimingCurve::easeOut(),
                                        at(1),
                                        false});
    for (int frame = 0; frame <= 4; ++frame) {
        const double t = 1 + frame * 0.055;
        if (auto added = gallery.add("strip-morph-" + std::to_string(frame),
                                     "morph +" + std::to_string(frame * 55) + " ms", morph, t);
            !added) {
            return added;
        }
    }
    // Dismissal: 0.14 s down to nothing.
    auto dismiss = gallery.resting(HUDMode::of(Kind::success));
    dismiss.panel.add(
        HUDAnimation::basic("murmo-dismiss", "alpha", 1, 0, HUDSeconds(0.14), HUDTimingCurve::easeIn(), at(1)));
    for (int frame = 0; frame <= 3; ++frame) {
        const double t = 1 + frame * 0.045;
        if (auto added = gallery.add("strip-dismiss-" + std::to_string(frame),
                                     "dismiss +" + std::to_string(frame * 45) + " ms", dismiss, t);
            !added) {
            return added;
        }
    }
    return {};
}

}  // namespace

Result<std::vector<GalleryEntry>> writeHUDGallery(const std::filesystem::path& folder, int scale) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return fail("MurmoHUDGallery", 2, "cannot create " + folder.string() + ": " + error.message());
    Gallery gallery(folder, scale);
    for (const auto& step : modeSteps()) {
        if (auto done = step(gallery); !done) return std::unexpected(done.error());
    }
    if (auto strips = filmStrips(gallery); !strips) return std::unexpected(strips.error());
    const auto addScene = [&gallery](std::string name, std::string caption, const HUDDisplayList& scene) {
        return gallery.addScene(std::move(name), std::move(caption), scene);
    };
    if (auto strips = writeControllerFilmStrips(addScene, gallery.measure()); !strips) {
        return std::unexpected(strips.error());
    }
    if (auto sheet = gallery.contactSheet(); !sheet) return std::unexpected(sheet.error());
    auto entries = gallery.entries();
    entries.push_back({"contact-sheet", "every picture above"});
    return entries;
}

}  // namespace murmo
