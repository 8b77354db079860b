#include "shell/dashboard/NativeJavaScriptDialogPresenter.h"

#include <utility>

#include "shell/dashboard/JavaScriptConfirmTexts.h"

namespace murmo::NativeJavaScriptDialogPresenter {

void confirm(std::string_view message, AppWindow& window, const NativeLocalizedStrings& strings,
             std::function<void(bool confirmed)> completion) {
    auto texts = JavaScriptConfirmTexts::make(message, strings);
    const AlertRequest request{
        .style = AlertStyle::warning,
        .messageText = std::move(texts.messageText),
        .informativeText = texts.informativeText.value_or(""),
        .buttons = {AlertButton{.title = std::move(texts.confirmTitle), .destructive = true},
                    AlertButton{.title = std::move(texts.cancelTitle)}},
    };
    window.beginSheet(request, [completion = std::move(completion)](AlertResponse response) {
        if (completion) completion(response == kAlertFirstButtonReturn);
    });
}

}  // namespace murmo::NativeJavaScriptDialogPresenter
