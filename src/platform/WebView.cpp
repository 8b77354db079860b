#include "platform/WebView.h"

namespace murmo {

// The answer is tied to the shared state, not to any copy: whichever copy
// answers first wins, and the last copy to go tells the backend when no one did.
struct ScriptMessageReply::State {
    explicit State(std::shared_ptr<Sink> sink) : sink(std::move(sink)) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (!answered && sink) sink->droppedUnanswered();
    }

    std::shared_ptr<Sink> sink;
    bool answered = false;
};

ScriptMessageReply::ScriptMessageReply(std::shared_ptr<Sink> sink) : state_(std::make_shared<State>(std::move(sink))) {}

bool ScriptMessageReply::returnValue(const json::Json& value) {
    if (state_->answered) return false;
    auto text = json::dump(value);
    if (!text) return false;
    state_->answered = true;
    if (state_->sink) state_->sink->returnValue(std::move(*text));
    return true;
}

bool ScriptMessageReply::returnError(std::string message) {
    if (state_->answered) return false;
    state_->answered = true;
    if (state_->sink) state_->sink->returnError(std::move(message));
    return true;
}

bool ScriptMessageReply::isAnswered() const { return state_->answered; }

struct ConfirmReply::State {
    explicit State(std::function<void(bool)> deliver) : deliver(std::move(deliver)) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (!answered && deliver) deliver(false);
    }

    std::function<void(bool)> deliver;
    bool answered = false;
};

ConfirmReply::ConfirmReply(std::function<void(bool confirmed)> deliver)
    : state_(std::make_shared<State>(std::move(deliver))) {}

bool ConfirmReply::answer(bool confirmed) {
    if (state_->answered) return false;
    state_->answered = true;
    if (state_->deliver) state_->deliver(confirmed);
    return true;
}

}  // namespace murmo
