#include "platform/sim/SimLoginItem.h"

namespace murmo {

Status SimLoginItem::failure(const std::string& message) { return fail("SimLoginItem", 1, message); }

std::int32_t SimLoginItem::status() const {
    calls_.push_back(Call::status);
    return status_;
}

void SimLoginItem::failRegister(std::string message, std::optional<std::int32_t> statusAfter) {
    registerFailure_ = std::move(message);
    statusAfterFailedRegister_ = statusAfter;
}

Status SimLoginItem::registerItem() {
    calls_.push_back(Call::registerItem);
    if (registerFailure_) {
        if (statusAfterFailedRegister_) status_ = *statusAfterFailedRegister_;
        return failure(*registerFailure_);
    }
    status_ = statusAfterRegister_;
    return {};
}

Status SimLoginItem::unregisterItem() {
    calls_.push_back(Call::unregisterItem);
    if (unregisterFailure_) return failure(*unregisterFailure_);
    status_ = statusAfterUnregister_;
    return {};
}

Status SimLoginItem::prepare() {
    calls_.push_back(Call::prepare);
    if (prepareFailure_) return failure(*prepareFailure_);
    return {};
}

bool SimLoginItem::openSettings() {
    calls_.push_back(Call::openSettings);
    return opensSettings_;
}

}  // namespace murmo
