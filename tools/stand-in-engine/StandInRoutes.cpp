#include "StandInRoutes.h"

#include <nlohmann/json.hpp>

#include <string_view>
#include <vector>

#include "StandInPathPattern.h"
#include "runtime/URL.h"

namespace murmo {

namespace {

using Json = nlohmann::json;

StandInReply json(const Json& body) {
    return StandInReply{200, body.dump(-1, ' ', false, Json::error_handler_t::replace)};
}

StandInReply okReply() { return json(Json{{"ok", true}}); }

// The dashboard's page: no script and no close function, so the window finds
// nothing to wait for when it asks the page before closing.
StandInReply workspacePage() {
    return StandInReply{200,
                        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Murmo stand-in engine</title>"
                        "</head>\n<body><p>This is a stand-in engine: it shows no dashboard.</p></body></html>\n",
                        "text/html; charset=utf-8"};
}

// The operation named by the body of a start request, if it names one.
Json operationFromBody(const std::string& body) {
    auto parsed = Json::parse(body, nullptr, false);
    if (parsed.is_object() && parsed.contains("operation_id") && parsed["operation_id"].is_string()) {
        return parsed["operation_id"];
    }
    return nullptr;
}

StandInReply command(std::string_view phase, Json operationID) {
    return json(Json{{"phase", phase}, {"operation_id", std::move(operationID)}});
}

bool matches(const std::vector<std::string>& segments, std::string_view pattern) {
    return StandInPathPattern(pattern).matches(segments);
}

}  // namespace

std::string standInDefaultSettings() {
    return Json{{"fast_mode_enabled", false},
                {"live_dictation_enabled", false},
                {"auto_inject", true},
                {"hotkey_enabled", true},
                {"native_shortcut", {{"kind", "fn"}, {"modifiers", Json::array()}, {"display", "Fn/Globe"}}},
                {"background_noise_reduction_enabled", false},
                {"audio_device", nullptr},
                {"audio_device_name", nullptr},
                {"background_noise_reduction", {{"available", false}}},
                {"agent_mode_enabled", false},
                {"agent_activation_policy", "dedicated"},
                {"agent_native_shortcut", nullptr},
                {"agent_response_mode", "text"},
                {"agent_tts_voice", nullptr},
                {"agent_tts_rate", 1.0}}
        .dump();
}

std::optional<StandInReply> standInDefaultReply(const StandInRequest& request) {
    // Identifiers are matched as they were sent, still percent-encoded.
    const auto segments = URLPath::literal(request.path).segments();
    const auto& method = request.method;
    if (method == "GET" && matches(segments, "api/settings")) return StandInReply{200, standInDefaultSettings()};
    if (method == "GET" && matches(segments, "workspace")) return workspacePage();
    if (method == "GET" && matches(segments, "api/v1/agent/operations/*")) {
        return json(Json{{"operation_id", segments[4]}, {"phase", "processing"}});
    }
    if (method == "DELETE" && matches(segments, "api/v1/agent/operations/*")) return okReply();
    if (method != "POST") return std::nullopt;

    if (matches(segments, "api/v1/dictations") || matches(segments, "api/v1/agent/operations") ||
        matches(segments, "api/v1/agent/pending-operations")) {
        return command("recording", operationFromBody(request.body));
    }
    if (matches(segments, "api/v1/dictations/*/release") || matches(segments, "api/v1/agent/operations/*/release") ||
        matches(segments, "api/v1/agent/operations/*/resolve-mode")) {
        return command("processing", segments[segments.size() - 2]);
    }
    if (matches(segments, "api/v1/agent/operations/*/confirm")) {
        return json(Json{{"operation_id", segments[4]}, {"confirmed", true}});
    }
    if (matches(segments, "api/v1/dictations/*/cancel") || matches(segments, "api/v1/dictations/*/delivery-result") ||
        matches(segments, "api/v1/audio/route") || matches(segments, "api/v1/shortcut-captures/*/complete") ||
        matches(segments, "api/v1/shortcut-captures/*/cancel") || matches(segments, "api/v1/runtime/pause") ||
        matches(segments, "api/v1/runtime/resume") || matches(segments, "api/v1/desktop/context")) {
        return okReply();
    }
    return std::nullopt;
}

}  // namespace murmo
