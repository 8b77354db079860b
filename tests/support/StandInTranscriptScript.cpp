#include "StandInTranscriptScript.h"

#include <nlohmann/json.hpp>

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

// Text that is not UTF-8 is replaced rather than thrown over.
std::string dumped(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

StandInReply defaultReply(const StandInRequest& request) {
    if (auto reply = standInDefaultReply(request)) return std::move(*reply);
    return StandInReply{404, R"({"detail":"Not Found"})"};
}

}  // namespace

StandInTranscriptScript::StandInTranscriptScript(StandInEngine& engine) {
    engine.setHandler("POST", std::string(kStartPath), [&engine, state = state_](const StandInRequest& request) {
        return answerStart(engine, state, request);
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
    std::lock_guard lock(state_->mutex);
    state_->startReply = std::move(reply);
}

std::vector<std::string> StandInTranscriptScript::startedOperations() const {
    std::lock_guard lock(state_->mutex);
    return state_->started;
}

std::string StandInTranscriptScript::releasePath(const std::string& operationID) {
    return std::string(kStartPath) + "/" + URLPath::encodeSegment(operationID) + "/release";
}

StandInReply StandInTranscriptScript::answerStart(StandInEngine& engine, const std::shared_ptr<State>& state,
                                                  const StandInRequest& request) {
    std::optional<StandInReply> scripted;
    const auto operationID = operationOfStart(request);
    {
        std::lock_guard lock(state->mutex);
        scripted = state->startReply;
        if (operationID) state->started.push_back(*operationID);
    }
    // Set before the start is answered, so the release cannot come first.
    if (operationID) {
        engine.setHandler("POST", releasePath(*operationID),
                          [&engine, state, operationID = *operationID](const StandInRequest& release) {
                              return answerRelease(engine, state, release, operationID);
                          });
    }
    return scripted ? *scripted : defaultReply(request);
}

StandInReply StandInTranscriptScript::answerRelease(StandInEngine& engine, const std::shared_ptr<State>& state,
                                                    const StandInRequest& request, const std::string& operationID) {
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
    if (!transcript || reply.status != 200) return reply;
    if (delivery == TranscriptDelivery::finalEvent) {
        engine.pushEvent("dictation.final", dumped(Json{{"text", *transcript}}), "reliable", operationID);
        return reply;
    }
    auto body = Json::parse(reply.body, nullptr, false);
    if (!body.is_object()) return reply;
    body["final_text"] = *transcript;
    reply.body = dumped(body);
    return reply;
}

}  // namespace murmo::testing
