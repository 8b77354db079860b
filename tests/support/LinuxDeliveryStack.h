#pragma once

// Text delivery on this session's Linux desktop, composed as the program
// composes it: one LinuxDesktop on the caller's loop, the paste engine and the
// focus text injector on its ports. Its preferences go to a folder of its own.
// Links with the Linux backends (whoever includes it includes
// "platform/linux/LinuxDesktop.h" through it).

#include <memory>

#include "coordinator/DeliveryComposition.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "runtime/Environment.h"
#include "runtime/MainLoop.h"
#include "support/FixedBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo::testing {

struct LinuxDeliveryStack {
    explicit LinuxDeliveryStack(MainLoop& loop)
        : desktop(std::make_unique<LinuxDesktop>(loop, environmentWithin(home),
                                                 std::make_shared<FixedBundle>(home.path() / "Murmo.app"))),
          ports(desktop->ports()),
          paster(ClipboardPaster::create(clipboardPasterPorts(ports, loop, ids))),
          injector(FocusTextInjector::create(focusTextInjectorPorts(ports, loop, ids), paster)) {}
    ~LinuxDeliveryStack() { injector->shutdown(); }
    LinuxDeliveryStack(const LinuxDeliveryStack&) = delete;
    LinuxDeliveryStack& operator=(const LinuxDeliveryStack&) = delete;

    static EnvironmentMap environmentWithin(const TemporaryDirectory& home) {
        auto environment = currentEnvironment();
        environment["XDG_CONFIG_HOME"] = (home.path() / "config").string();
        return environment;
    }

    TemporaryDirectory home;
    SequentialIdGenerator ids;
    std::unique_ptr<LinuxDesktop> desktop;
    DesktopPorts ports;
    std::shared_ptr<ClipboardPaster> paster;
    std::shared_ptr<FocusTextInjector> injector;
};

}  // namespace murmo::testing
