#include "platform/sim/SimPageLoader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using json::Json;

constexpr std::string_view kPage = "http://127.0.0.1:8765/workspace";

// Keeps each fetch open until the test answers it.
class HeldPageFetcher final : public PageFetcher {
public:
    void fetch(PageFetchRequest request, PageFetchCompletion completion) override {
        requests.push_back(std::move(request));
        completions.push_back(std::move(completion));
    }

    void answer(std::size_t index, PageFetchResult result) { completions.at(index)(std::move(result)); }

    std::vector<PageFetchRequest> requests;
    std::vector<PageFetchCompletion> completions;
};

WebLoadRequest pageRequest(std::string_view url = kPage) {
    return {*URL::parse(url), {{"X-Murmo-Desktop-Token", "secret"}}, true};
}

// The dashboard window's reading of a response: a status outside 200 to 399
// is a failure, and the response is ignored.
PolicyVerdict windowDecision(const NavigationResponse& response) {
    return response.httpStatus >= 200 && response.httpStatus <= 399 ? PolicyVerdict::allow : PolicyVerdict::ignore;
}

struct SimPageLoaderTest : ::testing::Test {
    SimPageLoaderTest() {
        view->setPageFetcher(fetcher);
        view->setEvents({
            .provisionalLoadStarted = [this] { events.push_back("started"); },
            .loadFinished = [this] { events.push_back("finished"); },
            .loadFailed = [this](const WebLoadError& e) { events.push_back(describe("failed", e)); },
            .provisionalLoadFailed = [this](const WebLoadError& e) { events.push_back(describe("provisional", e)); },
            .decideResponse =
                [this](const NavigationResponse& response) {
                    events.push_back("response " + std::to_string(response.httpStatus));
                    return windowDecision(response);
                },
        });
    }

    static std::string describe(std::string_view kind, const WebLoadError& error) {
        return std::string(kind) + " " + error.domain + " " + std::to_string(error.code) +
               (error.cancelled ? " cancelled" : "");
    }

    ManualLoop loop;
    std::shared_ptr<HeldPageFetcher> fetcher = std::make_shared<HeldPageFetcher>();
    std::unique_ptr<SimWebView> view = std::make_unique<SimWebView>(loop);
    std::vector<std::string> events;
};

TEST_F(SimPageLoaderTest, FetchesTheMainDocumentAndReportsAsAWebEngineDoes) {
    view->load(pageRequest());
    EXPECT_TRUE(events.empty()) << "nothing runs inside load()";
    ASSERT_EQ(fetcher->requests.size(), 1u);
    EXPECT_EQ(fetcher->requests[0].url.text(), kPage);
    EXPECT_EQ(fetcher->requests[0].headers, pageRequest().headers);
    EXPECT_TRUE(fetcher->requests[0].ignoreLocalCache);

    loop.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"started"});
    EXPECT_TRUE(view->isLoading());
    fetcher->answer(0, 200);
    EXPECT_EQ(events, std::vector<std::string>{"started"}) << "the answer is handed to the loop";
    loop.runUntilIdle();

    EXPECT_EQ(events, (std::vector<std::string>{"started", "response 200", "finished"}));
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->log(),
              (std::vector<std::string>{"load http://127.0.0.1:8765/workspace ignoring-cache", "provisional",
                                        "response http://127.0.0.1:8765/workspace main 200 -> allow", "finished"}));
}

TEST_F(SimPageLoaderTest, EveryReplyIsDecidedByTheOwnerAndAConnectionFailureFailsProvisionally) {
    struct Case {
        PageFetchResult result;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {200, {"started", "response 200", "finished"}},
        {302, {"started", "response 302", "finished"}},
        {401, {"started", "response 401", "provisional WebKitPolicyError 102"}},
        {404, {"started", "response 404", "provisional WebKitPolicyError 102"}},
        {503, {"started", "response 503", "provisional WebKitPolicyError 102"}},
        {fail("MurmoCoreTransport", 3, "Could not connect to the server."),
         {"started", "provisional MurmoCoreTransport 3"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        events.clear();
        view->load(pageRequest());
        fetcher->answer(i, cases[i].result);
        loop.runUntilIdle();
        EXPECT_EQ(events, cases[i].events) << i;
        EXPECT_FALSE(view->isLoading()) << i;
    }
}

TEST_F(SimPageLoaderTest, ANewerLoadCancelsTheOneInFlight) {
    view->load(pageRequest());
    loop.runUntilIdle();
    view->load(pageRequest("http://127.0.0.1:8765/workspace?second"));
    loop.runUntilIdle();
    fetcher->answer(0, 200);
    loop.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"started", "provisional WebKitNetworkError 302 cancelled", "started"}))
        << "the older answer is dropped";
    EXPECT_TRUE(view->isLoading());

    fetcher->answer(1, 200);
    loop.runUntilIdle();
    EXPECT_EQ(events.back(), "finished");
    EXPECT_EQ(view->log()[5], "response http://127.0.0.1:8765/workspace?second main 200 -> allow");

    // A load superseded before it reported its start is dropped without a word.
    events.clear();
    view->load(pageRequest());
    view->load(pageRequest());
    fetcher->answer(2, 200);
    fetcher->answer(3, 404);
    loop.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"started", "response 404", "provisional WebKitPolicyError 102"}));
}

TEST_F(SimPageLoaderTest, StopsAndTheEndOfThePageDropTheAnswer) {
    view->load(pageRequest());
    loop.runUntilIdle();
    view->stopLoading();
    fetcher->answer(0, 200);
    loop.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"started", "failed WebKitNetworkError 302 cancelled"}));

    events.clear();
    view->load(pageRequest());
    view->stopLoading();
    loop.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"failed WebKitNetworkError 302 cancelled"}) << "stopped before it began";

    events.clear();
    view->load(pageRequest());
    loop.runUntilIdle();
    view->terminateWebProcess(WebProcessTermination::crashed);
    fetcher->answer(2, 200);
    loop.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"started"});

    // An answer that comes after the view reaches nobody.
    view->load(pageRequest());
    view.reset();
    fetcher->answer(3, 200);
    loop.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"started"});
}

TEST_F(SimPageLoaderTest, AnOwnerThatLoadsAgainFromTheDecisionGetsNoFinishForTheOldLoad) {
    view->setEvents({
        .loadFinished = [this] { events.push_back("finished"); },
        .decideResponse =
            [this](const NavigationResponse&) {
                view->load(pageRequest());
                return PolicyVerdict::allow;
            },
    });
    view->load(pageRequest());
    fetcher->answer(0, 200);
    loop.runUntilIdle();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(fetcher->requests.size(), 2u);
    EXPECT_TRUE(view->isLoading());
}

TEST_F(SimPageLoaderTest, TheFetchedPageRunsNoScriptAndMayAlwaysClose) {
    std::vector<WebScriptResult> results;
    const auto keep = [&](WebScriptResult result) { results.push_back(std::move(result)); };
    view->evaluateJavaScript("document.title", keep);
    view->callAsyncJavaScript("return await window.prepareToClose?.() ?? true;", nullptr, keep);
    view->scriptNextEvaluation(SimScriptOutcome::resolveValue(false));
    view->callAsyncJavaScript("return false;", nullptr, keep);
    loop.runUntilIdle();

    ASSERT_EQ(results.size(), 3u);
    ASSERT_TRUE(results[0]);
    EXPECT_FALSE(results[0]->has_value());
    ASSERT_TRUE(results[1] && results[1]->has_value());
    EXPECT_EQ(**results[1], Json(true));
    ASSERT_TRUE(results[2] && results[2]->has_value());
    EXPECT_EQ(**results[2], Json(false)) << "a test still scripts what it needs";
}

}  // namespace
}  // namespace murmo
