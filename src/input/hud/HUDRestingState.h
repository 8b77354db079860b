#pragma once

// The HUD showing one mode at rest, as the controller leaves it once every
// animation has settled: the panel at the mode's size, its views configured,
// laid out and coloured, the chrome presented. Galleries and tests start
// from it.

#include <optional>
#include <string>
#include <vector>

#include "input/hud/HUDScene.h"
#include "platform/TextMeasure.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

struct HUDAgentAnswerContent {
    std::string text;
    std::string confirmationLabel;
    std::string confirmTitle = "Confirm";
    std::string cancelTitle = "Cancel";
    bool showsConfirm = false;
    bool showsCancel = false;
};

struct HUDRestingOptions {
    NativeAppLanguage language = NativeAppLanguage::english;
    std::vector<std::string> preferredLanguages = {"en"};
    HUDAppearance appearance = HUDAppearance::dark;
    bool increasedContrast = false;
    bool reduceMotion = false;
    std::vector<double> levels = std::vector<double>(7, 0);
    // The clipboard capsule's message, when it is not the paste failure's.
    std::optional<HUDClipboardFailure> clipboardFailure;
    // For the agent answer, measured with `measure`.
    std::optional<HUDAgentAnswerContent> answer;
    TextMeasure* measure = nullptr;
    // When the chrome and the dots were presented.
    MonotonicTime presentedAt{};
};

HUDState restingHUDState(const HUDMode& mode, const HUDRestingOptions& options = {});

}  // namespace murmo
