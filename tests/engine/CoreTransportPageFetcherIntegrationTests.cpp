#include "engine/CoreTransportPageFetcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/BeastCoreTransport.h"
#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kToken = "page-loader-test-token";

// Counts the fetches answered, after each answer was handed on.
class CountingPageFetcher final : public PageFetcher {
public:
    explicit CountingPageFetcher(std::shared_ptr<PageFetcher> inner) : inner_(std::move(inner)) {}

    void fetch(PageFetchRequest request, PageFetchCompletion completion) override {
        inner_->fetch(std::move(request), [this, completion = std::move(completion)](PageFetchResult result) {
            completion(std::move(result));
            ++answered;
        });
    }

    std::atomic<int> answered{0};

private:
    std::shared_ptr<PageFetcher> inner_;
};

// The simulated view fetching the stand-in engine's page over a real
// transport, as the program wires it until the web engine backend exists.
struct PageLoaderIntegrationTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(engine.start());
        view.setPageFetcher(fetcher);
        view.setEvents({
            .provisionalLoadStarted = [this] { events.push_back("started"); },
            .loadFinished = [this] { events.push_back("finished"); },
            .loadFailed = [this](const WebLoadError& e) { events.push_back(describe("failed", e)); },
            .provisionalLoadFailed = [this](const WebLoadError& e) { events.push_back(describe("provisional", e)); },
            .decideResponse =
                [this](const NavigationResponse& response) {
                    events.push_back("response " + std::to_string(response.httpStatus));
                    statuses.push_back(response.httpStatus);
                    return PolicyVerdict::allow;
                },
        });
    }

    static std::string describe(std::string_view kind, const WebLoadError& error) {
        return std::string(kind) + " " + error.domain + " " + std::to_string(error.code) +
               (error.cancelled ? " cancelled" : "");
    }

    WebLoadRequest workspace(std::optional<std::string> token = std::string(kToken)) const {
        WebLoadRequest request{*URL::parseServer(engine.baseURL() + "/workspace"), {}, true};
        if (token) request.headers.emplace_back(std::string(kDesktopTokenHeader), *token);
        return request;
    }

    // Waits in real time until the load has ended one way or the other.
    bool waitForEnd() {
        return loop.pumpUntil(
            [this] {
                return !events.empty() && (events.back() == "finished" || events.back().starts_with("provisional") ||
                                           events.back().starts_with("failed"));
            },
            10s);
    }

    // The loop first: the transport's completions post to it until the
    // transport is gone.
    ManualLoop loop;
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    std::shared_ptr<CountingPageFetcher> fetcher = std::make_shared<CountingPageFetcher>(
        std::make_shared<CoreTransportPageFetcher>(std::make_shared<BeastCoreTransport>()));
    SimWebView view{loop};
    std::vector<std::string> events;
    std::vector<int> statuses;
};

TEST_F(PageLoaderIntegrationTest, TheDesktopGetsThePageAndAnyoneElseTheRefusal) {
    view.load(workspace());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events, (std::vector<std::string>{"started", "response 200", "finished"}));
    const auto request = engine.requests().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/workspace");
    EXPECT_TRUE(request.authorized);
    EXPECT_EQ(request.header("cache-control"), "no-cache") << "a reload that ignores the cache";

    for (auto token : {std::optional<std::string>(), std::optional<std::string>("wrong")}) {
        events.clear();
        view.load(workspace(token));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(events, (std::vector<std::string>{"started", "response 401", "finished"}))
            << "a reply completes the load; the owner judges its status";
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 401, 401}));
}

TEST_F(PageLoaderIntegrationTest, AClosedPortFailsProvisionally) {
    StandInEngine gone{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    ASSERT_TRUE(gone.start());
    const auto closedURL = gone.baseURL() + "/workspace";
    gone.stop();

    view.load({*URL::parseServer(closedURL), {{std::string(kDesktopTokenHeader), std::string(kToken)}}, true});
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events,
              (std::vector<std::string>{
                  "started", "provisional MurmoCoreTransport " +
                                 std::to_string(static_cast<long>(CoreTransportErrorCode::cannotConnectToHost))}));
    EXPECT_FALSE(view.isLoading());
}

TEST_F(PageLoaderIntegrationTest, ASecondLoadBeforeTheFirstAnswersCancelsTheFirst) {
    engine.setReply("GET", "/workspace", StandInReply::held());
    view.load(workspace());
    ASSERT_TRUE(engine.waitForHeldRequests(1, 10s));
    ASSERT_TRUE(loop.pumpUntil([this] { return !events.empty(); }, 10s));
    view.load(workspace());
    ASSERT_TRUE(engine.waitForHeldRequests(2, 10s));

    ASSERT_TRUE(engine.releaseHeldReply("/workspace", StandInReply{200, "first"}));
    ASSERT_TRUE(loop.pumpUntil([this] { return fetcher->answered == 1; }, 10s));
    loop.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"started", "provisional WebKitNetworkError 302 cancelled", "started"}))
        << "the first answer reaches nobody";

    ASSERT_TRUE(engine.releaseHeldReply("/workspace", StandInReply{200, "second"}));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events.back(), "finished");
    EXPECT_EQ(statuses, std::vector<int>{200});
}

}  // namespace
}  // namespace murmo
