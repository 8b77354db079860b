#pragma once

// Asks the dashboard page, before the application quits, whether it may
// close (an editor in the page may hold unsaved writing), and waits a bounded
// time for the answer. Whichever comes first decides: the page's answer or
// the time-out. Only a JSON true lets the quit go on; a late, missing,
// failed or other answer (1, "true", no value) refuses it.

#include <chrono>
#include <functional>

#include "platform/WebView.h"
#include "runtime/Clock.h"
#include "runtime/MainLoop.h"

namespace murmo::EditorClosePreparation {

inline constexpr Duration kTimeout = std::chrono::seconds(5);

// Starts the page's evaluation; it calls the given completion with the
// evaluation's result, once.
using Evaluate = std::function<void(WebScriptCompletion)>;
using Completion = std::function<void(bool mayClose)>;

// Arms the time-out, then calls `evaluate` once. `completion` runs exactly
// once, posted to `loop`, with the first verdict; later results are dropped
// and an answer cancels the time-out. The wait is held only by the time-out
// and the evaluation's completion, as a task's suspension is: when the loop
// drops the time-out and the page drops the evaluation unanswered, the wait
// ends without calling `completion`, and everything it captured is released.
// Main thread only.
void wait(MainLoop& loop, Duration timeout, Evaluate evaluate, Completion completion);

}  // namespace murmo::EditorClosePreparation
