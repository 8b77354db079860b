#include "input/hud/HUDRestingState.h"

#include "input/hud/AgentAnswerLayout.h"
#include "input/hud/AgentResponsePolicies.h"
#include "runtime/Unicode.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

namespace {

void showAnswer(HUDState& state, const HUDAgentAnswerContent& answer, TextMeasure& measure, double& height) {
    auto& content = state.content;
    content.agentAnswerScroll.text = unicode::trimWhitespaceAndNewlines(answer.text);
    content.agentAnswerScroll.hidden = false;
    content.agentConfirmationLabel.text = unicode::trimWhitespaceAndNewlines(answer.confirmationLabel);
    content.agentConfirmationLabel.hidden = content.agentConfirmationLabel.text.empty();
    content.agentConfirmButton.text = answer.confirmTitle;
    content.agentConfirmButton.hidden = !answer.showsConfirm;
    content.agentCancelButton.text = answer.cancelTitle;
    content.agentCancelButton.hidden = !answer.showsCancel;
    height = AgentResponseLayoutPolicy::panelHeight(
        measuredAnswerHeight(measure, content.agentAnswerScroll.text, AgentResponseLayoutPolicy::rowWidth),
        !content.agentConfirmationLabel.hidden, answer.showsConfirm || answer.showsCancel);
}

}  // namespace

HUDState restingHUDState(const HUDMode& mode, const HUDRestingOptions& options) {
    HUDState state;
    state.mode = mode;
    const auto spec = mode.presentation(options.language, options.preferredLanguages);
    const NativeLocalizedStrings strings(options.language, options.preferredLanguages);
    auto& content = state.content;
    content.resetAccessories();
    content.configureText(spec);
    if (options.clipboardFailure) {
        content.primaryLabel.text =
            clipboardFailureText(*options.clipboardFailure, options.language, options.preferredLanguages).message;
    }
    content.iconSymbol = spec.iconSymbol;
    content.icon.hidden = !spec.iconSymbol;
    content.waveform.hidden = !spec.showsWaveform;
    content.processingDots.hidden = !spec.showsProcessingDots;
    content.copyButton.hidden = !spec.showsCopyButton;
    content.copyButton.text = strings.hudCopy();

    double height = spec.height;
    if (mode.kind() == HUDMode::Kind::agentAnswer && options.answer && options.measure) {
        showAnswer(state, *options.answer, *options.measure, height);
        layoutAgentAnswer(content, spec.width, height, *options.measure);
    } else {
        content.layout(mode.kind(), spec.width, height);
    }
    state.panel.set("width", spec.width);
    state.panel.set("height", height);
    state.panel.set("alpha", 1);

    const auto palette =
        HUDVisualPalette::resolved(options.appearance, spec.semanticRole, options.increasedContrast, false);
    content.applyPalette(palette);
    state.chrome.present(mode, palette, options.reduceMotion, options.presentedAt);
    if (spec.showsProcessingDots) state.dots.start(options.reduceMotion, options.presentedAt);
    state.barLevels = options.levels;
    return state;
}

}  // namespace murmo
