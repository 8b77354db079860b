#include "engine/CoreTransport.h"

namespace murmo {

namespace {

std::string_view message(CoreTransportErrorCode code) {
    switch (code) {
        case CoreTransportErrorCode::badURL: return "The engine URL is not valid.";
        case CoreTransportErrorCode::unsupportedURL: return "The engine URL's scheme is not supported.";
        case CoreTransportErrorCode::cannotConnectToHost: return "Could not connect to the engine.";
        case CoreTransportErrorCode::timedOut: return "The request timed out.";
        case CoreTransportErrorCode::networkConnectionLost: return "The connection to the engine was lost.";
        case CoreTransportErrorCode::badServerResponse: return "The engine sent a reply that could not be read.";
        case CoreTransportErrorCode::cancelled: return "The request was cancelled.";
        case CoreTransportErrorCode::messageTooLarge:
            return "The engine sent a message larger than the client accepts.";
    }
    return "The connection to the engine failed.";
}

}  // namespace

std::string_view rawValue(CoreTransportErrorCode code) {
    switch (code) {
        case CoreTransportErrorCode::badURL: return "bad_url";
        case CoreTransportErrorCode::unsupportedURL: return "unsupported_url";
        case CoreTransportErrorCode::cannotConnectToHost: return "cannot_connect_to_host";
        case CoreTransportErrorCode::timedOut: return "timed_out";
        case CoreTransportErrorCode::networkConnectionLost: return "network_connection_lost";
        case CoreTransportErrorCode::badServerResponse: return "bad_server_response";
        case CoreTransportErrorCode::cancelled: return "cancelled";
        case CoreTransportErrorCode::messageTooLarge: return "message_too_large";
    }
    return "unknown";
}

Error coreTransportError(CoreTransportErrorCode code) {
    return Error(std::string(kCoreTransportErrorDomain), static_cast<long>(code), std::string(message(code)),
                 std::string(rawValue(code)));
}

CoreSocketMessage CoreSocketMessage::text(std::string_view text) {
    return CoreSocketMessage{CoreSocketMessageKind::text,
                             std::make_shared<const std::vector<std::uint8_t>>(text.begin(), text.end())};
}

CoreSocketMessage CoreSocketMessage::binary(std::vector<std::uint8_t> bytes) {
    return CoreSocketMessage{CoreSocketMessageKind::binary,
                             std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))};
}

std::string_view CoreSocketMessage::view() const {
    if (!bytes || bytes->empty()) return {};
    return std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

}  // namespace murmo
