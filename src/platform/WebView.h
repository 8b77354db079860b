#pragma once

// The dashboard's web view: the engine's page shown inside our window, and
// every door between that page and the desktop. Shaped after WebKitGTK 6 so
// that a real backend maps onto it call for call (the calls are listed at the
// end of this note).
//
// What crosses between the page and us is JSON: message bodies, replies,
// script results and call arguments travel as JSON text or with their
// lengths, never as NUL-terminated strings, so a U+0000 inside a value
// survives. A page value with no JSON form (undefined, a function, a cycle, a
// string with a lone surrogate) arrives as no value.
//
// Frames: a plain WebKitGTK handler learns nothing of the frame that sent a
// message, and a navigation action carries no main-frame flag; a backend
// with a web-process extension knows both (knowsSendingFrames()). An unknown
// frame always takes the strict reading: a message or a confirm from it is
// not from the main frame, and a navigation into it counts as a main-frame
// navigation (where only subframes may show blob and data content).
//
// Main thread only. Completions and events run on the main loop, never
// inside the call that asked for them.
//
// The WebKitGTK calls behind it: handlers are the user content manager's
// register_script_message_handler[_with_reply] in the default world, replies
// webkit_script_message_reply_return_value / _return_error_message; scripts
// are webkit_web_view_evaluate_javascript and
// _call_async_javascript_function; user scripts are WebKitUserScript at
// document start, top frame only; loads are webkit_web_view_load_request and
// _stop_loading; the events are load-changed, load-failed,
// web-process-terminated, decide-policy (navigation action and response),
// create (new window) and script-dialog (confirm).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Error.h"
#include "runtime/JsonRead.h"
#include "runtime/URL.h"

namespace murmo {

// ---- Frames ---------------------------------------------------------------------

struct WebFrameInfo {
    bool isMainFrame = false;
    // The URL of the frame's request; absent when it has none or it does not
    // parse as an absolute URL.
    std::optional<URL> requestURL;
};

// ---- Script messages --------------------------------------------------------------

struct ScriptMessage {
    std::string handlerName;
    // Absent when the backend cannot tell (knowsSendingFrames() is false).
    std::optional<WebFrameInfo> frame;
    // Absent when the posted value has no JSON form.
    std::optional<json::Json> body;

    // Strict: false when the frame is unknown.
    bool isFromMainFrame() const { return frame && frame->isMainFrame; }
};

// The answer to one message posted to a handler with reply. The first
// returnValue() or returnError() answers; later calls are ignored and return
// false. A copy shares the answer. It stays answerable after the handler was
// removed, the page went away or the view was destroyed (the answer then
// reaches nobody). When the last copy goes away unanswered the page's promise
// resolves with undefined, as WebKitGTK does.
class ScriptMessageReply {
public:
    // Where a backend sends the answer; exactly one of its calls is made.
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void returnValue(std::string jsonText) = 0;
        virtual void returnError(std::string message) = 0;
        virtual void droppedUnanswered() = 0;
    };

    explicit ScriptMessageReply(std::shared_ptr<Sink> sink);

    // False, and nothing answered, when already answered or the value has no
    // JSON form (invalid UTF-8, a number that is not finite).
    bool returnValue(const json::Json& value);
    bool returnError(std::string message);
    bool isAnswered() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

using ScriptMessageHandler = std::function<void(const ScriptMessage&)>;
using ScriptMessageHandlerWithReply = std::function<void(const ScriptMessage&, ScriptMessageReply)>;

// ---- Scripts ------------------------------------------------------------------------

inline constexpr std::string_view kWebScriptErrorDomain = "MurmoWebScript";

enum class WebScriptErrorCode : long {
    // The script threw, or did not compile.
    scriptFailed = 699,
    // The result was a promise or a function: evaluateJavaScript() never awaits.
    unsupportedResultType = 601,
    // The page or the view went away before the script finished.
    pageGone = 1,
};

// A script's result: a JSON value, no value (undefined, or nothing JSON can
// hold), or the error that ended it.
using WebScriptResult = Result<std::optional<json::Json>>;
using WebScriptCompletion = std::function<void(WebScriptResult)>;

using UserScriptID = std::uint64_t;

// ---- Loads and navigation --------------------------------------------------------------

struct WebLoadRequest {
    URL url;
    // Sent with the main document's request only (not its subresources,
    // frames or a later reload).
    std::vector<std::pair<std::string, std::string>> headers;
    bool ignoreLocalCache = false;
};

struct WebLoadError {
    std::string domain;
    long code = 0;
    // Superseded or stopped: nothing went wrong with the page.
    bool cancelled = false;
};

enum class WebProcessTermination { crashed, exceededMemoryLimit, terminatedByClient };

enum class NavigationTarget {
    mainFrame,
    subframe,
    // A new window (a link with a target, window.open).
    none,
    // The backend cannot tell.
    unknown,
};

struct NavigationAction {
    // Absent when the request has no URL that parses.
    std::optional<URL> url;
    NavigationTarget target = NavigationTarget::unknown;

    // Strict: only a known subframe is not the main frame.
    bool targetsMainFrame() const { return target != NavigationTarget::subframe; }
};

// WebKitGTK's response decision always knows its frame.
struct NavigationResponse {
    bool isMainFrame = false;
    std::optional<URL> url;
    int httpStatus = 0;
};

enum class PolicyVerdict { allow, ignore };

struct ConfirmRequest {
    std::string message;
    // Absent when the backend cannot tell.
    std::optional<WebFrameInfo> frame;

    bool isFromMainFrame() const { return frame && frame->isMainFrame; }
};

// The answer to a page's confirm(): the first answer() counts, later ones are
// ignored; unanswered when the last copy goes away means false.
class ConfirmReply {
public:
    explicit ConfirmReply(std::function<void(bool confirmed)> deliver);
    bool answer(bool confirmed);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// What the view tells its owner. Every member is optional: an unset decision
// allows, an unset confirm answers false.
struct WebViewEvents {
    std::function<void()> provisionalLoadStarted{};
    // Only for a load that did not fail (WebKitGTK also says "finished" after
    // a failure; this port does not).
    std::function<void()> loadFinished{};
    std::function<void(const WebLoadError&)> loadFailed{};
    std::function<void(const WebLoadError&)> provisionalLoadFailed{};
    std::function<void(WebProcessTermination)> webProcessTerminated{};
    std::function<PolicyVerdict(const NavigationAction&)> decideNavigationAction{};
    // The view never opens a window of its own; the owner decides what to do.
    std::function<void(const NavigationAction&)> newWindowRequested{};
    std::function<PolicyVerdict(const NavigationResponse&)> decideResponse{};
    std::function<void(const ConfirmRequest&, ConfirmReply)> confirm{};
};

class WebView {
public:
    virtual ~WebView() = default;

    // ---- Script message handlers (page world) --------------------------------------
    // The page posts with window.webkit.messageHandlers.<name>.postMessage().
    // A handler is held by the view until removed. False, and nothing added,
    // when the name holds U+0000 or a handler of that name already exists.
    virtual bool addScriptMessageHandler(std::string_view name, ScriptMessageHandler handler) = 0;
    // The page's postMessage() promise takes the reply's answer.
    virtual bool addScriptMessageHandlerWithReply(std::string_view name, ScriptMessageHandlerWithReply handler) = 0;
    // An unknown name does nothing.
    virtual void removeScriptMessageHandler(std::string_view name) = 0;
    // Whether messages and confirms carry their frame, and navigation actions
    // their target frame.
    virtual bool knowsSendingFrames() const = 0;

    // ---- Scripts ------------------------------------------------------------------
    // Runs `script` in the main frame's page world. A promise result is the
    // error unsupportedResultType. `completion` may be empty.
    virtual void evaluateJavaScript(std::string_view script, WebScriptCompletion completion) = 0;
    // Runs `functionBody` as the body of an async function whose parameters
    // are `arguments`' keys (an object; null for none), and awaits its result.
    virtual void callAsyncJavaScript(std::string_view functionBody, const json::Json& arguments,
                                     WebScriptCompletion completion) = 0;
    // Injected at document start of every main-frame load, in the top frame
    // only, in the order added.
    virtual UserScriptID addUserScript(std::string_view source) = 0;
    // An unknown id does nothing.
    virtual void removeUserScript(UserScriptID id) = 0;
    virtual void removeAllUserScripts() = 0;

    // ---- Loading ------------------------------------------------------------------
    // No time-out per request: an owner that wants one keeps its own timer
    // and calls stopLoading().
    virtual void load(const WebLoadRequest& request) = 0;
    // A running load then fails as cancelled.
    virtual void stopLoading() = 0;
    virtual bool isLoading() const = 0;

    virtual void setEvents(WebViewEvents events) = 0;
};

}  // namespace murmo
