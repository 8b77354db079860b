#include "engine/CoreDesktopContextPublisher.h"

#include <utility>

namespace murmo {

namespace {

constexpr int kNotFound = 404;
constexpr Duration kContextRequestTimeout = std::chrono::seconds(10);

json::Json eventValue(const std::optional<std::string>& event) { return event ? json::Json(*event) : json::Json(); }

}  // namespace

std::shared_ptr<CoreDesktopContextPublisher> CoreDesktopContextPublisher::create(CoreDesktopContextPublisherPorts ports,
                                                                                 std::string_view coreURL,
                                                                                 std::string desktopToken,
                                                                                 CoreLaunchProviders providers) {
    auto base = URL::parseServer(coreURL);
    if (!base) return nullptr;
    return std::shared_ptr<CoreDesktopContextPublisher>(
        new CoreDesktopContextPublisher(std::move(ports), base->appending(URLPath::literal(kContextPath)),
                                        std::move(desktopToken), std::move(providers)));
}

CoreDesktopContextPublisher::CoreDesktopContextPublisher(CoreDesktopContextPublisherPorts ports, URL contextURL,
                                                         std::string desktopToken, CoreLaunchProviders providers)
    : ports_(std::move(ports)),
      contextURL_(std::move(contextURL)),
      desktopToken_(std::move(desktopToken)),
      providers_(std::move(providers)) {}

std::optional<std::string> CoreDesktopContextPublisher::take(const CoreEventMailbox& mailbox) {
    return mailbox.take ? mailbox.take() : std::nullopt;
}

void CoreDesktopContextPublisher::restore(const CoreEventMailbox& mailbox, std::optional<std::string> event) {
    if (event && mailbox.restore) mailbox.restore(std::move(*event));
}

void CoreDesktopContextPublisher::publish() {
    if (refused_ || sending_) return;
    Sent sent{.facts = providers_.updateFacts ? providers_.updateFacts() : json::Json(),
              .exportEvent = take(providers_.exportEvent),
              .writingCopyEvent = take(providers_.writingCopyEvent)};
    const bool hasEvent = sent.exportEvent || sent.writingCopyEvent;
    if (!hasEvent && acceptedFacts_ && *acceptedFacts_ == sent.facts) return;

    auto body = json::dump(json::Json{{"update_facts", sent.facts},
                                      {"export_event", eventValue(sent.exportEvent)},
                                      {"writing_copy_event", eventValue(sent.writingCopyEvent)}});
    if (!body) {
        // Text the engine could not read; the events wait for a fixed one.
        ports_.log.error("Desktop context not encodable detail={}", logPrivate(body.error().message));
        restore(providers_.exportEvent, std::move(sent.exportEvent));
        restore(providers_.writingCopyEvent, std::move(sent.writingCopyEvent));
        return;
    }
    CoreHTTPRequest request;
    request.url = contextURL_;
    request.method = "POST";
    request.headers = {{std::string(kDesktopTokenHeader), desktopToken_}, {"Content-Type", "application/json"}};
    request.body = std::move(*body);
    request.idleTimeout = kContextRequestTimeout;
    request.exchangeTimeout = kContextRequestTimeout;

    sending_ = true;
    // The reply holds the publisher weakly (it holds the transport, which
    // holds the reply), but the mailboxes strongly: an event whose send
    // fails goes back even when the owner has let the publisher go.
    ports_.transport->sendHTTP(
        std::move(request), [weak = weak_from_this(), loop = &ports_.loop, exportEvent = providers_.exportEvent,
                             writingCopyEvent = providers_.writingCopyEvent,
                             sent = std::move(sent)](Result<CoreHTTPResponse> reply) mutable {
            // The transport's thread: everything else happens on the main loop.
            loop->post([weak, exportEvent = std::move(exportEvent), writingCopyEvent = std::move(writingCopyEvent),
                        sent = std::move(sent), reply = std::move(reply)]() mutable {
                if (auto self = weak.lock()) return self->finishSend(std::move(sent), reply);
                if (reply && reply->status >= 200 && reply->status <= 299) return;
                restore(exportEvent, std::move(sent.exportEvent));
                restore(writingCopyEvent, std::move(sent.writingCopyEvent));
            });
        });
}

void CoreDesktopContextPublisher::finishSend(Sent sent, const Result<CoreHTTPResponse>& reply) {
    sending_ = false;
    const int status = reply ? reply->status : 0;
    if (status >= 200 && status <= 299) {
        acceptedFacts_ = std::move(sent.facts);
        return;
    }
    if (status == kNotFound) {
        refused_ = true;
        ports_.log.info("Engine takes no desktop context");
    } else if (reply) {
        ports_.log.error("Desktop context not delivered status={}", logPublic(status));
    } else {
        ports_.log.error("Desktop context not delivered reason={}", logPublic(reply.error().reason.value_or("")));
    }
    restore(providers_.exportEvent, std::move(sent.exportEvent));
    restore(providers_.writingCopyEvent, std::move(sent.writingCopyEvent));
}

}  // namespace murmo
