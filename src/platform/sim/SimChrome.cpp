#include "platform/sim/SimChrome.h"

#include <utility>

namespace murmo {

bool SimChrome::setActivationPolicy(ActivationPolicy policy) {
    policyRequests_.push_back(policy);
    if (refused_.contains(policy)) return false;
    policy_ = policy;
    return true;
}

ObserverHandle SimChrome::observeLocaleChanges(std::function<void()> onChange) {
    return observers_.add(std::move(onChange));
}

void SimChrome::changeLocale() { observers_.notify(); }

void SimChrome::beginSavePanel(const SavePanelRequest& request, SavePanelCompletion completion) {
    completions_.emplace(panels_.size(), std::move(completion));
    panels_.push_back(SimSavePanel{.request = request});
}

std::vector<std::size_t> SimChrome::openSavePanels() const {
    std::vector<std::size_t> open;
    for (std::size_t index = 0; index < panels_.size(); ++index) {
        if (panels_[index].open) open.push_back(index);
    }
    return open;
}

bool SimChrome::chooseSaveLocation(std::size_t panel, std::filesystem::path location) {
    return closeSavePanel(panel, std::move(location));
}

bool SimChrome::cancelSavePanel(std::size_t panel) { return closeSavePanel(panel, std::nullopt); }

bool SimChrome::closeSavePanel(std::size_t panel, std::optional<std::filesystem::path> location) {
    const auto found = completions_.find(panel);
    if (found == completions_.end()) return false;
    // Taken out first: the completion runs once, and whatever it holds goes
    // with it.
    auto completion = std::move(found->second);
    completions_.erase(found);
    panels_[panel].open = false;
    panels_[panel].location = location;
    if (!loop_) {
        completion(std::move(location));
        return true;
    }
    loop_->post([completion = std::move(completion), location = std::move(location)]() mutable {
        completion(std::move(location));
    });
    return true;
}

}  // namespace murmo
