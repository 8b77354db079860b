#pragma once

// The native dialog that stands for the page's confirm(): a warning sheet on
// the dashboard window with the page's message, the destructive "Confirm"
// first (the default, chosen by Return) and "Cancel", in the interface
// language.

#include <functional>
#include <string_view>

#include "platform/AppWindow.h"
#include "services/NativeStringCatalog.h"

namespace murmo::NativeJavaScriptDialogPresenter {

// `completion` is told true exactly when the first button was chosen; a
// sheet dropped with its window never calls it (the page's reply then
// answers false by itself).
void confirm(std::string_view message, AppWindow& window, const NativeLocalizedStrings& strings,
             std::function<void(bool confirmed)> completion);

}  // namespace murmo::NativeJavaScriptDialogPresenter
