#pragma once

// The system's registration of this application as one of the user's login
// items. Main thread; the calls may block briefly.

#include <cstdint>

#include "platform/Bundle.h"
#include "runtime/Error.h"

namespace murmo {

// The registration's status as the system reports it: one of these numbers,
// or another outside the known set.
namespace login_item_status {
inline constexpr std::int32_t notRegistered = 0;
inline constexpr std::int32_t enabled = 1;
inline constexpr std::int32_t requiresApproval = 2;
inline constexpr std::int32_t notFound = 3;
}  // namespace login_item_status

class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual std::int32_t status() const = 0;
    virtual Status registerItem() = 0;
    virtual Status unregisterItem() = 0;
    // Makes the application known to the system before it registers.
    virtual Status prepare() = 0;
    // Whether this build may be a login item at all.
    virtual bool isEligible() const = 0;
    // Opens the system's login-items settings; false where there are none.
    virtual bool openSettings() = 0;
};

// The rules every backend's eligibility starts from: the bundle is an
// application bundle (path extension "app") with an identifier and an
// executable that is an executable file.
bool isLaunchableApplicationBundle(const Bundle& bundle);

}  // namespace murmo
