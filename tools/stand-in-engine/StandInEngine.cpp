#include "StandInEngine.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "runtime/AsciiText.h"

namespace murmo {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::string_view kErrorDomain = "MurmoStandInEngine";
constexpr std::size_t kBodyLimit = 16 * 1024 * 1024;

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

    explicit Impl(StandInEngineOptions options) : options(std::move(options)) {}

    // Sets `readyHealth` when the answer is the built-in ready health reply.
    StandInReply answer(StandInRequest& request, bool& readyHealth);
    void noteWritten(bool readyHealth);
    void accept();

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
    std::vector<StandInRequest> received;
};

class StandInEngine::Impl::Session : public std::enable_shared_from_this<Session> {
public:
    Session(Impl& engine, tcp::socket socket) : engine_(engine), stream_(std::move(socket)) {}

    void read() {
        parser_.emplace();
        parser_->body_limit(kBodyLimit);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->onRead(error); });
    }

private:
    void onRead(beast::error_code error) {
        if (error) {
            close();
            return;
        }
        auto message = parser_->release();
        StandInRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        request.path = request.target.substr(0, request.target.find('?'));
        for (const auto& field : message) {
            request.headers[asciiLowercased(field.name_string())] = std::string(field.value());
        }
        request.body = std::move(message.body());

        const auto reply = engine_.answer(request, readyHealth_);
        response_ = {};
        response_.version(message.version());
        response_.result(reply.status);
        response_.set(http::field::server, "murmo-stand-in-engine");
        response_.set(http::field::content_type, reply.contentType);
        response_.keep_alive(message.keep_alive());
        response_.body() = reply.body;
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
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
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
        received.push_back(request);
        auto found = handlers.find(std::pair(request.method, request.path));
        if (found != handlers.end()) handler = found->second;
        readyNow = ready;
    }
    if (!request.authorized) return jsonReply(401, R"({"detail":"missing or invalid desktop token"})");
    if (handler) return handler(request);
    if (request.path == kHealthPath) {
        if (request.method != "GET") return jsonReply(405, R"({"detail":"Method Not Allowed"})");
        readyHealth = readyNow;
        return readyNow ? readyHealthReply() : notReadyHealthReply();
    }
    return jsonReply(404, R"({"detail":"Not Found"})");
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
        return fail(std::string(kErrorDomain), 3, "cannot listen on " + impl_->options.host + ":" +
                                                      std::to_string(impl_->options.port) + ": " + error.message());
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
    std::lock_guard lock(impl_->mutex);
    impl_->handlers[std::pair(std::move(method), std::move(path))] = std::move(handler);
}

void StandInEngine::setReply(std::string method, std::string path, StandInReply reply) {
    setHandler(std::move(method), std::move(path), [reply = std::move(reply)](const StandInRequest&) { return reply; });
}

void StandInEngine::removeHandler(std::string_view method, std::string_view path) {
    std::lock_guard lock(impl_->mutex);
    auto found = impl_->handlers.find(std::pair(std::string(method), std::string(path)));
    if (found != impl_->handlers.end()) impl_->handlers.erase(found);
}

std::vector<StandInRequest> StandInEngine::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::size_t StandInEngine::requestCount(std::string_view path) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<std::size_t>(
        std::ranges::count_if(impl_->received, [&](const StandInRequest& request) { return request.path == path; }));
}

StandInReply StandInEngine::readyHealthReply() {
    return jsonReply(200, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
}

StandInReply StandInEngine::notReadyHealthReply() {
    return jsonReply(503, R"({"ok":false,"protocol_version":1,"desktop_hosted":true})");
}

}  // namespace murmo
