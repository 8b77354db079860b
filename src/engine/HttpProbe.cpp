#include "engine/HttpProbe.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <charconv>
#include <optional>
#include <thread>

namespace murmo {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t kBodyLimit = 1024 * 1024;

class ProbeRequest : public std::enable_shared_from_this<ProbeRequest> {
public:
    ProbeRequest(asio::io_context& ioc, HttpProbe::Completion completion)
        : resolver_(ioc), stream_(ioc), completion_(std::move(completion)) {}

    void start(const HttpURL& url, const HttpProbe::Headers& headers, Duration timeout) {
        request_.method(http::verb::get);
        request_.target(url.path);
        request_.version(11);
        request_.set(http::field::host, url.host + ":" + std::to_string(url.port));
        request_.set(http::field::cache_control, "no-cache");
        request_.set(http::field::connection, "close");
        for (const auto& [name, value] : headers) request_.set(name, value);
        parser_.body_limit(kBodyLimit);

        // One deadline for the whole exchange: resolving, connecting, sending
        // and reading the reply.
        deadline_ = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
        std::string host = url.host;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        resolver_.async_resolve(host, std::to_string(url.port),
                                [self = shared_from_this()](beast::error_code error, tcp::resolver::results_type found) {
                                    self->onResolve(error, std::move(found));
                                });
    }

private:
    void onResolve(beast::error_code error, tcp::resolver::results_type found) {
        if (error) return fail(error);
        auto remaining = deadline_ - std::chrono::steady_clock::now();
        if (remaining <= std::chrono::steady_clock::duration::zero()) return fail(beast::error::timeout);
        stream_.expires_after(remaining);
        stream_.async_connect(found, [self = shared_from_this()](beast::error_code connectError, const tcp::endpoint&) {
            self->onConnect(connectError);
        });
    }

    void onConnect(beast::error_code error) {
        if (error) return fail(error);
        http::async_write(stream_, request_, [self = shared_from_this()](beast::error_code writeError, std::size_t) {
            self->onWrite(writeError);
        });
    }

    void onWrite(beast::error_code error) {
        if (error) return fail(error);
        http::async_read(stream_, buffer_, parser_, [self = shared_from_this()](beast::error_code readError, std::size_t) {
            self->onRead(readError);
        });
    }

    void onRead(beast::error_code error) {
        if (error) return fail(error);
        HttpProbeResult result;
        result.kind = HttpProbeResult::Kind::reply;
        result.status = parser_.get().result_int();
        result.body = std::move(parser_.get().body());
        finish(std::move(result));
    }

    void fail(beast::error_code error) {
        HttpProbeResult result;
        // A reply cut short is a lost connection; anything else the HTTP
        // parser refuses means the peer does not speak HTTP.
        const bool parseError = error.category() == http::make_error_code(http::error::bad_version).category() &&
                                error != http::error::end_of_stream && error != http::error::partial_message;
        result.kind = parseError ? HttpProbeResult::Kind::notHTTP : HttpProbeResult::Kind::failed;
        result.errorDescription = error == beast::error::timeout ? "The request timed out." : error.message();
        finish(std::move(result));
    }

    void finish(HttpProbeResult result) {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.socket().close(ignored);
        if (auto completion = std::exchange(completion_, nullptr)) completion(std::move(result));
    }

    tcp::resolver resolver_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    http::request<http::empty_body> request_;
    http::response_parser<http::string_body> parser_;
    HttpProbe::Completion completion_;
    std::chrono::steady_clock::time_point deadline_{};
};

}  // namespace

std::optional<HttpURL> HttpURL::parse(std::string_view text) {
    constexpr std::string_view kScheme = "http://";
    if (!text.starts_with(kScheme)) return std::nullopt;
    text.remove_prefix(kScheme.size());
    const auto pathStart = text.find('/');
    auto authority = text.substr(0, pathStart);
    HttpURL url;
    url.path = pathStart == std::string_view::npos ? "/" : std::string(text.substr(pathStart));
    if (auto query = url.path.find_first_of("?#"); query != std::string::npos) url.path.resize(query);
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        auto rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty()) return std::nullopt;
    url.host = std::string(host);
    if (!port.empty()) {
        unsigned value = 0;
        auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            return std::nullopt;
        }
        url.port = static_cast<std::uint16_t>(value);
    }
    return url;
}

HttpURL HttpURL::appending(std::string_view component) const {
    HttpURL result = *this;
    while (component.starts_with('/')) component.remove_prefix(1);
    if (result.path.empty() || result.path.back() != '/') result.path += '/';
    result.path += component;
    return result;
}

struct HttpProbe::Impl {
    asio::io_context ioc{1};
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(ioc);
    std::thread thread{[this] { ioc.run(); }};
};

HttpProbe::HttpProbe() : impl_(std::make_unique<Impl>()) {}

HttpProbe::~HttpProbe() {
    impl_->work.reset();
    impl_->ioc.stop();
    impl_->thread.join();
}

void HttpProbe::get(const HttpURL& url, Headers headers, Duration timeout, Completion completion) {
    asio::post(impl_->ioc, [this, url, headers = std::move(headers), timeout,
                            completion = std::move(completion)]() mutable {
        std::make_shared<ProbeRequest>(impl_->ioc, std::move(completion))->start(url, headers, timeout);
    });
}

}  // namespace murmo
