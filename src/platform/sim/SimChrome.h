#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Alert.h"
#include "platform/AppWindow.h"
#include "platform/Chrome.h"
#include "platform/PageFetcher.h"
#include "platform/SavePanel.h"
#include "platform/StatusItem.h"
#include "runtime/MainLoop.h"
#include "runtime/ObserverList.h"

namespace murmo {

class SimAppWindow;
class SimStatusItem;

// One save panel the application opened, as the user sees it.
struct SimSavePanel {
    SavePanelRequest request{};
    bool open = true;
    // Once closed: the location chosen, or none for a cancel.
    std::optional<std::filesystem::path> location{};
};

// One alert the application showed: free-standing, or a sheet on a window.
struct SimAlert {
    AlertRequest request{};
    // The window's id for a sheet.
    std::optional<std::size_t> sheetWindow{};
    bool open = true;
    // Once answered: the button chosen. Absent for one dropped with its window.
    std::optional<AlertResponse> response{};
};

// The application object of the simulated desktop and everything it shows:
// save panels, alerts and sheets, status items and windows. Tests choose
// whether it exists yet, its appearance, which policies the system refuses,
// which images load, and when the locale changes; they play the user at each
// panel, alert, menu and window (SimStatusItem, SimAppWindow).
//
// The user's actions (the test's calls) are told to the owner at once;
// what the application's own calls cause (activate(), showing a window) is
// told on the loop. Completions of panels and alerts always run on the loop.
// Without a loop everything runs at once, and no window can be made.
class SimChrome final : public Chrome, public SavePanel, public Alerts, public StatusBar, public AppWindowFactory {
public:
    explicit SimChrome(MainLoop* loop = nullptr) : loop_(loop) {}
    ~SimChrome() override;
    SimChrome(const SimChrome&) = delete;
    SimChrome& operator=(const SimChrome&) = delete;

    bool setActivationPolicy(ActivationPolicy policy) override;
    bool effectiveAppearanceIsDark() const override { return applicationExists_ && dark_; }
    ObserverHandle observeLocaleChanges(std::function<void()> onChange) override;
    ObserverHandle observeAppearanceChanges(std::function<void()> onChange) override;
    void activate() override;
    bool isActive() const override { return active_; }
    ObserverHandle observeActiveChanges(std::function<void(bool)> onChange) override;
    void setApplicationHandlers(ApplicationHandlers handlers) override { handlers_ = std::move(handlers); }
    void setMainMenu(Menu menu) override;
    void terminate() override;
    void replyToShouldTerminate(bool shouldTerminate) override;
    void beginSavePanel(const SavePanelRequest& request, SavePanelCompletion completion) override;
    void showAlert(const AlertRequest& request, AlertCompletion completion) override;
    std::unique_ptr<StatusItem> makeSquareStatusItem() override;
    std::unique_ptr<AppWindow> makeWindow(const WindowRequest& request) override;

    void setApplicationExists(bool exists) { applicationExists_ = exists; }
    // A change is told to the appearance observers.
    void setDarkAppearance(bool dark);
    void refuseActivationPolicy(ActivationPolicy policy) { refused_.insert(policy); }
    void allowActivationPolicy(ActivationPolicy policy) { refused_.erase(policy); }
    // The system announces a locale change to every observer.
    void changeLocale();

    std::optional<ActivationPolicy> activationPolicy() const { return policy_; }
    // Every policy asked for, refused ones included, in order.
    const std::vector<ActivationPolicy>& policyRequests() const { return policyRequests_; }
    std::size_t localeObserverCount() const { return observers_.size(); }

    // ---- The application ------------------------------------------------------------
    // The user switches to us, or to another application.
    void userActivates() { changeActive(true, false); }
    void userDeactivates() { changeActive(false, false); }
    // The user clicks the application's icon, or launches it again.
    void userReopens();
    int activateRequests() const { return activateRequests_; }
    const std::optional<Menu>& mainMenu() const { return mainMenu_; }
    int mainMenuUpdates() const { return mainMenuUpdates_; }
    // The user chooses the main-menu item at `path` (an index per level).
    // False, and nothing happens, when it cannot be chosen.
    bool chooseMainMenuItem(const std::vector<std::size_t>& path);
    // Actions of main-menu items sent to whatever holds the keyboard focus.
    const std::vector<MenuAction>& focusedActions() const { return focusedActions_; }
    // The terminate handshake as it went: "asked:now|cancel|later",
    // "reply:yes|no", "reply-ignored:yes|no", "will-terminate", "terminated".
    const std::vector<std::string>& terminationSteps() const { return terminationSteps_; }
    bool waitsForTerminateReply() const { return waitingForTerminateReply_; }
    bool terminated() const { return terminated_; }
    // Runs once the run loop has ended, after the will-terminate handler:
    // where a program built on the simulated desktop ends its own loop.
    void setOnTerminated(std::function<void()> onTerminated) { onTerminated_ = std::move(onTerminated); }

    // ---- Save panels ------------------------------------------------------------------
    // Every save panel opened, in order; an index names one panel.
    const std::vector<SimSavePanel>& savePanels() const { return panels_; }
    // The indices of the panels still open, oldest first.
    std::vector<std::size_t> openSavePanels() const;
    // The user saves at `location` (a path with its length, U+0000 and all),
    // or cancels. False, and nothing happens, for a panel that is not open.
    bool chooseSaveLocation(std::size_t panel, std::filesystem::path location);
    bool cancelSavePanel(std::size_t panel);

    // ---- Alerts and sheets -------------------------------------------------------------
    // Every alert and sheet shown, in order; an index names one.
    const std::vector<SimAlert>& alerts() const { return alerts_; }
    std::vector<std::size_t> openAlerts() const;
    // The user clicks the button at `button` (0 for the first). False, and
    // nothing happens, for an alert that is not open or a button it lacks.
    bool chooseAlertButton(std::size_t alert, std::size_t button);
    // The user presses Return: the first button.
    bool pressReturnOnAlert(std::size_t alert) { return chooseAlertButton(alert, 0); }

    // ---- Status items and windows ------------------------------------------------------
    // Which images load; symbols load unless marked missing, resources and
    // files only once marked present.
    void setImageAvailable(const ImageSource& source, bool available);
    bool imageLoads(const ImageSource& source) const;
    // The live ones, oldest first.
    const std::vector<SimStatusItem*>& statusItems() const { return statusItems_; }
    const std::vector<SimAppWindow*>& windows() const { return windows_; }
    // Every window made from now on loads its main documents through
    // `fetcher`; without one, tests script each load.
    void setPageFetcher(std::shared_ptr<PageFetcher> fetcher) { pageFetcher_ = std::move(fetcher); }
    bool hasVisibleWindows() const;

    // For SimStatusItem and SimAppWindow.
    void forgetStatusItem(const SimStatusItem& item);
    void forgetWindow(const SimAppWindow& window);
    void addAlert(const AlertRequest& request, std::optional<std::size_t> sheetWindow, AlertCompletion completion);
    // Applies `change`, then tells every window's owner and the active
    // observers what it changed, on the loop or at once.
    void changeWindows(const std::function<void()>& change, bool onTheLoop);
    void clearKeyHolders();
    void setActiveState(bool active) { active_ = active; }

private:
    bool closeSavePanel(std::size_t panel, std::optional<std::filesystem::path> location);
    void changeActive(bool active, bool onTheLoop);
    void finishTermination();
    void runOnLoop(std::function<void()> action);

    MainLoop* loop_ = nullptr;
    // Posted notices hold it weakly: a notice left on the loop after the
    // desktop went does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool applicationExists_ = true;
    bool dark_ = false;
    bool active_ = false;
    std::set<ActivationPolicy> refused_;
    std::optional<ActivationPolicy> policy_;
    std::vector<ActivationPolicy> policyRequests_;
    ObserverList<> observers_;
    ObserverList<> appearanceObservers_;
    ObserverList<bool> activeObservers_;
    ApplicationHandlers handlers_;
    int activateRequests_ = 0;
    std::optional<Menu> mainMenu_;
    int mainMenuUpdates_ = 0;
    std::vector<MenuAction> focusedActions_;
    std::vector<std::string> terminationSteps_;
    bool waitingForTerminateReply_ = false;
    std::function<void()> onTerminated_;
    std::shared_ptr<PageFetcher> pageFetcher_;
    bool terminated_ = false;
    std::vector<SimSavePanel> panels_;
    std::map<std::size_t, SavePanelCompletion> completions_;
    std::vector<SimAlert> alerts_;
    std::map<std::size_t, AlertCompletion> alertCompletions_;
    std::vector<ImageSource> presentImages_;
    std::vector<ImageSource> missingSymbols_;
    std::vector<SimStatusItem*> statusItems_;
    std::vector<SimAppWindow*> windows_;
    std::size_t nextWindowID_ = 1;
};

}  // namespace murmo
