#pragma once

// Alerts: a message with buttons that the user answers. A free-standing one
// comes from the `Alerts` port; a sheet attached to one of our windows comes
// from that window (platform/AppWindow.h). Both are asynchronous: the call
// returns at once, the main loop keeps running, and the completion runs once,
// on the main loop, with the button the user chose. Shaped for a GTK alert
// dialog (modal or with a transient parent). Main thread only.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace murmo {

enum class AlertStyle { informational, warning, critical };

struct AlertButton {
    std::string title{};
    // Drawn as an action that destroys something; only the first button may
    // be marked so.
    bool destructive = false;

    bool operator==(const AlertButton&) const = default;
};

struct AlertRequest {
    AlertStyle style = AlertStyle::warning;
    std::string messageText{};
    // Empty: no second line.
    std::string informativeText{};
    // In order; the first is the default one, chosen by Return. Empty: the
    // platform's own single "OK" button.
    std::vector<AlertButton> buttons{};

    bool operator==(const AlertRequest&) const = default;
};

// The chosen button as the desktop numbers them: the first is 1000, the
// second 1001, and so on.
using AlertResponse = long;
inline constexpr AlertResponse kAlertFirstButtonReturn = 1000;
inline constexpr AlertResponse kAlertSecondButtonReturn = 1001;
inline constexpr AlertResponse kAlertThirdButtonReturn = 1002;

constexpr AlertResponse alertResponseForButton(std::size_t index) {
    return kAlertFirstButtonReturn + static_cast<AlertResponse>(index);
}

using AlertCompletion = std::function<void(AlertResponse)>;

class Alerts {
public:
    virtual ~Alerts() = default;

    // Shows a free-standing alert. A backend destroyed with alerts still
    // showing drops their completions uncalled.
    virtual void showAlert(const AlertRequest& request, AlertCompletion completion) = 0;
};

}  // namespace murmo
