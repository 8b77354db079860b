#pragma once

// The ports of the paste engine and the focus text injector on one desktop's
// ports: the one composition of delivery, shared by the program and by the
// tests and benchmarks that deliver on a real or simulated desktop.

#include <memory>

#include "delivery/ClipboardPaster.h"
#include "delivery/FocusTextInjector.h"
#include "platform/DesktopPorts.h"

namespace murmo {

// The ports and `loop` and `ids` must outlive what is built on the result.
ClipboardPasterPorts clipboardPasterPorts(const DesktopPorts& ports, MainLoop& loop, IdGenerator& ids);
FocusTextInjectorPorts focusTextInjectorPorts(const DesktopPorts& ports, MainLoop& loop, IdGenerator& ids,
                                              std::shared_ptr<LogSink> logSink = StderrLogSink::shared());

}  // namespace murmo
