#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/LoginItem.h"

namespace murmo {

// A scripted login-item registration: its status number, what registering
// and unregistering do to it, which calls fail, and a record of the calls.
class SimLoginItem final : public LoginItem {
public:
    enum class Call { status, registerItem, unregisterItem, prepare, openSettings };

    std::int32_t status() const override;
    Status registerItem() override;
    Status unregisterItem() override;
    Status prepare() override;
    bool isEligible() const override { return eligible_; }
    bool openSettings() override;

    void setStatus(std::int32_t status) { status_ = status; }
    void setEligible(bool eligible) { eligible_ = eligible; }
    // The status a successful register or unregister leaves (by default
    // enabled and not registered).
    void setStatusAfterRegister(std::int32_t status) { statusAfterRegister_ = status; }
    void setStatusAfterUnregister(std::int32_t status) { statusAfterUnregister_ = status; }
    // The call fails with this message; a failed register may still change
    // the status (as a registration awaiting approval does).
    void failRegister(std::string message, std::optional<std::int32_t> statusAfter = std::nullopt);
    void failUnregister(std::string message) { unregisterFailure_ = std::move(message); }
    void failPrepare(std::string message) { prepareFailure_ = std::move(message); }
    void setOpensSettings(bool opens) { opensSettings_ = opens; }

    const std::vector<Call>& calls() const { return calls_; }

private:
    static Status failure(const std::string& message);

    std::int32_t status_ = login_item_status::notRegistered;
    bool eligible_ = true;
    std::int32_t statusAfterRegister_ = login_item_status::enabled;
    std::int32_t statusAfterUnregister_ = login_item_status::notRegistered;
    std::optional<std::string> registerFailure_;
    std::optional<std::int32_t> statusAfterFailedRegister_;
    std::optional<std::string> unregisterFailure_;
    std::optional<std::string> prepareFailure_;
    bool opensSettings_ = true;
    mutable std::vector<Call> calls_;
};

}  // namespace murmo
