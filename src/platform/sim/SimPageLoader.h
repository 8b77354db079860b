#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/PageFetcher.h"
#include "platform/WebView.h"
#include "runtime/MainLoop.h"

namespace murmo {

class SimWebView;

// Plays the network for a SimWebView the way a web engine loads a main
// document: one fetch per load, then, on the main loop, provisional start,
// the response decision with the reply's status, and finished (or, when the
// owner ignores the response, a failure by policy change). A connection that
// gives no reply fails provisionally with its error's domain and code. A newer
// load cancels the one in flight: a load that has reported its start then
// fails as cancelled, and its answer, whenever it comes, is dropped. Owned by
// its view; the loop outlives every fetch it starts.
class SimPageLoader {
public:
    SimPageLoader(MainLoop& loop, SimWebView& view, std::shared_ptr<PageFetcher> fetcher);
    SimPageLoader(const SimPageLoader&) = delete;
    SimPageLoader& operator=(const SimPageLoader&) = delete;

    void load(const WebLoadRequest& request);
    // Drops the load in flight without a word: the view reports the stop.
    void cancel();

    // What WebKitGTK reports for a main-frame response the owner ignored.
    static inline const WebLoadError kInterruptedByPolicy{"WebKitPolicyError", 102, false};

private:
    struct State {
        std::uint64_t generation = 0;
        bool inFlight = false;
        bool started = false;
    };

    // Runs `step` on the loop if the loader still lives and the load of
    // `generation` is still current then. Any thread.
    static void postIfCurrent(MainLoop& loop, std::weak_ptr<State> alive, std::uint64_t generation,
                              std::function<void()> step);
    void answer(const URL& url, const PageFetchResult& result);

    MainLoop& loop_;
    SimWebView& view_;
    std::shared_ptr<PageFetcher> fetcher_;
    // Expires with the loader, for work posted to the loop.
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace murmo
