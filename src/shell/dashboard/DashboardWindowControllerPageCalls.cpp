// What the native side tells the page, and asks of it.

#include <utility>

#include "services/NativePreferencesJavaScript.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "shell/dashboard/DashboardWindowController.h"
#include "shell/dashboard/DashboardWindowControllerState.h"
#include "shell/dashboard/WebScriptVerdict.h"

namespace murmo {

namespace {

// A delivery's one answer, posted to the loop. Held only by the page's
// evaluation: when the view drops that unanswered, the delivery still
// completes, as not delivered.
class DeliveryCompletion {
public:
    DeliveryCompletion(MainLoop& loop, std::function<void(bool)> completion)
        : loop_(loop), completion_(std::move(completion)) {}
    DeliveryCompletion(const DeliveryCompletion&) = delete;
    DeliveryCompletion& operator=(const DeliveryCompletion&) = delete;
    ~DeliveryCompletion() { complete(false); }

    void complete(bool delivered) {
        auto completion = std::exchange(completion_, nullptr);
        if (completion) loop_.post([completion = std::move(completion), delivered] { completion(delivered); });
    }

private:
    MainLoop& loop_;
    std::function<void(bool)> completion_;
};

}  // namespace

void DashboardWindowController::evaluate(std::string_view script) {
    state_->window->webView().evaluateJavaScript(script, nullptr);
}

void DashboardWindowController::reserveDictation(const std::string& operationID) {
    if (!state_->hasLoadedDashboard) return;
    if (const auto script = DashboardPageScripts::reserveDictation(operationID)) evaluate(*script);
}

void DashboardWindowController::deliverDictation(const std::string& operationID, const std::string& text,
                                                 std::function<void(bool delivered)> completion) {
    auto once = std::make_shared<DeliveryCompletion>(state_->ports.loop, std::move(completion));
    // Before the page is there, its editor cannot take the text.
    if (!state_->hasLoadedDashboard) return once->complete(false);
    const auto script = DashboardPageScripts::deliverDictation(operationID, text);
    if (!script) return once->complete(false);
    state_->window->webView().evaluateJavaScript(
        *script, [once = std::move(once)](const WebScriptResult& result) { once->complete(isJsonTrue(result)); });
}

void DashboardWindowController::cancelDictation(const std::string& operationID) {
    // Sent even before the page is there: a cancel must never be lost.
    if (const auto script = DashboardPageScripts::cancelDictation(operationID)) evaluate(*script);
}

void DashboardWindowController::reportNativeAudioFailure(const std::string& operationID, const std::string& code,
                                                         const std::string& message) {
    if (const auto script = DashboardPageScripts::nativeAudioFailure(operationID, code, message)) evaluate(*script);
}

void DashboardWindowController::broadcastWindowActivity() {
    const auto& window = *state_->window;
    const bool active = window.isKey() && window.isVisible() && !window.isMiniaturized() &&
                        window.isOcclusionVisible() && state_->ports.chrome.isActive();
    evaluate(DashboardPageScripts::windowActivity(active));
}

void DashboardWindowController::broadcastNativePreferences(const NativePreferencesSnapshot& snapshot) {
    if (const auto script = NativePreferencesJavaScript::broadcast(snapshot); !script.empty()) evaluate(script);
}

void DashboardWindowController::setPendingSettingsSection(std::optional<NativeSettingsSection> section) {
    state_->pendingSettingsSection = section;
}

const std::optional<NativeSettingsSection>& DashboardWindowController::pendingSettingsSection() const {
    return state_->pendingSettingsSection;
}

void DashboardWindowController::selectPendingSettings() {
    auto& s = *state_;
    if (!s.hasLoadedDashboard || !s.pendingSettingsSection) return;
    const auto section = *std::exchange(s.pendingSettingsSection, std::nullopt);
    evaluate(DashboardPageScripts::selectSettings(section));
}

void DashboardWindowController::sendPermissionsChangedIfLoaded() {
    if (state_->hasLoadedDashboard) evaluate(DashboardPageScripts::permissionsChanged());
}

void DashboardWindowController::prepareForTermination(WebScriptCompletion completion) {
    state_->window->webView().callAsyncJavaScript(DashboardPageScripts::prepareToCloseFunctionBody(), nullptr,
                                                  std::move(completion));
}

}  // namespace murmo
