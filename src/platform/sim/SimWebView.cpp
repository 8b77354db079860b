#include "platform/sim/SimWebView.h"

#include <fmt/format.h>

#include <algorithm>

#include "platform/sim/SimPageLoader.h"

namespace murmo {

namespace {

Error scriptError(WebScriptErrorCode code, std::string message) {
    return Error(std::string(kWebScriptErrorDomain), static_cast<long>(code), std::move(message));
}

std::string describe(const std::optional<URL>& url) { return url ? url->text() : "(none)"; }

std::string describe(NavigationTarget target) {
    switch (target) {
        case NavigationTarget::mainFrame: return "main";
        case NavigationTarget::subframe: return "sub";
        case NavigationTarget::none: return "none";
        case NavigationTarget::unknown: return "unknown";
    }
    return "?";
}

std::string describe(PolicyVerdict verdict) { return verdict == PolicyVerdict::allow ? "allow" : "ignore"; }

std::string describe(WebProcessTermination reason) {
    switch (reason) {
        case WebProcessTermination::crashed: return "crashed";
        case WebProcessTermination::exceededMemoryLimit: return "exceeded-memory";
        case WebProcessTermination::terminatedByClient: return "terminated-by-client";
    }
    return "?";
}

std::string describe(const WebScriptResult& result) {
    if (!result) return fmt::format("error {} {}", result.error().code, result.error().message);
    if (!*result) return "none";
    auto text = json::dump(**result);
    return text ? "value " + *text : "value (no JSON form)";
}

}  // namespace

// Records the answer in the message's record and the log; both outlive the view.
class SimWebView::ReplySink final : public ScriptMessageReply::Sink {
public:
    ReplySink(std::shared_ptr<SimReplyRecord> record, std::shared_ptr<std::vector<std::string>> log, std::size_t index)
        : record_(std::move(record)), log_(std::move(log)), index_(index) {}

    void returnValue(std::string jsonText) override {
        log(fmt::format("reply #{} value {}", index_, jsonText));
        record_->valueJSON = std::move(jsonText);
        ++record_->answers;
    }
    void returnError(std::string message) override {
        log(fmt::format("reply #{} error {}", index_, message));
        record_->errorMessage = std::move(message);
        ++record_->answers;
    }
    void droppedUnanswered() override {
        log(fmt::format("reply #{} dropped", index_));
        record_->droppedUnanswered = true;
        ++record_->answers;
    }

private:
    void log(std::string line) { log_->push_back(std::move(line)); }

    std::shared_ptr<SimReplyRecord> record_;
    std::shared_ptr<std::vector<std::string>> log_;
    std::size_t index_;
};

SimWebView::SimWebView(MainLoop& loop, bool knowsSendingFrames)
    : loop_(loop), knowsSendingFrames_(knowsSendingFrames) {}

SimWebView::~SimWebView() { failPendingEvaluations(); }

void SimWebView::setPageFetcher(std::shared_ptr<PageFetcher> fetcher) {
    pageLoader_ = std::make_unique<SimPageLoader>(loop_, *this, std::move(fetcher));
}

// ---- Handlers ----------------------------------------------------------------------------

bool SimWebView::addScriptMessageHandler(std::string_view name, ScriptMessageHandler handler) {
    return addHandler(name, std::move(handler), false);
}

bool SimWebView::addScriptMessageHandlerWithReply(std::string_view name, ScriptMessageHandlerWithReply handler) {
    return addHandler(name, std::move(handler), true);
}

bool SimWebView::addHandler(std::string_view name, Handler handler, bool withReply) {
    // The engine takes the name as a C string: a NUL would cut it short and
    // register another name than the one asked for.
    if (name.find('\0') != std::string_view::npos || handlers_.contains(name)) {
        record("handler refused");
        return false;
    }
    handlers_.emplace(std::string(name), std::move(handler));
    record(fmt::format("handler+ {}{}", name, withReply ? " reply" : ""));
    return true;
}

void SimWebView::removeScriptMessageHandler(std::string_view name) {
    const auto found = handlers_.find(name);
    if (found == handlers_.end()) return;
    handlers_.erase(found);
    record(fmt::format("handler- {}", name));
}

std::optional<WebFrameInfo> SimWebView::visibleFrame(std::optional<WebFrameInfo> frame) const {
    return knowsSendingFrames_ ? std::move(frame) : std::nullopt;
}

std::size_t SimWebView::postMessage(std::string_view handlerName, std::optional<WebFrameInfo> frame,
                                    std::optional<std::string_view> bodyJSON) {
    const auto index = messages_.size();
    SimPostedMessage posted;
    posted.message.handlerName = std::string(handlerName);
    posted.message.frame = visibleFrame(std::move(frame));
    if (bodyJSON) {
        if (auto body = json::parse(*bodyJSON, json::kMaximumNesting)) posted.message.body = std::move(*body);
    }
    const auto found = handlers_.find(handlerName);
    posted.delivered = found != handlers_.end();
    record(fmt::format("message #{} {}{}", index, handlerName, posted.delivered ? "" : " (no handler)"));
    if (!posted.delivered) {
        messages_.push_back(std::move(posted));
        return index;
    }
    // A copy: the handler may remove itself or add others while it runs.
    const auto handler = found->second;
    std::shared_ptr<SimReplyRecord> replyRecord;
    if (std::holds_alternative<ScriptMessageHandlerWithReply>(handler)) {
        replyRecord = std::make_shared<SimReplyRecord>();
        posted.reply = replyRecord;
    }
    messages_.push_back(posted);
    if (const auto* plain = std::get_if<ScriptMessageHandler>(&handler)) {
        if (*plain) (*plain)(posted.message);
    } else if (const auto& withReply = std::get<ScriptMessageHandlerWithReply>(handler)) {
        withReply(posted.message, ScriptMessageReply(std::make_shared<ReplySink>(replyRecord, log_, index)));
    }
    return index;
}

// ---- Scripts ------------------------------------------------------------------------------

void SimWebView::evaluateJavaScript(std::string_view script, WebScriptCompletion completion) {
    startEvaluation(false, script, nullptr, std::move(completion));
}

void SimWebView::callAsyncJavaScript(std::string_view functionBody, const json::Json& arguments,
                                     WebScriptCompletion completion) {
    startEvaluation(true, functionBody, arguments, std::move(completion));
}

void SimWebView::startEvaluation(bool awaitsPromises, std::string_view source, json::Json arguments,
                                 WebScriptCompletion completion) {
    const auto index = evaluations_.size();
    evaluations_.push_back({awaitsPromises, std::string(source), std::move(arguments), std::nullopt});
    record(fmt::format("{} #{} {}", awaitsPromises ? "callAsync" : "evaluate", index, source));

    SimScriptOutcome outcome;
    // A fetched page has no close function: asked whether it may close, it says yes.
    if (pageLoader_ && awaitsPromises) outcome = SimScriptOutcome::resolveValue(true);
    if (!outcomes_.empty()) {
        outcome = std::move(outcomes_.front());
        outcomes_.erase(outcomes_.begin());
    }
    using Kind = SimScriptOutcome::Kind;
    if (outcome.kind == Kind::later || outcome.kind == Kind::never) {
        pending_.emplace(index, Pending{std::move(completion), outcome.kind == Kind::later});
        return;
    }
    pending_.emplace(index, Pending{std::move(completion), true});
    if (outcome.kind == Kind::error) {
        finishEvaluation(index, std::unexpected(scriptError(WebScriptErrorCode::scriptFailed, outcome.errorMessage)));
    } else if (outcome.kind == Kind::promise && !awaitsPromises) {
        finishEvaluation(
            index, std::unexpected(scriptError(WebScriptErrorCode::unsupportedResultType, "Unsupported result type")));
    } else if (outcome.kind == Kind::none) {
        finishEvaluation(index, std::optional<json::Json>{});
    } else {
        finishEvaluation(index, std::optional<json::Json>{std::move(outcome.value)});
    }
}

bool SimWebView::completeEvaluation(std::size_t index, WebScriptResult result) {
    const auto found = pending_.find(index);
    if (found == pending_.end() || !found->second.completable) return false;
    finishEvaluation(index, std::move(result));
    return true;
}

void SimWebView::finishEvaluation(std::size_t index, WebScriptResult result) {
    auto completion = std::move(pending_.at(index).completion);
    pending_.erase(index);
    record(fmt::format("result #{} {}", index, describe(result)));
    evaluations_[index].result = result;
    if (completion) {
        loop_.post([completion = std::move(completion), result = std::move(result)]() mutable {
            completion(std::move(result));
        });
    }
}

void SimWebView::failPendingEvaluations() {
    while (!pending_.empty()) {
        finishEvaluation(pending_.begin()->first,
                         std::unexpected(scriptError(WebScriptErrorCode::pageGone, "The page went away")));
    }
}

UserScriptID SimWebView::addUserScript(std::string_view source) {
    const auto id = nextUserScript_++;
    userScripts_.emplace_back(id, std::string(source));
    record(fmt::format("userScript+ {}", id));
    return id;
}

void SimWebView::removeUserScript(UserScriptID id) {
    const auto removed = std::erase_if(userScripts_, [id](const auto& script) { return script.first == id; });
    if (removed > 0) record(fmt::format("userScript- {}", id));
}

void SimWebView::removeAllUserScripts() {
    userScripts_.clear();
    record("userScripts cleared");
}

std::vector<std::string> SimWebView::userScripts() const {
    std::vector<std::string> sources;
    for (const auto& [id, source] : userScripts_) sources.push_back(source);
    return sources;
}

// ---- Loading ------------------------------------------------------------------------------

void SimWebView::load(const WebLoadRequest& request) {
    loads_.push_back(request);
    loading_ = true;
    record(fmt::format("load {}{}", request.url.text(), request.ignoreLocalCache ? " ignoring-cache" : ""));
    if (pageLoader_) pageLoader_->load(request);
}

void SimWebView::stopLoading() {
    record("stop");
    if (pageLoader_) pageLoader_->cancel();
    if (!loading_) return;
    loading_ = false;
    // The view may be gone by the time the loop runs this.
    loop_.post([this, alive = std::weak_ptr<void>(alive_)] {
        if (alive.expired()) return;
        record(fmt::format("failed {} {} cancelled", kCancelledLoad.domain, kCancelledLoad.code));
        if (events_.loadFailed) events_.loadFailed(kCancelledLoad);
    });
}

void SimWebView::beginProvisionalLoad() {
    loading_ = true;
    record("provisional");
    if (events_.provisionalLoadStarted) events_.provisionalLoadStarted();
}

void SimWebView::finishLoad() {
    loading_ = false;
    record("finished");
    if (events_.loadFinished) events_.loadFinished();
}

void SimWebView::failLoad(const WebLoadError& error) {
    loading_ = false;
    record(fmt::format("failed {} {}{}", error.domain, error.code, error.cancelled ? " cancelled" : ""));
    if (events_.loadFailed) events_.loadFailed(error);
}

void SimWebView::failProvisionalLoad(const WebLoadError& error) {
    loading_ = false;
    record(fmt::format("failedProvisional {} {}{}", error.domain, error.code, error.cancelled ? " cancelled" : ""));
    if (events_.provisionalLoadFailed) events_.provisionalLoadFailed(error);
}

void SimWebView::terminateWebProcess(WebProcessTermination reason) {
    loading_ = false;
    if (pageLoader_) pageLoader_->cancel();
    failPendingEvaluations();
    record(fmt::format("terminated {}", describe(reason)));
    if (events_.webProcessTerminated) events_.webProcessTerminated(reason);
}

PolicyVerdict SimWebView::navigate(NavigationAction action) {
    if (!knowsSendingFrames_ && action.target != NavigationTarget::none) action.target = NavigationTarget::unknown;
    const auto verdict = events_.decideNavigationAction ? events_.decideNavigationAction(action) : PolicyVerdict::allow;
    record(fmt::format("navigation {} {} -> {}", describe(action.url), describe(action.target), describe(verdict)));
    return verdict;
}

void SimWebView::requestNewWindow(NavigationAction action) {
    record(fmt::format("newWindow {}", describe(action.url)));
    if (events_.newWindowRequested) events_.newWindowRequested(action);
}

PolicyVerdict SimWebView::respond(const NavigationResponse& response) {
    const auto verdict = events_.decideResponse ? events_.decideResponse(response) : PolicyVerdict::allow;
    record(fmt::format("response {}{} {} -> {}", describe(response.url), response.isMainFrame ? " main" : "",
                       response.httpStatus, describe(verdict)));
    return verdict;
}

std::size_t SimWebView::confirm(ConfirmRequest request) {
    const auto index = confirms_->size();
    request.frame = visibleFrame(std::move(request.frame));
    confirms_->push_back({request, std::nullopt, 0});
    record(fmt::format("confirm #{}", index));
    ConfirmReply reply([confirms = confirms_, log = log_, index](bool confirmed) {
        auto& entry = (*confirms)[index];
        if (!entry.confirmed) entry.confirmed = confirmed;
        ++entry.answers;
        log->push_back(fmt::format("confirm #{} {}", index, confirmed));
    });
    if (events_.confirm) events_.confirm(request, std::move(reply));
    return index;
}

}  // namespace murmo
