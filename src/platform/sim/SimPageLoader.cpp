#include "platform/sim/SimPageLoader.h"

#include "platform/sim/SimWebView.h"

namespace murmo {

SimPageLoader::SimPageLoader(MainLoop& loop, SimWebView& view, std::shared_ptr<PageFetcher> fetcher)
    : loop_(loop), view_(view), fetcher_(std::move(fetcher)) {}

void SimPageLoader::load(const WebLoadRequest& request) {
    if (state_->inFlight && state_->started) {
        loop_.post([this, alive = std::weak_ptr<State>(state_)] {
            if (!alive.expired()) view_.failProvisionalLoad(SimWebView::kCancelledLoad);
        });
    }
    const auto generation = ++state_->generation;
    state_->inFlight = true;
    state_->started = false;
    postIfCurrent(loop_, state_, generation, [this] {
        state_->started = true;
        view_.beginProvisionalLoad();
    });
    // The completion may run on another thread, and after the loader: it
    // touches only the loop, and what it posts only runs while the loader lives.
    fetcher_->fetch({request.url, request.headers, request.ignoreLocalCache},
                    [&loop = loop_, alive = std::weak_ptr<State>(state_), generation, this,
                     url = request.url](PageFetchResult result) {
                        postIfCurrent(loop, alive, generation, [this, url, result = std::move(result)] {
                            state_->inFlight = false;
                            answer(url, result);
                        });
                    });
}

void SimPageLoader::cancel() {
    ++state_->generation;
    state_->inFlight = false;
    state_->started = false;
}

void SimPageLoader::postIfCurrent(MainLoop& loop, std::weak_ptr<State> alive, std::uint64_t generation,
                                  std::function<void()> step) {
    loop.post([alive = std::move(alive), generation, step = std::move(step)] {
        const auto state = alive.lock();
        if (state && state->generation == generation) step();
    });
}

void SimPageLoader::answer(const URL& url, const PageFetchResult& result) {
    if (!result) {
        view_.failProvisionalLoad(WebLoadError{result.error().domain, result.error().code, false});
        return;
    }
    const auto generation = state_->generation;
    const auto verdict = view_.respond(NavigationResponse{true, url, *result});
    // The owner may have started another load or stopped this one meanwhile.
    if (state_->generation != generation) return;
    if (verdict == PolicyVerdict::allow) {
        view_.finishLoad();
    } else {
        view_.failProvisionalLoad(kInterruptedByPolicy);
    }
}

}  // namespace murmo
