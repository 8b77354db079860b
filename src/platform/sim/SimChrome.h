#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/Chrome.h"
#include "platform/SavePanel.h"
#include "runtime/MainLoop.h"
#include "runtime/ObserverList.h"

namespace murmo {

// One save panel the application opened, as the user sees it.
struct SimSavePanel {
    SavePanelRequest request{};
    bool open = true;
    // Once closed: the location chosen, or none for a cancel.
    std::optional<std::filesystem::path> location{};
};

// The application object of the simulated desktop. Tests choose whether it
// exists yet, its appearance, which policies the system refuses, and when the
// locale changes; they play the user at each save panel.
class SimChrome final : public Chrome, public SavePanel {
public:
    // `loop` runs the save panels' completions; without one they run inside
    // the test's call that closes the panel.
    explicit SimChrome(MainLoop* loop = nullptr) : loop_(loop) {}

    bool setActivationPolicy(ActivationPolicy policy) override;
    bool effectiveAppearanceIsDark() const override { return applicationExists_ && dark_; }
    ObserverHandle observeLocaleChanges(std::function<void()> onChange) override;
    void beginSavePanel(const SavePanelRequest& request, SavePanelCompletion completion) override;

    void setApplicationExists(bool exists) { applicationExists_ = exists; }
    void setDarkAppearance(bool dark) { dark_ = dark; }
    void refuseActivationPolicy(ActivationPolicy policy) { refused_.insert(policy); }
    void allowActivationPolicy(ActivationPolicy policy) { refused_.erase(policy); }
    // The system announces a locale change to every observer.
    void changeLocale();

    std::optional<ActivationPolicy> activationPolicy() const { return policy_; }
    // Every policy asked for, refused ones included, in order.
    const std::vector<ActivationPolicy>& policyRequests() const { return policyRequests_; }
    std::size_t localeObserverCount() const { return observers_.size(); }

    // Every save panel opened, in order; an index names one panel.
    const std::vector<SimSavePanel>& savePanels() const { return panels_; }
    // The indices of the panels still open, oldest first.
    std::vector<std::size_t> openSavePanels() const;
    // The user saves at `location` (a path with its length, U+0000 and all),
    // or cancels. False, and nothing happens, for a panel that is not open.
    bool chooseSaveLocation(std::size_t panel, std::filesystem::path location);
    bool cancelSavePanel(std::size_t panel);

private:
    bool closeSavePanel(std::size_t panel, std::optional<std::filesystem::path> location);

    MainLoop* loop_ = nullptr;
    bool applicationExists_ = true;
    bool dark_ = false;
    std::set<ActivationPolicy> refused_;
    std::optional<ActivationPolicy> policy_;
    std::vector<ActivationPolicy> policyRequests_;
    ObserverList<> observers_;
    std::vector<SimSavePanel> panels_;
    std::map<std::size_t, SavePanelCompletion> completions_;
};

}  // namespace murmo
