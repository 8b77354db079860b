#include "StandInTranscriptScript.h"

#include <nlohmann/json.hpp>

#include "RequestPattern.h"
#include "runtime/URL.h"
#include "stand-in-engine/StandInRoutes.h"

namespace murmo::testing {

namespace {

using Json = nlohmann::json;

std::optional<std::string> operationOfStart(const StandInRequest& request) {
    auto body = Json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body["operation_id"].is_string()) return std::nullopt;
    return body["operation_id"].get<std::string>();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A path segment as sent, with its percent-escapes undone.
std::string decodedSegment(std::string_view segment) {
    std::string decoded;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%' && i + 2 < segment.size()) {
            const int high = hexDigit(segment[i + 1]);
            const int low = hexDigit(segment[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        decoded.push_back(segment[i]);
    }
    return decoded;
}

// The operation a release path names.
std::optional<std::string> operationOfRelease(const StandInRequest& request) {
    static const RequestPattern release("POST " + std::string(StandInTranscriptScript::kReleasePattern));
    auto captured = release.captures(request.method, request.path);
    if (!captured) return std::nullopt;
    return decodedSegment(captured->front());
}

// Text that is not UTF-8 is replaced rather than thrown over.
std::string dumped(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

StandInReply defaultReply(const StandInRequest& request) {
    if (auto reply = standInDefaultReply(request)) return std::move(*reply);
    return StandInReply{404, R"({"detail":"Not Found"})"};
}

}  // namespace

StandInTranscriptScript::StandInTranscriptScript(StandInEngine& engine) : engine_(engine) {
    engine.setHandler("POST", std::string(kReleasePattern), [&engine, state = state_](const StandInRequest& request) {
        return answerRelease(engine, state, request);
    });
}

void StandInTranscriptScript::setTranscript(std::string text, TranscriptDelivery delivery) {
    std::lock_guard lock(state_->mutex);
    state_->transcript = std::move(text);
    state_->delivery = delivery;
}

void StandInTranscriptScript::clearTranscript() {
    std::lock_guard lock(state_->mutex);
    state_->transcript.reset();
}

void StandInTranscriptScript::queueReleaseReply(StandInReply reply) {
    std::lock_guard lock(state_->mutex);
    state_->releaseReplies.push_back(std::move(reply));
}

void StandInTranscriptScript::setStartReply(std::optional<StandInReply> reply) {
    if (reply) {
        engine_.setReply("POST", std::string(kStartPath), std::move(*reply));
    } else {
        engine_.removeHandler("POST", kStartPath);
    }
}

std::vector<std::string> StandInTranscriptScript::startedOperations() const {
    static const RequestPattern start("POST " + std::string(kStartPath));
    std::vector<std::string> started;
    for (const auto& request : matching(engine_.requests(), start)) {
        if (auto operationID = operationOfStart(request)) started.push_back(std::move(*operationID));
    }
    return started;
}

std::string StandInTranscriptScript::releasePath(const std::string& operationID) {
    return std::string(kStartPath) + "/" + URLPath::encodeSegment(operationID) + "/release";
}

StandInReply StandInTranscriptScript::releaseReply(const std::string& operationID, const std::string& text) {
    return StandInReply{200,
                        dumped(Json{{"phase", "processing"}, {"operation_id", operationID}, {"final_text", text}})};
}

StandInReply StandInTranscriptScript::answerRelease(StandInEngine& engine, const std::shared_ptr<State>& state,
                                                    const StandInRequest& request) {
    std::optional<std::string> transcript;
    TranscriptDelivery delivery{};
    {
        std::lock_guard lock(state->mutex);
        if (!state->releaseReplies.empty()) {
            auto queued = std::move(state->releaseReplies.front());
            state->releaseReplies.pop_front();
            return queued;
        }
        transcript = state->transcript;
        delivery = state->delivery;
    }
    auto reply = defaultReply(request);
    const auto operationID = operationOfRelease(request);
    if (!transcript || !operationID || reply.status != 200) return reply;
    if (delivery == TranscriptDelivery::finalEvent) {
        engine.pushEvent("dictation.final", dumped(Json{{"text", *transcript}}), "reliable", *operationID);
        return reply;
    }
    auto body = Json::parse(reply.body, nullptr, false);
    if (!body.is_object()) return reply;
    body["final_text"] = *transcript;
    reply.body = dumped(body);
    return reply;
}

}  // namespace murmo::testing
