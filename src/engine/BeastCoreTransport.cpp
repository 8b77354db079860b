#include "engine/BeastCoreTransport.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <atomic>
#include <deque>
#include <list>
#include <thread>

namespace murmo {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// Something in flight that the transport can stop when it shuts down.
class Abortable {
public:
    virtual ~Abortable() = default;
    virtual void abort() = 0;
};

bool isTimeout(const beast::error_code& error) { return error == beast::error::timeout; }

Error connectFailure(const beast::error_code& error) {
    if (isTimeout(error)) return coreTransportError(CoreTransportErrorCode::timedOut);
    if (error == asio::error::operation_aborted) return coreTransportError(CoreTransportErrorCode::cancelled);
    return coreTransportError(CoreTransportErrorCode::cannotConnectToHost);
}

Error exchangeFailure(const beast::error_code& error) {
    if (isTimeout(error)) return coreTransportError(CoreTransportErrorCode::timedOut);
    if (error == asio::error::operation_aborted) return coreTransportError(CoreTransportErrorCode::cancelled);
    if (error.category() == beast::error_code(http::error::end_of_stream).category() &&
        error != http::error::end_of_stream && error != http::error::partial_message) {
        return coreTransportError(CoreTransportErrorCode::badServerResponse);
    }
    return coreTransportError(CoreTransportErrorCode::networkConnectionLost);
}

// A literal address needs no resolver, whose lookups run on a thread of
// their own: loopback requests skip two thread hops this way.
std::optional<tcp::endpoint> literalEndpoint(const URL& url) {
    beast::error_code error;
    const auto address = asio::ip::make_address(url.host(), error);
    if (error) return std::nullopt;
    return tcp::endpoint(address, url.effectivePort());
}

// Connects `socket` to the URL's host and port: a literal address directly, a
// host name after a lookup through `resolver`, made only then. `resolved` is
// asked between the lookup and the connection whether to go on (the owner may
// have finished meanwhile); `connected` gets the lookup's error or the
// connection's outcome.
template <class Resolved, class Connected>
void connectToHost(const URL& url, tcp::socket& socket, std::optional<tcp::resolver>& resolver, Resolved resolved,
                   Connected connected) {
    if (auto endpoint = literalEndpoint(url)) {
        socket.async_connect(*endpoint, std::move(connected));
        return;
    }
    resolver.emplace(socket.get_executor());
    resolver->async_resolve(url.host(), std::to_string(url.effectivePort()),
                            [&socket, resolved = std::move(resolved), connected = std::move(connected)](
                                const beast::error_code& error, const tcp::resolver::results_type& results) mutable {
                                if (!resolved()) return;
                                if (error) return connected(error);
                                asio::async_connect(socket, results,
                                                    [connected = std::move(connected)](
                                                        const beast::error_code& connectError,
                                                        const tcp::endpoint&) mutable { connected(connectError); });
                            });
}

http::verb verbFor(std::string_view method) {
    const auto verb = http::string_to_verb(method);
    return verb == http::verb::unknown ? http::verb::get : verb;
}

}  // namespace

struct BeastCoreTransport::Impl : std::enable_shared_from_this<BeastCoreTransport::Impl> {
    explicit Impl(Logger log) : log(std::move(log)) {}

    Logger log;
    asio::io_context context{1};
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(context);
    std::thread thread;
    // Set on the owner's thread before the I/O thread is told to stop; calls
    // made afterwards are dropped instead of being queued on a dead loop.
    std::atomic<bool> stopped{false};
    // I/O thread only.
    std::list<std::weak_ptr<Abortable>> live;

    void track(const std::shared_ptr<Abortable>& operation) {
        live.remove_if([](const auto& weak) { return weak.expired(); });
        live.push_back(operation);
    }

    void abortAll() {
        auto operations = std::move(live);
        for (auto& weak : operations) {
            if (auto operation = weak.lock()) operation->abort();
        }
    }
};

namespace {

using Impl = BeastCoreTransport::Impl;

// `timeout` from now; a time-out too large to add never expires.
std::chrono::steady_clock::time_point deadlineAfter(Duration timeout) {
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    if (timeout >= std::chrono::duration_cast<Duration>(Clock::time_point::max() - now)) {
        return Clock::time_point::max();
    }
    return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

// One request on a connection of its own: connect (resolving a host name
// first), write, then read the reply piece by piece. The time-outs are one
// timer whose deadline moves on whenever the engine makes progress, but never
// past the deadline of the whole exchange when the request sets one.
class HTTPExchange final : public Abortable, public std::enable_shared_from_this<HTTPExchange> {
public:
    HTTPExchange(std::shared_ptr<Impl> owner, CoreHTTPRequest request, CoreHTTPCompletion completion)
        : owner_(std::move(owner)),
          socket_(owner_->context),
          timer_(owner_->context),
          request_(std::move(request)),
          completion_(std::move(completion)) {
        parser_.body_limit(kMaximumEngineMessageBytes);
    }

    void start() {
        owner_->track(shared_from_this());
        if (request_.url.scheme() != "http") {
            finish(fail(coreTransportError(CoreTransportErrorCode::unsupportedURL)));
            return;
        }
        startWatchdog();
        connectToHost(
            request_.url, socket_, resolver_, [self = shared_from_this()] { return self->onResolved(); },
            [self = shared_from_this()](const beast::error_code& error) { self->onConnect(error); });
    }

    void abort() override { finish(fail(coreTransportError(CoreTransportErrorCode::cancelled))); }

private:
    void startWatchdog() {
        if (request_.exchangeTimeout) exchangeDeadline_ = deadlineAfter(*request_.exchangeTimeout);
        progressed();
        timer_.expires_at(deadline_);
        timer_.async_wait([self = shared_from_this()](const beast::error_code& error) { self->onTimer(error); });
    }

    void progressed() { deadline_ = std::min(deadlineAfter(request_.idleTimeout), exchangeDeadline_); }

    void onTimer(const beast::error_code& error) {
        if (error || finished_) return;
        if (std::chrono::steady_clock::now() < deadline_) {
            timer_.expires_at(deadline_);
            timer_.async_wait([self = shared_from_this()](const beast::error_code& next) { self->onTimer(next); });
            return;
        }
        finish(fail(coreTransportError(CoreTransportErrorCode::timedOut)));
    }

    bool onResolved() {
        if (finished_) return false;
        progressed();
        return true;
    }

    void onConnect(const beast::error_code& error) {
        if (finished_) return;
        if (error) return finish(fail(connectFailure(error)));
        progressed();
        beast::error_code ignored;
        socket_.set_option(tcp::no_delay(true), ignored);
        message_.method(verbFor(request_.method));
        message_.target(request_.url.target());
        message_.version(11);
        message_.set(http::field::host, request_.url.hostHeader());
        for (const auto& [name, value] : request_.headers) message_.set(name, value);
        if (request_.body) message_.body() = *request_.body;
        message_.prepare_payload();
        http::async_write(socket_, message_,
                          [self = shared_from_this()](const beast::error_code& writeError, std::size_t) {
                              self->onWrite(writeError);
                          });
    }

    void onWrite(const beast::error_code& error) {
        if (finished_) return;
        if (error) return finish(fail(exchangeFailure(error)));
        progressed();
        readSome();
    }

    void readSome() {
        http::async_read_some(
            socket_, buffer_, parser_,
            [self = shared_from_this()](const beast::error_code& error, std::size_t) { self->onRead(error); });
    }

    void onRead(const beast::error_code& error) {
        if (finished_) return;
        if (error == http::error::body_limit) return refuseOversizedReply();
        if (error) return finish(fail(exchangeFailure(error)));
        progressed();
        if (!parser_.is_done()) return readSome();
        auto& reply = parser_.get();
        finish(CoreHTTPResponse{static_cast<int>(reply.result_int()), std::move(reply.body())});
    }

    // The declared length is known when the reply has one; a chunked reply
    // is refused as soon as what arrived passes the bound.
    void refuseOversizedReply() {
        const auto declared = parser_.content_length();
        owner_->log.error("Engine reply refused size={} limit={}",
                          logPublic(declared ? std::to_string(*declared) : "more than the limit"),
                          logPublic(kMaximumEngineMessageBytes));
        finish(fail(coreTransportError(CoreTransportErrorCode::messageTooLarge)));
    }

    // The first outcome wins; what is still pending then ends with an error
    // that nobody hears.
    void finish(Result<CoreHTTPResponse> result) {
        if (finished_) return;
        finished_ = true;
        if (resolver_) resolver_->cancel();
        timer_.cancel();
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        auto completion = std::move(completion_);
        if (completion) completion(std::move(result));
    }

    std::shared_ptr<Impl> owner_;
    // Only for host names; a literal address connects directly.
    std::optional<tcp::resolver> resolver_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point exchangeDeadline_ = std::chrono::steady_clock::time_point::max();
    CoreHTTPRequest request_;
    CoreHTTPCompletion completion_;
    http::request<http::string_body> message_;
    beast::flat_buffer buffer_;
    http::response_parser<http::string_body> parser_;
    bool finished_ = false;
};

// One event socket. Every member is touched on the I/O thread only; the
// public calls hop there first.
class BeastWebSocket final : public CoreWebSocket,
                             public Abortable,
                             public std::enable_shared_from_this<BeastWebSocket> {
public:
    BeastWebSocket(std::shared_ptr<Impl> owner, CoreWebSocketRequest request)
        : owner_(std::move(owner)),
          socket_(owner_->context),
          connectTimer_(owner_->context),
          request_(std::move(request)) {}

    void start() {
        owner_->track(shared_from_this());
        if (request_.url.scheme() != "ws") return failAll(coreTransportError(CoreTransportErrorCode::unsupportedURL));
        // The time-out bounds connecting here and the handshake below; the
        // open socket then waits for messages as long as it takes.
        connectTimer_.expires_after(request_.handshakeTimeout);
        connectTimer_.async_wait([self = shared_from_this()](const beast::error_code& error) {
            if (!error && self->state_ == State::connecting) {
                self->failAll(coreTransportError(CoreTransportErrorCode::timedOut));
            }
        });
        connectToHost(
            request_.url, beast::get_lowest_layer(socket_), resolver_,
            [self = shared_from_this()] { return self->state_ == State::connecting; },
            [self = shared_from_this()](const beast::error_code& error) { self->onConnect(error); });
    }

    void send(CoreSocketMessage message, CoreSocketSendCompletion completion) override {
        onIOThread([message = std::move(message), completion = std::move(completion)](BeastWebSocket& self) mutable {
            if (self.failure_) {
                if (completion) completion(fail(*self.failure_));
                return;
            }
            self.sends_.push_back(PendingSend{std::move(message), std::move(completion)});
            self.writeNext();
        });
    }

    void receive(CoreSocketReceiveCompletion completion) override {
        onIOThread([completion = std::move(completion)](BeastWebSocket& self) mutable {
            if (self.failure_ || self.receiveCompletion_) {
                if (completion) {
                    completion(
                        fail(self.failure_ ? *self.failure_ : coreTransportError(CoreTransportErrorCode::cancelled)));
                }
                return;
            }
            self.receiveCompletion_ = std::move(completion);
            self.readNext();
        });
    }

    void close(std::uint16_t code) override {
        onIOThread([code](BeastWebSocket& self) { self.closeOnIOThread(code); });
    }

    void abort() override {
        if (resolver_) resolver_->cancel();
        beast::error_code ignored;
        beast::get_lowest_layer(socket_).close(ignored);
        failAll(coreTransportError(CoreTransportErrorCode::cancelled));
    }

private:
    enum class State { connecting, open, closing, closed };

    template <class Work>
    void onIOThread(Work work) {
        if (owner_->stopped.load(std::memory_order_acquire)) return;
        asio::post(owner_->context, [self = shared_from_this(), work = std::move(work)]() mutable { work(*self); });
    }

    void onConnect(const beast::error_code& error) {
        if (state_ != State::connecting) return;
        if (error) return failAll(connectFailure(error));
        // From here the socket's own time-outs apply: the handshake (opening
        // and closing) is bounded, an open socket is never idle-timed.
        connectTimer_.cancel();
        beast::error_code ignored;
        beast::get_lowest_layer(socket_).set_option(tcp::no_delay(true), ignored);
        websocket::stream_base::timeout timeouts{};
        timeouts.handshake_timeout =
            std::chrono::duration_cast<websocket::stream_base::duration>(request_.handshakeTimeout);
        timeouts.idle_timeout = websocket::stream_base::none();
        timeouts.keep_alive_pings = false;
        socket_.set_option(timeouts);
        // The bound is kept by readPiece's own count, which also learns the
        // size of a message that breaks it.
        socket_.read_message_max(0);
        socket_.set_option(
            websocket::stream_base::decorator([headers = request_.headers](websocket::request_type& req) {
                for (const auto& [name, value] : headers) req.set(name, value);
            }));
        socket_.async_handshake(request_.url.hostHeader(), request_.url.target(),
                                [self = shared_from_this()](const beast::error_code& handshakeError) {
                                    self->onHandshake(handshakeError);
                                });
    }

    void onHandshake(const beast::error_code& error) {
        if (state_ != State::connecting) return;
        if (error) return failAll(connectFailure(error));
        state_ = State::open;
        writeNext();
        readNext();
    }

    void writeNext() {
        if (state_ != State::open || inFlight_ || sends_.empty()) return;
        // The message stays here until its write completes: the buffer handed
        // to the socket must outlive the write, whatever fails meanwhile.
        inFlight_ = std::move(sends_.front());
        sends_.pop_front();
        const auto& message = inFlight_->message;
        socket_.text(message.kind == CoreSocketMessageKind::text);
        const auto* data = message.bytes ? message.bytes->data() : nullptr;
        socket_.async_write(
            asio::buffer(data, message.size()),
            [self = shared_from_this()](const beast::error_code& error, std::size_t) { self->onWrite(error); });
    }

    void onWrite(const beast::error_code& error) {
        auto done = std::move(*inFlight_);
        inFlight_.reset();
        if (error) {
            const auto failure = failure_ ? *failure_ : exchangeFailure(error);
            if (done.completion) done.completion(fail(failure));
            return failAll(failure);
        }
        if (done.completion) done.completion(Status{});
        writeNext();
    }

    void readNext() {
        if (state_ != State::open && state_ != State::closing) return;
        if (reading_ || !receiveCompletion_) return;
        reading_ = true;
        readPiece();
    }

    // A message is read piece by piece, counting its bytes. Past the bound
    // the pieces are dropped as they come, so an oversized message costs no
    // memory, and its size is known once it ends.
    void readPiece() {
        socket_.async_read_some(readBuffer_, kReadPieceBytes,
                                [self = shared_from_this()](const beast::error_code& error, std::size_t bytes) {
                                    self->onReadPiece(error, bytes);
                                });
    }

    void onReadPiece(const beast::error_code& error, std::size_t bytes) {
        if (error) {
            reading_ = false;
            return failAll(failure_ ? *failure_ : exchangeFailure(error));
        }
        messageBytes_ += bytes;
        if (messageBytes_ > kMaximumEngineMessageBytes) readBuffer_.clear();
        if (!socket_.is_message_done()) return readPiece();
        reading_ = false;
        const auto size = std::exchange(messageBytes_, 0);
        if (size > kMaximumEngineMessageBytes) {
            owner_->log.error("Engine socket message refused size={} limit={}", logPublic(size),
                              logPublic(kMaximumEngineMessageBytes));
            return failAll(coreTransportError(CoreTransportErrorCode::messageTooLarge));
        }
        deliverMessage();
    }

    void deliverMessage() {
        const auto data = readBuffer_.cdata();
        const auto* begin = static_cast<const std::uint8_t*>(data.data());
        CoreSocketMessage message{socket_.got_text() ? CoreSocketMessageKind::text : CoreSocketMessageKind::binary,
                                  std::make_shared<const std::vector<std::uint8_t>>(begin, begin + data.size())};
        readBuffer_.consume(readBuffer_.size());
        if (auto completion = std::move(receiveCompletion_)) {
            receiveCompletion_ = nullptr;
            completion(std::move(message));
        }
    }

    void closeOnIOThread(std::uint16_t code) {
        switch (state_) {
            case State::connecting:
                if (resolver_) resolver_->cancel();
                {
                    beast::error_code ignored;
                    beast::get_lowest_layer(socket_).close(ignored);
                }
                return failAll(coreTransportError(CoreTransportErrorCode::cancelled));
            case State::open:
                state_ = State::closing;
                failure_ = coreTransportError(CoreTransportErrorCode::cancelled);
                failQueuedSends();
                socket_.async_close(websocket::close_reason(code),
                                    [self = shared_from_this()](const beast::error_code&) { self->onClosed(); });
                return;
            case State::closing:
            case State::closed: return;
        }
    }

    void onClosed() {
        beast::error_code ignored;
        beast::get_lowest_layer(socket_).close(ignored);
        failAll(coreTransportError(CoreTransportErrorCode::cancelled));
    }

    // Fails the sends that are not being written; the one on the wire
    // completes by itself.
    void failQueuedSends() {
        auto waiting = std::move(sends_);
        sends_.clear();
        for (auto& send : waiting) {
            if (send.completion) send.completion(fail(*failure_));
        }
    }

    void failAll(const Error& error) {
        if (!failure_) failure_ = error;
        connectTimer_.cancel();
        if (resolver_) resolver_->cancel();
        if (state_ != State::closed && state_ != State::closing) {
            beast::error_code ignored;
            beast::get_lowest_layer(socket_).close(ignored);
        }
        state_ = State::closed;
        failQueuedSends();
        if (auto completion = std::move(receiveCompletion_)) {
            receiveCompletion_ = nullptr;
            completion(fail(*failure_));
        }
    }

    std::shared_ptr<Impl> owner_;
    // Only for host names; a literal address connects directly.
    std::optional<tcp::resolver> resolver_;
    websocket::stream<tcp::socket> socket_;
    asio::steady_timer connectTimer_;
    CoreWebSocketRequest request_;
    State state_ = State::connecting;
    std::optional<Error> failure_;
    struct PendingSend {
        CoreSocketMessage message;
        CoreSocketSendCompletion completion;
    };
    std::deque<PendingSend> sends_;
    std::optional<PendingSend> inFlight_;
    CoreSocketReceiveCompletion receiveCompletion_;
    static constexpr std::size_t kReadPieceBytes = 64 * 1024;

    bool reading_ = false;
    beast::flat_buffer readBuffer_;
    // Bytes of the message being read, kept or dropped.
    std::uint64_t messageBytes_ = 0;
};

}  // namespace

BeastCoreTransport::BeastCoreTransport(std::shared_ptr<LogSink> logSink)
    : impl_(std::make_shared<Impl>(logSink ? Logger("core-transport", std::move(logSink)) : Logger("core-transport"))) {
    impl_->thread = std::thread([impl = impl_.get()] { impl->context.run(); });
}

BeastCoreTransport::~BeastCoreTransport() {
    impl_->stopped.store(true, std::memory_order_release);
    asio::post(impl_->context, [impl = impl_.get()] {
        impl->abortAll();
        impl->work.reset();
    });
    if (impl_->thread.joinable()) impl_->thread.join();
}

void BeastCoreTransport::sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) {
    // Built on the I/O thread: the caller's thread only hands the request over.
    asio::post(impl_->context,
               [impl = impl_, request = std::move(request), completion = std::move(completion)]() mutable {
                   std::make_shared<HTTPExchange>(impl, std::move(request), std::move(completion))->start();
               });
}

std::shared_ptr<CoreWebSocket> BeastCoreTransport::openWebSocket(CoreWebSocketRequest request) {
    auto socket = std::make_shared<BeastWebSocket>(impl_, std::move(request));
    asio::post(impl_->context, [socket] { socket->start(); });
    return socket;
}

}  // namespace murmo
