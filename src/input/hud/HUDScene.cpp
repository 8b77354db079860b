#include "input/hud/HUDScene.h"

#include "input/hud/HUDChromeGeometry.h"
#include "input/hud/WaveformView.h"

namespace murmo {

namespace {

using namespace hud_scene;
using Kind = HUDMode::Kind;

constexpr Shadow kLabelShadow{HUDContentStyle::shadowOpacity, HUDContentStyle::shadowOffsetY,
                              HUDContentStyle::shadowRadius};

void addText(HUDDisplayList& list, const HUDContentView& view, HUDFont font, int lines = 1, Shadow shadow = {}) {
    if (view.hidden || view.text.empty()) return;
    list.items.push_back(Text{view.text, view.frame, font, view.colorRGB, lines, shadow});
}

void addBars(HUDDisplayList& list, const HUDState& state) {
    const auto& frame = state.content.waveform.frame;
    for (const auto& bar : WaveformView::barsFor(state.barLevels, frame.width, frame.height)) {
        list.items.push_back(Bar{{frame.x + bar.x, frame.y + bar.y, bar.width, bar.height},
                                 WaveformView::kBarCornerRadius,
                                 state.content.waveform.colorRGB,
                                 HUDVisualPalette::waveformAlpha});
    }
}

void addDots(HUDDisplayList& list, const HUDState& state, MonotonicTime now) {
    const auto& frame = state.content.processingDots.frame;
    const auto frames = HUDProcessingDots::dotFrames(frame.width, frame.height);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto& dot = frames[i];
        list.items.push_back(Dot{{frame.x + dot.x, frame.y + dot.y, dot.width, dot.height},
                                 state.content.processingDots.colorRGB,
                                 state.dots.dots()[i].presentation(HUDProcessingDotsView::kOpacityPath, now)});
    }
}

void addButton(HUDDisplayList& list, const HUDContentView& view, const HUDContentHost& content, HUDFont font) {
    if (view.hidden) return;
    list.items.push_back(Button{view.text, view.frame, font, view.colorRGB, content.copyButtonSurfaceRGB,
                                content.copyButtonSurfaceAlpha, content.copyButtonBorderRGB,
                                content.copyButtonBorderAlpha, HUDContentStyle::copyButtonCornerRadius,
                                HUDContentStyle::copyButtonBorderWidth});
}

void addContent(HUDDisplayList& list, const HUDState& state, MonotonicTime now) {
    const auto& content = state.content;
    if (!content.icon.hidden && content.iconSymbol) {
        list.items.push_back(Icon{*content.iconSymbol, content.icon.frame, content.icon.colorRGB, kLabelShadow});
    }
    addText(list, content.primaryLabel, HUDContentStyle::primaryFont, 1, kLabelShadow);
    addText(list, content.secondaryLabel, HUDContentStyle::secondaryFont, HUDContentStyle::secondaryMaximumLines,
            kLabelShadow);
    if (!content.waveform.hidden) addBars(list, state);
    if (!content.processingDots.hidden) addDots(list, state, now);
    addButton(list, content.copyButton, content, HUDContentStyle::copyButtonFont);
    if (!content.agentAnswerScroll.hidden) {
        list.items.push_back(Answer{content.agentAnswerScroll.text, content.agentAnswerScroll.frame,
                                    content.agentAnswerTextFrame, state.answerScrollOffset,
                                    content.agentAnswerScroll.colorRGB, content.agentAnswerShowsScroller});
    }
    addText(list, content.agentConfirmationLabel, HUDContentStyle::agentConfirmationFont);
    addButton(list, content.agentCancelButton, content, HUDContentStyle::agentButtonFont);
    addButton(list, content.agentConfirmButton, content, HUDContentStyle::agentButtonFont);
}

}  // namespace

HUDDisplayList sceneAt(const HUDState& state, MonotonicTime now) {
    HUDDisplayList list;
    list.width = state.panel.presentation("width", now);
    list.height = state.panel.presentation("height", now);
    list.alpha = state.panel.presentation("alpha", now, 1);
    list.cornerRadius = HUDCapsuleMask::cornerRadius(list.width, list.height);

    const auto geometry = state.chrome.geometry(list.width, list.height);
    const auto& palette = state.chrome.palette();
    list.items.push_back(RoundedRect{geometry.surface.rect, geometry.surface.cornerRadius, palette.surfaceMiddleRGB,
                                     palette.surfaceAlpha});
    list.items.push_back(BeginGroup{state.contentGroup.presentation("opacity", now, 1),
                                    state.contentGroup.presentation("scale", now, 1),
                                    state.contentGroup.presentation("blur", now, 0)});
    addContent(list, state, now);
    list.items.push_back(EndGroup{});
    const double ringOpacity = state.chrome.container().presentation(HUDChromeView::kOpacityPath, now);
    if (ringOpacity > 0) {
        list.items.push_back(Ring{geometry.ringOuter, geometry.ringInner,
                                  state.chrome.gradient().presentation(HUDChromeView::kRotationPath, now),
                                  ringOpacity});
    }
    return list;
}

}  // namespace murmo
