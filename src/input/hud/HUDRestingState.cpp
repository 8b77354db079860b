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
    const auto presentation = mode.presentation(options.language, options.preferredLanguages);
    const NativeLocalizedStrings strings(options.language, options.preferredLanguages);
    auto& content = state.content;
    content.resetAccessories();
    content.configureText(presentation);
    if (options.clipboardFailure) {
        content.primaryLabel.text =
            clipboardFailureText(*options.clipboardFailure, options.language, options.preferredLanguages).message;
    }
    content.iconSymbol = presentation.iconSymbol;
    content.icon.hidden = !presentation.iconSymbol;
    content.waveform.hidden = !presentation.showsWaveform;
    content.processingDots.hidden = !presentation.showsProcessingDots;
    content.copyButton.hidden = !presentation.showsCopyButton;
    content.copyButton.text = strings.hudCopy();

    double height = presentation.height;
    if (mode.kind() == HUDMode::Kind::agentAnswer && options.answer && options.measure) {
        showAnswer(state, *options.answer, *options.measure, height);
        layoutAgentAnswer(content, presentation.width, height, *options.measure);
    } else {
        content.layout(mode.kind(), presentation.width, height);
    }
    state.panel.set("width", presentation.width);
    state.panel.set("height", height);
    state.panel.set("alpha", 1);

    const auto palette =
        HUDVisualPalette::resolved(options.appearance, presentation.semanticRole, options.increasedContrast, false);
    content.applyPalette(palette);
    state.chrome.present(mode, palette, options.reduceMotion, options.presentedAt);
    if (presentation.showsProcessingDots) state.dots.start(options.reduceMotion, options.presentedAt);
    state.barLevels = options.levels;
    return state;
}

}  // namespace murmo
