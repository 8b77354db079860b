#pragma once

// Hands the engine what the desktop knows and the engine asks about: the
// update card facts and the two one-slot event mailboxes of the shell (an
// export and a writing copy). The owner calls publish() on each settings poll
// tick; one POST of {"update_facts", "export_event", "writing_copy_event"}
// to "api/v1/desktop/context" goes out when the facts changed since the last
// accepted send or a mailbox held an event. Main thread only; the reply is
// handled on the main loop.
//
// Nothing is lost on the way: an event whose POST fails goes back into its
// mailbox unless a newer one arrived meanwhile, even when the owner has let
// the publisher go before the reply came. An engine that answers 404
// takes no context, and is not asked again by this publisher.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/CoreTransport.h"
#include "runtime/JsonRead.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"

namespace murmo {

// One of the shell's one-slot event mailboxes, as the publisher reaches it.
struct CoreEventMailbox {
    // The event, emptying the mailbox.
    std::function<std::optional<std::string>()> take;
    // An event that could not be sent; kept only if the mailbox is still empty.
    std::function<void(std::string)> restore;
};

// What the publisher asks for on each tick, on the main thread.
struct CoreLaunchProviders {
    // The update card facts; null when there is no update coordinator.
    std::function<json::Json()> updateFacts;
    CoreEventMailbox exportEvent;
    CoreEventMailbox writingCopyEvent;
};

struct CoreDesktopContextPublisherPorts {
    MainLoop& loop;
    std::shared_ptr<CoreTransport> transport;
    Logger log;
};

class CoreDesktopContextPublisher : public std::enable_shared_from_this<CoreDesktopContextPublisher> {
public:
    static constexpr std::string_view kContextPath = "api/v1/desktop/context";

    // Absent when `coreURL` is not a server URL.
    static std::shared_ptr<CoreDesktopContextPublisher> create(CoreDesktopContextPublisherPorts ports,
                                                               std::string_view coreURL, std::string desktopToken,
                                                               CoreLaunchProviders providers);
    CoreDesktopContextPublisher(const CoreDesktopContextPublisher&) = delete;
    CoreDesktopContextPublisher& operator=(const CoreDesktopContextPublisher&) = delete;

    // Asks the providers and sends what is new. While a send is in flight,
    // or once the engine refused the context, it does nothing: the events
    // stay in their mailboxes.
    void publish();

    bool isRefused() const { return refused_; }
    bool isSending() const { return sending_; }

private:
    CoreDesktopContextPublisher(CoreDesktopContextPublisherPorts ports, URL contextURL, std::string desktopToken,
                                CoreLaunchProviders providers);

    struct Sent {
        json::Json facts;
        std::optional<std::string> exportEvent;
        std::optional<std::string> writingCopyEvent;
    };
    void finishSend(Sent sent, const Result<CoreHTTPResponse>& reply);
    static std::optional<std::string> take(const CoreEventMailbox& mailbox);
    static void restore(const CoreEventMailbox& mailbox, std::optional<std::string> event);

    CoreDesktopContextPublisherPorts ports_;
    URL contextURL_;
    std::string desktopToken_;
    CoreLaunchProviders providers_;
    // The facts the engine last accepted; absent before the first send.
    std::optional<json::Json> acceptedFacts_;
    bool sending_ = false;
    bool refused_ = false;
};

}  // namespace murmo
