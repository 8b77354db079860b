#pragma once

// The program's composition root: one place that builds the platform and the
// application on it. LinuxDesktop gives every port whose Linux backend exists
// (the defaults file, launch at login, the keyboard on an X display) and the
// simulated desktop's for the rest, so nothing reaches the user's windows or
// clipboard before their backends land; the bundle, the engine process and its
// sockets are real. What a person would see of the status menu and the
// dashboard is printed as lines on standard output meanwhile.

#include <functional>
#include <memory>

#include "app/ConsoleChrome.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "platform/linux/FileSystemBundle.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/LinuxUpdaterFactory.h"
#include "runtime/SystemIdGenerator.h"
#include "runtime/glib/GLibLoop.h"
#include "shell/MurmoAppDelegate.h"

namespace murmo {

class MurmoDesktop {
public:
    MurmoDesktop(GLibLoop& loop, MurmoLaunchConfiguration configuration);
    ~MurmoDesktop();
    MurmoDesktop(const MurmoDesktop&) = delete;
    MurmoDesktop& operator=(const MurmoDesktop&) = delete;

    // Runs once the application object has ended its run (after the quit
    // handshake).
    void setOnTerminated(std::function<void()> onTerminated);

    // What stays simulated for want of what it needs, one line each.
    const std::vector<std::string>& missingCapabilities() const { return desktop_.missingCapabilities(); }

    void launch();
    // What a quit from the menu, the system or a signal does.
    void terminate();

private:
    GLibLoop& loop_;
    std::shared_ptr<SystemIdGenerator> ids_ = std::make_shared<SystemIdGenerator>();
    std::shared_ptr<FileSystemBundle> bundle_;
    LinuxDesktop desktop_;
    LinuxUpdaterFactory updaters_;
    ConsoleChrome console_;
    std::shared_ptr<MurmoAppDelegate> delegate_;
};

}  // namespace murmo
