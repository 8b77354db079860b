#include "shell/dashboard/EditorClosePreparation.h"

#include <memory>
#include <utility>

#include "shell/dashboard/WebScriptVerdict.h"

namespace murmo::EditorClosePreparation {

namespace {

// One wait's state: the first verdict wins and releases the completion.
class PendingVerdict {
public:
    PendingVerdict(MainLoop& loop, Completion completion) : loop_(loop), completion_(std::move(completion)) {}

    // The handle only shares a flag with the callback the loop keeps, so the
    // callback may hold this state without forming a cycle.
    void armTimeout(Timer timer) { timeout_ = std::move(timer); }

    void resolve(bool mayClose) {
        if (resolved_) return;
        resolved_ = true;
        timeout_.cancel();
        auto completion = std::exchange(completion_, nullptr);
        loop_.post([completion = std::move(completion), mayClose] { completion(mayClose); });
    }

private:
    MainLoop& loop_;
    Completion completion_;
    Timer timeout_;
    bool resolved_ = false;
};

}  // namespace

void wait(MainLoop& loop, Duration timeout, Evaluate evaluate, Completion completion) {
    auto pending = std::make_shared<PendingVerdict>(loop, std::move(completion));
    pending->armTimeout(loop.after(timeout, [pending] { pending->resolve(false); }));
    evaluate([pending](WebScriptResult result) { pending->resolve(isJsonTrue(result)); });
}

}  // namespace murmo::EditorClosePreparation
