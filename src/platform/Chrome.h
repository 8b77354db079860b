#pragma once

// The application object as the window chrome sees it: its activation policy
// (a Dock icon or the menu bar only), whether it is the active application,
// its effective light or dark appearance, the main menu, the reopen request
// and the terminate handshake, and the system's notices that affect every
// window. Main thread only. The save panel, alerts, the status item and the
// windows are ports of their own (SavePanel.h, Alert.h, StatusItem.h,
// AppWindow.h), backed by the same desktop. Shaped for a GtkApplication:
// activate is present(), the active notices follow the active window, reopen
// is a second activation, and the run loop it ends is the application's.

#include <functional>

#include "platform/Menu.h"
#include "runtime/ObserverHandle.h"

namespace murmo {

enum class ActivationPolicy {
    // A Dock icon and a menu bar.
    regular,
    // The menu-bar status item only.
    accessory,
};

// The owner's answer to a terminate request.
enum class TerminateReply {
    now,
    cancel,
    // The owner answers later with replyToShouldTerminate().
    later,
};

// The owner's side of the application object; each runs on the main loop.
struct ApplicationHandlers {
    // The user clicked the application's icon or launched it again;
    // `hasVisibleWindows` says whether any of our windows shows.
    std::function<void(bool hasVisibleWindows)> onReopen{};
    // Asked by every terminate(); absent: now.
    std::function<TerminateReply()> shouldTerminate{};
    // Runs once, just before the run loop ends.
    std::function<void()> willTerminate{};
    // The user chose a main-menu item aimed at the application (the
    // others go to whatever holds the keyboard focus).
    std::function<void(MenuAction)> onMenuAction{};
};

class Chrome {
public:
    virtual ~Chrome() = default;

    // False when the system refuses the policy; the old one then stays.
    virtual bool setActivationPolicy(ActivationPolicy policy) = 0;
    // Whether the application's effective appearance is dark; false before
    // the application object exists.
    virtual bool effectiveAppearanceIsDark() const = 0;
    // Called on the main thread whenever the user's locale changes
    // (language, region); dropping the handle stops the notices.
    virtual ObserverHandle observeLocaleChanges(std::function<void()> onChange) = 0;
    // Called whenever the effective appearance changes.
    virtual ObserverHandle observeAppearanceChanges(std::function<void()> onChange) = 0;

    // Brings the application to the front, ignoring which one the user
    // uses now.
    virtual void activate() = 0;
    virtual bool isActive() const = 0;
    // Told true when the application becomes active, false when it resigns;
    // never inside the call that caused it.
    virtual ObserverHandle observeActiveChanges(std::function<void(bool isActive)> onChange) = 0;

    virtual void setApplicationHandlers(ApplicationHandlers handlers) = 0;
    // The menu bar's model from now on; set again after every change.
    virtual void setMainMenu(Menu menu) = 0;

    // Asks the owner's should-terminate handler. Now: the will-terminate
    // handler runs and the run loop ends. Cancel: nothing more. Later: the
    // application waits, its loop running, for replyToShouldTerminate().
    // A request while one waits asks again; only "now" ends the wait then.
    virtual void terminate() = 0;
    // Ends a wait: true terminates as "now" does, false keeps running.
    // Ignored when nothing waits.
    virtual void replyToShouldTerminate(bool shouldTerminate) = 0;
};

}  // namespace murmo
