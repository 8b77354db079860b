#pragma once

// What the HUD shows: its modes, the fixed presentation of each, and the small
// values callers pass in. Plain values; texts come from the native catalog at
// call time, so a language change shows at the next lookup.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "input/hud/HUDPalette.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

enum class HUDIdleState { idle, booting, paused, offline };

enum class HUDOperationPurpose { dictation, agent };
std::string_view rawValue(HUDOperationPurpose purpose);
// Case-sensitive: "Agent" is no purpose.
std::optional<HUDOperationPurpose> hudOperationPurposeFromRawValue(std::string_view text);

// A fixed second line (hidden when empty), or one supplied at run time.
struct HUDTextRole {
    bool dynamic = false;
    std::string staticText;

    static HUDTextRole fixed(std::string text) { return {false, std::move(text)}; }
    static HUDTextRole supplied() { return {true, {}}; }
    bool operator==(const HUDTextRole&) const = default;
};

struct HUDPresentationSpec {
    double width = 0;
    double height = 0;
    // The leading symbol's name; absent: no icon.
    std::optional<std::string> iconSymbol;
    // Empty: the line is hidden.
    std::string primaryText;
    HUDTextRole secondaryTextRole;
    HUDSemanticRole semanticRole = HUDSemanticRole::neutral;
    bool showsWaveform = false;
    bool showsProcessingDots = false;
    bool showsCopyButton = false;

    // A full pill for every compact capsule, never rounder than 26.5 points.
    double cornerRadius() const;
    bool operator==(const HUDPresentationSpec&) const = default;
};

class HUDMode {
public:
    enum class Kind {
        idle,
        listening,
        agentListening,
        processing,
        agentProcessing,
        agentAnswer,
        shortcut,
        success,
        clipboard,
        error,
    };

    static constexpr HUDMode idle(HUDIdleState state) { return HUDMode(Kind::idle, state); }
    static constexpr HUDMode of(Kind kind) { return HUDMode(kind, HUDIdleState::idle); }

    constexpr Kind kind() const { return kind_; }
    constexpr std::optional<HUDIdleState> idleState() const {
        return kind_ == Kind::idle ? std::optional(idleState_) : std::nullopt;
    }
    // Every mode but idle.
    constexpr bool isTransient() const { return kind_ != Kind::idle; }
    constexpr bool showsRainbowBorder() const { return isTransient(); }

    // The mode's fixed presentation, its texts in `language` resolved against
    // `preferredLanguages`.
    HUDPresentationSpec presentation(NativeAppLanguage language, std::span<const std::string> preferredLanguages) const;

    constexpr bool operator==(const HUDMode& other) const {
        return kind_ == other.kind_ && (kind_ != Kind::idle || idleState_ == other.idleState_);
    }

private:
    constexpr HUDMode(Kind kind, HUDIdleState state) : kind_(kind), idleState_(state) {}

    Kind kind_;
    HUDIdleState idleState_;
};

enum class HUDSuccessKind { inserted, copied };
enum class HUDClipboardFailure { paste, copy, unverified };

// The texts of a success and of a clipboard failure, in a resolved language.
struct HUDSuccessText {
    std::string primaryText;
    std::string secondaryText;
    std::string accessibilityAnnouncement;
};
HUDSuccessText successText(HUDSuccessKind kind, NativeAppLanguage language,
                           std::span<const std::string> preferredLanguages);

struct HUDClipboardFailureText {
    std::string message;
    std::string accessibilityAnnouncement;
};
HUDClipboardFailureText clipboardFailureText(HUDClipboardFailure failure, NativeAppLanguage language,
                                             std::span<const std::string> preferredLanguages);

}  // namespace murmo
