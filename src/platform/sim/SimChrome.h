#pragma once

#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "platform/Chrome.h"
#include "runtime/ObserverList.h"

namespace murmo {

// The application object of the simulated desktop. Tests choose whether it
// exists yet, its appearance, which policies the system refuses, and when the
// locale changes.
class SimChrome final : public Chrome {
public:
    bool setActivationPolicy(ActivationPolicy policy) override;
    bool effectiveAppearanceIsDark() const override { return applicationExists_ && dark_; }
    ObserverHandle observeLocaleChanges(std::function<void()> onChange) override;

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

private:
    bool applicationExists_ = true;
    bool dark_ = false;
    std::set<ActivationPolicy> refused_;
    std::optional<ActivationPolicy> policy_;
    std::vector<ActivationPolicy> policyRequests_;
    ObserverList<> observers_;
};

}  // namespace murmo
