#include "StandInEngine.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <ranges>
#include <thread>
#include <utility>

#include "StandInHistory.h"
#include "StandInPathPattern.h"
#include "StandInRoutes.h"
#include "runtime/AsciiText.h"
#include "runtime/URL.h"

namespace murmo {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

constexpr std::string_view kErrorDomain = "MurmoStandInEngine";
constexpr std::size_t kBodyLimit = 16 * 1024 * 1024;
// Requests to paths beyond this many distinct ones are not counted per path,
// so a client inventing paths cannot grow the counters without bound.
constexpr std::size_t kMaximumCountedPaths = 256;

// Compares without an early exit, so the time taken says nothing about how
// much of a guessed token was right.
bool tokensMatch(std::string_view expected, std::string_view given) {
    if (expected.empty() || expected.size() != given.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        difference |= static_cast<unsigned char>(expected[i] ^ given[i]);
    }
    return difference == 0;
}

StandInReply jsonReply(unsigned status, std::string body) { return StandInReply{status, std::move(body)}; }

}  // namespace

std::string StandInRequest::header(std::string_view name) const {
    auto found = headers.find(asciiLowercased(name));
    return found == headers.end() ? std::string() : found->second;
}

struct StandInEngine::Impl {
    class Session;
    class EventSocket;

    explicit Impl(StandInEngineOptions givenOptions)
        : options(std::move(givenOptions)), received(options.recordCapacity), frames(options.recordCapacity) {}

    // A handler whose path holds "*" segments.
    struct PatternHandler {
        std::string method;
        StandInPathPattern path;
        StandInHandler handler;
    };

    // A request told to hold, with the connection that waits for its reply.
    struct HeldRequest {
        StandInRequest request;
        std::shared_ptr<Session> session;
    };

    // Sets `readyHealth` when the answer is the built-in ready health reply.
    StandInReply answer(StandInRequest& request, bool& readyHealth);
    // Under `mutex`; empty when no handler is set for the request.
    StandInHandler handlerFor(const StandInRequest& request) const;
    void park(std::shared_ptr<Session> session, StandInRequest request);
    // Records an upgrade request; the status to refuse it with, or 101.
    unsigned admitUpgrade(StandInRequest& request);
    // Under `mutex`.
    void recordRequest(const StandInRequest& request);
    void noteWritten(bool readyHealth);
    void accept();

    // I/O thread.
    template <class Action>
    void forEachSocket(Action action);
    void recordFrame(std::size_t socket, bool text, std::string bytes);
    StandInAcknowledgements acknowledgementPolicy() const;

    StandInEngineOptions options;
    std::unique_ptr<asio::io_context> ioc = std::make_unique<asio::io_context>(1);
    std::optional<tcp::acceptor> acceptor;
    std::thread thread;
    std::atomic<std::uint16_t> boundPort{0};

    mutable std::mutex mutex;
    bool ready = true;
    bool firstReadyDone = false;
    std::function<void()> firstReady;
    std::map<std::pair<std::string, std::string>, StandInHandler, std::less<>> handlers;
    // Oldest first; the last match wins.
    std::vector<PatternHandler> patternHandlers;
    // Oldest first.
    std::deque<HeldRequest> held;
    mutable std::condition_variable heldArrived;
    StandInHistory<StandInRequest> received;
    std::map<std::string, std::size_t, std::less<>> requestsPerPath;
    bool refusesSockets = false;
    StandInAcknowledgements acknowledgements = StandInAcknowledgements::send;
    std::size_t acceptedSockets = 0;
    std::size_t openSockets = 0;
    StandInHistory<StandInSocketFrame> frames;
    mutable std::condition_variable framesArrived;

    // I/O thread only.
    std::vector<std::weak_ptr<EventSocket>> sockets;
    // Connections told to hang are kept here until the engine stops.
    std::vector<std::shared_ptr<Session>> hanging;
    std::vector<std::pair<std::weak_ptr<EventSocket>, std::string>> heldAcknowledgements;
};

// One accepted event socket. Touched on the I/O thread only.
class StandInEngine::Impl::EventSocket : public std::enable_shared_from_this<EventSocket> {
public:
    EventSocket(Impl& engine, beast::tcp_stream stream, std::size_t index)
        : engine_(engine), socket_(std::move(stream)), index_(index) {}

    void accept(http::request<http::string_body> request) {
        socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        socket_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (error) return self->closed();
            self->engine_.sockets.push_back(self);
            self->sendEvent(StandInEvent{.type = "runtime_status", .dataJSON = R"({"state":"ready"})"});
            self->read();
        });
    }

    void sendEvent(const StandInEvent& pushed) {
        auto data = nlohmann::json::parse(pushed.dataJSON, nullptr, false);
        nlohmann::json event = {{"protocol_version", 1},
                                {"sequence", ++sequence_},
                                {"type", pushed.type},
                                {"qos", pushed.qos},
                                {"data", data.is_discarded() ? nlohmann::json::object() : data}};
        if (pushed.operationID) event["operation_id"] = *pushed.operationID;
        if (pushed.monotonicNanoseconds) event["monotonic_ns"] = *pushed.monotonicNanoseconds;
        send(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }

    void send(std::string text) {
        outbox_.push_back(std::move(text));
        writeNext();
    }

    void acknowledge(const std::string& operationID) {
        send(nlohmann::json{{"type", "native_audio_end_ack"}, {"operation_id", operationID}}.dump());
    }

    void drop() {
        beast::error_code ignored;
        beast::get_lowest_layer(socket_).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(socket_).socket().close(ignored);
    }

private:
    void read() {
        socket_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return self->closed();
            self->onMessage();
            self->read();
        });
    }

    void onMessage() {
        const bool text = socket_.got_text();
        std::string bytes = beast::buffers_to_string(buffer_.cdata());
        buffer_.consume(buffer_.size());
        std::optional<std::string> ended;
        if (text) {
            auto message = nlohmann::json::parse(bytes, nullptr, false);
            if (message.is_object() && message.value("type", "") == "native_audio_end" &&
                message.contains("operation_id") && message["operation_id"].is_string()) {
                ended = message["operation_id"].get<std::string>();
            }
        }
        engine_.recordFrame(index_, text, std::move(bytes));
        if (!ended) return;
        switch (engine_.acknowledgementPolicy()) {
            case StandInAcknowledgements::send: acknowledge(*ended); break;
            case StandInAcknowledgements::hold:
                engine_.heldAcknowledgements.emplace_back(weak_from_this(), *ended);
                break;
            case StandInAcknowledgements::refuse: break;
        }
    }

    void writeNext() {
        if (writing_ || outbox_.empty() || closed_) return;
        writing_ = true;
        socket_.text(true);
        socket_.async_write(asio::buffer(outbox_.front()),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                self->writing_ = false;
                                self->outbox_.pop_front();
                                if (error) return self->closed();
                                self->writeNext();
                            });
    }

    void closed() {
        if (closed_) return;
        closed_ = true;
        drop();
        std::lock_guard lock(engine_.mutex);
        --engine_.openSockets;
    }

    Impl& engine_;
    websocket::stream<beast::tcp_stream> socket_;
    std::size_t index_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    bool writing_ = false;
    bool closed_ = false;
    std::int64_t sequence_ = 0;
};

template <class Action>
void StandInEngine::Impl::forEachSocket(Action action) {
    std::erase_if(sockets, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : sockets) {
        if (auto socket = weak.lock()) action(*socket);
    }
}

void StandInEngine::Impl::recordFrame(std::size_t socket, bool text, std::string bytes) {
    {
        std::lock_guard lock(mutex);
        frames.add(StandInSocketFrame{socket, text, std::move(bytes)});
    }
    framesArrived.notify_all();
}

StandInAcknowledgements StandInEngine::Impl::acknowledgementPolicy() const {
    std::lock_guard lock(mutex);
    return acknowledgements;
}

class StandInEngine::Impl::Session : public std::enable_shared_from_this<Session> {
public:
    Session(Impl& engine, tcp::socket socket) : engine_(engine), stream_(std::move(socket)) {}

    void read() {
        parser_.emplace();
        parser_->body_limit(kBodyLimit);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->onRead(error); });
    }

    // Answers the request read last with `reply`, after the reply's delay.
    void answerWith(StandInReply reply, StandInRequest request) {
        if (reply.delay <= Duration::zero()) return deliver(std::move(reply), std::move(request));
        timer_.expires_after(reply.delay);
        timer_.async_wait([self = shared_from_this(), reply = std::move(reply),
                           request = std::move(request)](beast::error_code error) mutable {
            if (error) return self->close();
            self->deliver(std::move(reply), std::move(request));
        });
    }

private:
    void onRead(beast::error_code error) {
        if (error) {
            close();
            return;
        }
        message_ = parser_->release();
        StandInRequest request;
        request.method = std::string(message_.method_string());
        request.target = std::string(message_.target());
        request.path = request.target.substr(0, request.target.find('?'));
        for (const auto& field : message_) {
            request.headers[asciiLowercased(field.name_string())] = std::string(field.value());
        }
        request.body = std::move(message_.body());

        if (websocket::is_upgrade(message_)) return upgrade(request);
        auto reply = engine_.answer(request, readyHealth_);
        answerWith(std::move(reply), std::move(request));
    }

    void upgrade(StandInRequest& request) {
        const auto status = engine_.admitUpgrade(request);
        if (status != 101) {
            return deliver(StandInReply{status, R"({"detail":"event socket refused"})"}, std::move(request));
        }
        std::size_t index = 0;
        {
            std::lock_guard lock(engine_.mutex);
            index = engine_.acceptedSockets++;
            ++engine_.openSockets;
        }
        std::make_shared<EventSocket>(engine_, std::move(stream_), index)->accept(std::move(message_));
    }

    void deliver(StandInReply reply, StandInRequest request) {
        switch (reply.delivery) {
            case StandInReply::Delivery::respond: break;
            case StandInReply::Delivery::hang: engine_.hanging.push_back(shared_from_this()); return;
            case StandInReply::Delivery::closeWithoutReply: return close();
            case StandInReply::Delivery::hold: return engine_.park(shared_from_this(), std::move(request));
        }
        response_ = {};
        response_.version(message_.version());
        response_.result(reply.status);
        response_.set(http::field::server, "murmo-stand-in-engine");
        response_.set(http::field::content_type, reply.contentType);
        response_.keep_alive(message_.keep_alive());
        response_.body() = std::move(reply.body);
        response_.prepare_payload();
        http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code writeError, std::size_t) {
            self->onWrite(writeError);
        });
    }

    void onWrite(beast::error_code error) {
        if (error) {
            close();
            return;
        }
        engine_.noteWritten(readyHealth_);
        if (!response_.keep_alive()) {
            close();
            return;
        }
        read();
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.socket().close(ignored);
    }

    Impl& engine_;
    beast::tcp_stream stream_;
    asio::steady_timer timer_{stream_.get_executor()};
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    // The request being answered, kept for its version and keep-alive.
    http::request<http::string_body> message_;
    http::response<http::string_body> response_;
    bool readyHealth_ = false;
};

StandInReply StandInEngine::Impl::answer(StandInRequest& request, bool& readyHealth) {
    readyHealth = false;
    request.authorized = tokensMatch(options.desktopToken, request.header(kTokenHeader));
    StandInHandler handler;
    bool readyNow = false;
    {
        std::lock_guard lock(mutex);
        recordRequest(request);
        handler = handlerFor(request);
        readyNow = ready;
    }
    if (!request.authorized) return jsonReply(401, R"({"detail":"missing or invalid desktop token"})");
    if (handler) return handler(request);
    if (request.path == kHealthPath) {
        if (request.method != "GET") return jsonReply(405, R"({"detail":"Method Not Allowed"})");
        readyHealth = readyNow;
        return readyNow ? readyHealthReply() : notReadyHealthReply();
    }
    if (auto reply = standInDefaultReply(request)) return std::move(*reply);
    return jsonReply(404, R"({"detail":"Not Found"})");
}

StandInHandler StandInEngine::Impl::handlerFor(const StandInRequest& request) const {
    if (auto found = handlers.find(std::pair(request.method, request.path)); found != handlers.end()) {
        return found->second;
    }
    if (patternHandlers.empty()) return {};
    const auto segments = URLPath::literal(request.path).segments();
    for (const auto& candidate : patternHandlers | std::views::reverse) {
        if (candidate.method == request.method && candidate.path.matches(segments)) return candidate.handler;
    }
    return {};
}

void StandInEngine::Impl::park(std::shared_ptr<Session> session, StandInRequest request) {
    {
        std::lock_guard lock(mutex);
        held.push_back(HeldRequest{std::move(request), std::move(session)});
    }
    heldArrived.notify_all();
}

unsigned StandInEngine::Impl::admitUpgrade(StandInRequest& request) {
    request.authorized = tokensMatch(options.desktopToken, request.header(kTokenHeader));
    std::lock_guard lock(mutex);
    recordRequest(request);
    if (!request.authorized) return 401;
    if (request.path != kEventsPath) return 404;
    if (refusesSockets) return 403;
    return 101;
}

void StandInEngine::Impl::recordRequest(const StandInRequest& request) {
    received.add(request);
    if (auto counted = requestsPerPath.find(request.path); counted != requestsPerPath.end()) {
        ++counted->second;
    } else if (requestsPerPath.size() < kMaximumCountedPaths) {
        requestsPerPath.emplace(request.path, 1);
    }
}

void StandInEngine::Impl::noteWritten(bool readyHealth) {
    if (!readyHealth) return;
    std::function<void()> callback;
    {
        std::lock_guard lock(mutex);
        if (firstReadyDone) return;
        firstReadyDone = true;
        callback = std::move(firstReady);
    }
    if (callback) callback();
}

void StandInEngine::Impl::accept() {
    acceptor->async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error) {
            if (error == asio::error::operation_aborted) return;
        } else {
            // Small writes go out at once, as the client's do: with Nagle on,
            // an event pushed while an earlier frame is still unacknowledged
            // waits for the client's delayed ACK (some 40 ms on Linux).
            beast::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            std::make_shared<Session>(*this, std::move(socket))->read();
        }
        accept();
    });
}

StandInEngine::StandInEngine(StandInEngineOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

StandInEngine::~StandInEngine() { stop(); }

Status StandInEngine::start() {
    if (impl_->thread.joinable() || !impl_->ioc) return fail(std::string(kErrorDomain), 1, "already started");
    beast::error_code error;
    const auto address = asio::ip::make_address(impl_->options.host, error);
    if (error) return fail(std::string(kErrorDomain), 2, "invalid host: " + impl_->options.host);
    tcp::endpoint endpoint(address, impl_->options.port);
    auto& acceptor = impl_->acceptor.emplace(*impl_->ioc);
    acceptor.open(endpoint.protocol(), error);
    if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        impl_->acceptor.reset();
        return fail(std::string(kErrorDomain), 3,
                    "cannot listen on " + impl_->options.host + ":" + std::to_string(impl_->options.port) + ": " +
                        error.message());
    }
    impl_->boundPort = acceptor.local_endpoint().port();
    impl_->accept();
    impl_->thread = std::thread([ioc = impl_->ioc.get()] { ioc->run(); });
    return {};
}

void StandInEngine::stop() {
    if (!impl_->ioc) return;
    impl_->ioc->stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->hanging.clear();
    impl_->heldAcknowledgements.clear();
    {
        std::lock_guard lock(impl_->mutex);
        impl_->held.clear();
    }
    // Destroying the context drops every pending operation and so closes
    // every connection, instead of leaving clients hanging on a dead server.
    impl_->acceptor.reset();
    impl_->ioc.reset();
}

std::uint16_t StandInEngine::port() const { return impl_->boundPort.load(); }

std::string StandInEngine::baseURL() const { return "http://" + impl_->options.host + ":" + std::to_string(port()); }

void StandInEngine::setReady(bool ready) {
    std::lock_guard lock(impl_->mutex);
    impl_->ready = ready;
}

bool StandInEngine::isReady() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->ready;
}

void StandInEngine::onFirstReadyReply(std::function<void()> callback) {
    std::lock_guard lock(impl_->mutex);
    impl_->firstReady = std::move(callback);
}

void StandInEngine::setHandler(std::string method, std::string path, StandInHandler handler) {
    StandInPathPattern pattern(path);
    std::lock_guard lock(impl_->mutex);
    if (!pattern.hasWildcard()) {
        impl_->handlers[std::pair(std::move(method), std::move(path))] = std::move(handler);
        return;
    }
    std::erase_if(impl_->patternHandlers,
                  [&](const auto& existing) { return existing.method == method && existing.path == pattern; });
    impl_->patternHandlers.push_back({std::move(method), std::move(pattern), std::move(handler)});
}

void StandInEngine::setReply(std::string method, std::string path, StandInReply reply) {
    setHandler(std::move(method), std::move(path), [reply = std::move(reply)](const StandInRequest&) { return reply; });
}

void StandInEngine::removeHandler(std::string_view method, std::string_view path) {
    StandInPathPattern pattern(path);
    std::lock_guard lock(impl_->mutex);
    if (pattern.hasWildcard()) {
        std::erase_if(impl_->patternHandlers,
                      [&](const auto& existing) { return existing.method == method && existing.path == pattern; });
        return;
    }
    auto found = impl_->handlers.find(std::pair(std::string(method), std::string(path)));
    if (found != impl_->handlers.end()) impl_->handlers.erase(found);
}

std::vector<StandInRequest> StandInEngine::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received.recent();
}

std::size_t StandInEngine::requestCount(std::string_view path) const {
    std::lock_guard lock(impl_->mutex);
    auto counted = impl_->requestsPerPath.find(path);
    return counted == impl_->requestsPerPath.end() ? 0 : counted->second;
}

std::vector<StandInRequest> StandInEngine::heldRequests() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<StandInRequest> parked;
    parked.reserve(impl_->held.size());
    for (const auto& held : impl_->held) parked.push_back(held.request);
    return parked;
}

bool StandInEngine::waitForHeldRequests(std::size_t count, Duration timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->heldArrived.wait_for(lock, timeout, [&] { return impl_->held.size() >= count; });
}

bool StandInEngine::releaseHeldReply(std::string_view path, StandInReply reply) {
    const StandInPathPattern pattern(path);
    const auto named = [&](const StandInRequest& request) {
        return pattern.hasWildcard() ? pattern.matches(std::string_view(request.path)) : request.path == path;
    };
    Impl::HeldRequest released;
    {
        std::lock_guard lock(impl_->mutex);
        auto found = std::ranges::find_if(impl_->held, [&](const auto& held) { return named(held.request); });
        if (found == impl_->held.end()) return false;
        released = std::move(*found);
        impl_->held.erase(found);
    }
    asio::post(*impl_->ioc, [released = std::move(released), reply = std::move(reply)]() mutable {
        released.session->answerWith(std::move(reply), std::move(released.request));
    });
    return true;
}

void StandInEngine::pushEvent(StandInEvent event) {
    if (!impl_->ioc) return;
    asio::post(*impl_->ioc, [impl = impl_.get(), event = std::move(event)] {
        impl->forEachSocket([&](Impl::EventSocket& socket) { socket.sendEvent(event); });
    });
}

void StandInEngine::pushEvent(std::string type, std::string dataJSON, std::string qos,
                              std::optional<std::string> operationID) {
    pushEvent(StandInEvent{.type = std::move(type),
                           .dataJSON = std::move(dataJSON),
                           .qos = std::move(qos),
                           .operationID = std::move(operationID)});
}

void StandInEngine::pushText(std::string text) {
    if (!impl_->ioc) return;
    asio::post(*impl_->ioc, [impl = impl_.get(), text = std::move(text)] {
        impl->forEachSocket([&](Impl::EventSocket& socket) { socket.send(text); });
    });
}

void StandInEngine::setRefusesSockets(bool refuse) {
    std::lock_guard lock(impl_->mutex);
    impl_->refusesSockets = refuse;
}

void StandInEngine::dropSockets() {
    if (!impl_->ioc) return;
    asio::post(*impl_->ioc,
               [impl = impl_.get()] { impl->forEachSocket([](Impl::EventSocket& socket) { socket.drop(); }); });
}

void StandInEngine::setAcknowledgements(StandInAcknowledgements policy) {
    std::lock_guard lock(impl_->mutex);
    impl_->acknowledgements = policy;
}

void StandInEngine::releaseHeldAcknowledgements() {
    if (!impl_->ioc) return;
    asio::post(*impl_->ioc, [impl = impl_.get()] {
        auto held = std::move(impl->heldAcknowledgements);
        impl->heldAcknowledgements.clear();
        for (auto& [weak, operationID] : held) {
            if (auto socket = weak.lock()) socket->acknowledge(operationID);
        }
    });
}

std::size_t StandInEngine::openSocketCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->openSockets;
}

std::size_t StandInEngine::acceptedSocketCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->acceptedSockets;
}

std::vector<StandInSocketFrame> StandInEngine::socketFrames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames.recent();
}

std::size_t StandInEngine::socketFrameCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames.total();
}

bool StandInEngine::waitForSocketFrames(std::size_t count, Duration timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->framesArrived.wait_for(lock, timeout, [&] { return impl_->frames.total() >= count; });
}

StandInReply StandInReply::hanging() {
    StandInReply reply;
    reply.delivery = Delivery::hang;
    return reply;
}

StandInReply StandInReply::closingWithoutReply() {
    StandInReply reply;
    reply.delivery = Delivery::closeWithoutReply;
    return reply;
}

StandInReply StandInReply::held() {
    StandInReply reply;
    reply.delivery = Delivery::hold;
    return reply;
}

StandInReply StandInReply::after(Duration wait) const {
    StandInReply reply = *this;
    reply.delay = wait;
    return reply;
}

StandInReply StandInEngine::readyHealthReply() {
    return jsonReply(200, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
}

StandInReply StandInEngine::notReadyHealthReply() {
    return jsonReply(503, R"({"ok":false,"protocol_version":1,"desktop_hosted":true})");
}

}  // namespace murmo
