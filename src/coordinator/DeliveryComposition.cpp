#include "coordinator/DeliveryComposition.h"

#include <utility>

namespace murmo {

ClipboardPasterPorts clipboardPasterPorts(const DesktopPorts& ports, MainLoop& loop, IdGenerator& ids) {
    return {.loop = loop,
            .pasteboard = ports.pasteboard,
            .eventPoster = ports.eventPoster,
            .workspace = ports.workspace,
            .ids = ids};
}

FocusTextInjectorPorts focusTextInjectorPorts(const DesktopPorts& ports, MainLoop& loop, IdGenerator& ids,
                                              std::shared_ptr<LogSink> logSink) {
    return {.loop = loop,
            .accessibility = ports.accessibility,
            .workspace = ports.workspace,
            .processInfo = ports.processInfo,
            .inputActivity = ports.inputActivity,
            .pasteboard = ports.pasteboard,
            .eventPoster = ports.eventPoster,
            .ids = ids,
            .logSink = std::move(logSink)};
}

}  // namespace murmo
