#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/PageFetcher.h"
#include "platform/WebView.h"
#include "runtime/MainLoop.h"

namespace murmo {

class SimPageLoader;

// How the page answers the next evaluation.
struct SimScriptOutcome {
    enum class Kind {
        value,
        // undefined, or a value JSON cannot hold.
        none,
        // The script throws.
        error,
        // A promise of `value`: callAsyncJavaScript() awaits it,
        // evaluateJavaScript() fails with unsupportedResultType.
        promise,
        // Pending until the test calls completeEvaluation().
        later,
        // Pending until the page goes away.
        never,
    };

    Kind kind = Kind::none;
    json::Json value;
    std::string errorMessage;

    static SimScriptOutcome resolveValue(json::Json value) { return {Kind::value, std::move(value), {}}; }
    static SimScriptOutcome noValue() { return {Kind::none, nullptr, {}}; }
    static SimScriptOutcome throws(std::string message) { return {Kind::error, nullptr, std::move(message)}; }
    static SimScriptOutcome promiseOf(json::Json value) { return {Kind::promise, std::move(value), {}}; }
    static SimScriptOutcome later() { return {Kind::later, nullptr, {}}; }
    static SimScriptOutcome never() { return {Kind::never, nullptr, {}}; }
};

struct SimEvaluation {
    bool awaitsPromises = false;  // callAsyncJavaScript()
    std::string source;
    json::Json arguments;
    // Absent while pending; set when the completion was posted.
    std::optional<WebScriptResult> result;
};

// What became of one message posted to a handler with reply. `answers`
// counts what reached the page: exactly one for a message answered once
// (a second answer would be a fault of the reply, never legitimate).
struct SimReplyRecord {
    std::optional<std::string> valueJSON;
    std::optional<std::string> errorMessage;
    bool droppedUnanswered = false;
    int answers = 0;
};

struct SimPostedMessage {
    // As the handler received it (frame removed when the view cannot know it).
    ScriptMessage message;
    // False when no handler of that name existed: the page sees none.
    bool delivered = false;
    // Present for a handler with reply; it outlives the view.
    std::shared_ptr<const SimReplyRecord> reply;
};

struct SimConfirm {
    ConfirmRequest request;
    // Absent while the owner has not answered.
    std::optional<bool> confirmed;
    int answers = 0;
};

// The dashboard's web view without a web engine. It records every call in
// order (log(), one line each), and tests play the page and the network:
// post messages from any frame, script each evaluation, drive loads,
// navigation decisions, responses, confirms and crashes. Evaluation
// completions and the cancellation of a stopped load are posted to the main
// loop; the page's own doings (postMessage, load events) reach the owner at
// once, as a backend's signal handlers run from the loop. The page goes away
// when the web process ends or the view is destroyed. The loop outlives the
// view.
//
// Given a page fetcher, the view plays the network itself instead: each load
// is fetched (SimPageLoader) and its events come on the main loop as a web
// engine's would. The page it shows runs no script: evaluations have no value
// and an async call answers true (the page has nothing to do before it
// closes), unless a test scripts them.
class SimWebView final : public WebView {
public:
    explicit SimWebView(MainLoop& loop, bool knowsSendingFrames = true);
    // The page goes away with the view: pending evaluations fail.
    ~SimWebView() override;
    SimWebView(const SimWebView&) = delete;
    SimWebView& operator=(const SimWebView&) = delete;

    bool addScriptMessageHandler(std::string_view name, ScriptMessageHandler handler) override;
    bool addScriptMessageHandlerWithReply(std::string_view name, ScriptMessageHandlerWithReply handler) override;
    void removeScriptMessageHandler(std::string_view name) override;
    bool knowsSendingFrames() const override { return knowsSendingFrames_; }

    void evaluateJavaScript(std::string_view script, WebScriptCompletion completion) override;
    void callAsyncJavaScript(std::string_view functionBody, const json::Json& arguments,
                             WebScriptCompletion completion) override;
    UserScriptID addUserScript(std::string_view source) override;
    void removeUserScript(UserScriptID id) override;
    void removeAllUserScripts() override;

    void load(const WebLoadRequest& request) override;
    void stopLoading() override;
    bool isLoading() const override { return loading_; }

    void setEvents(WebViewEvents events) override { events_ = std::move(events); }

    // Loads from now on are fetched over `fetcher`.
    void setPageFetcher(std::shared_ptr<PageFetcher> fetcher);

    // ---- The page --------------------------------------------------------------------
    // Posts a body given as the JSON text the page's value serialises to;
    // absent, or text that does not parse (a lone surrogate), arrives as no
    // body. Returns the message's index in messages().
    std::size_t postMessage(std::string_view handlerName, std::optional<WebFrameInfo> frame,
                            std::optional<std::string_view> bodyJSON);
    const std::vector<SimPostedMessage>& messages() const { return messages_; }
    // Queued outcomes for the next evaluations, in order; without one an
    // evaluation has no value.
    void scriptNextEvaluation(SimScriptOutcome outcome) { outcomes_.push_back(std::move(outcome)); }
    const std::vector<SimEvaluation>& evaluations() const { return evaluations_; }
    // Completes an evaluation scripted `later`; false for any other.
    bool completeEvaluation(std::size_t index, WebScriptResult result);
    std::size_t confirm(ConfirmRequest request);
    const std::vector<SimConfirm>& confirms() const { return *confirms_; }

    // ---- The network and the web process ---------------------------------------------------
    void beginProvisionalLoad();
    void finishLoad();
    void failLoad(const WebLoadError& error);
    void failProvisionalLoad(const WebLoadError& error);
    // The page goes away: pending evaluations fail, loading stops.
    void terminateWebProcess(WebProcessTermination reason);
    PolicyVerdict navigate(NavigationAction action);
    void requestNewWindow(NavigationAction action);
    PolicyVerdict respond(const NavigationResponse& response);

    // ---- What was asked ---------------------------------------------------------------------
    const std::vector<std::string>& log() const { return *log_; }
    bool hasHandler(std::string_view name) const { return handlers_.contains(name); }
    const std::vector<WebLoadRequest>& loads() const { return loads_; }
    // The user scripts a load would inject now, in order.
    std::vector<std::string> userScripts() const;

    static inline const WebLoadError kCancelledLoad{"WebKitNetworkError", 302, true};

private:
    using Handler = std::variant<ScriptMessageHandler, ScriptMessageHandlerWithReply>;
    class ReplySink;

    bool addHandler(std::string_view name, Handler handler, bool withReply);
    void startEvaluation(bool awaitsPromises, std::string_view source, json::Json arguments,
                         WebScriptCompletion completion);
    void finishEvaluation(std::size_t index, WebScriptResult result);
    void failPendingEvaluations();
    std::optional<WebFrameInfo> visibleFrame(std::optional<WebFrameInfo> frame) const;
    void record(std::string line) { log_->push_back(std::move(line)); }

    MainLoop& loop_;
    bool knowsSendingFrames_;
    WebViewEvents events_;
    std::map<std::string, Handler, std::less<>> handlers_;
    std::vector<SimPostedMessage> messages_;
    std::vector<SimScriptOutcome> outcomes_;
    std::vector<SimEvaluation> evaluations_;
    // Pending evaluations by index, with whether the test may complete them.
    struct Pending {
        WebScriptCompletion completion;
        bool completable = false;
    };
    std::map<std::size_t, Pending> pending_;
    std::vector<std::pair<UserScriptID, std::string>> userScripts_;
    UserScriptID nextUserScript_ = 1;
    std::vector<WebLoadRequest> loads_;
    bool loading_ = false;
    std::unique_ptr<SimPageLoader> pageLoader_;
    // Shared with replies and confirm answers, which may come after the view.
    std::shared_ptr<std::vector<std::string>> log_ = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::vector<SimConfirm>> confirms_ = std::make_shared<std::vector<SimConfirm>>();
    // Expires with the view, for work it posted to the loop.
    std::shared_ptr<void> alive_ = std::make_shared<int>(0);
};

}  // namespace murmo
