#include <gtest/gtest.h>

#include <map>

#include "FocusDesktopFixture.h"

namespace murmo::testing {
namespace {

// A scripted delivery body: it records that it started, keeps its run so the
// test can complete or cancel it, and then waits (as a paste waits for its
// observation) until the test lets it end.
struct ScriptedDelivery {
    std::string name;
    std::vector<std::string>* events = nullptr;
    std::optional<DeliveryRun> run;
    std::optional<Resumer<bool>> finish;
    int starts = 0;
};

// The test owns the delivery; the task only borrows it, so a task left
// waiting at the end of a test forms no ownership cycle with its resumer.
Task<void> scriptedBody(MainLoop& loop, ScriptedDelivery* delivery, DeliveryRun run) {
    ++delivery->starts;
    delivery->events->push_back(delivery->name + " started");
    delivery->run = run;
    // Ends when the test says so, or at once when cancelled.
    auto subscription = run.cancel.onCancel([delivery] {
        if (delivery->finish) delivery->finish->resume(false);
    });
    co_await suspendWith<bool>(loop, [delivery](Resumer<bool> resumer) { delivery->finish = resumer; });
    delivery->events->push_back(delivery->name + " body ended");
}

class DeliveryAdmissionTest : public FocusDesktopTest {
protected:
    std::vector<std::string> events;
    std::map<std::string, std::shared_ptr<ScriptedDelivery>> deliveries;
    std::map<std::string, std::vector<DeliveryResult>> results;

    std::shared_ptr<ScriptedDelivery> request(const std::string& name) {
        auto delivery = std::make_shared<ScriptedDelivery>();
        delivery->name = name;
        delivery->events = &events;
        deliveries[name] = delivery;
        injector->admitDelivery(DeliveryRequest{
            .body = [this, raw = delivery.get()](DeliveryRun run) { return scriptedBody(loop, raw, std::move(run)); },
            .completion =
                [this, name](DeliveryResult result) {
                    events.push_back(name + " completed");
                    results[name].push_back(std::move(result));
                },
        });
        return delivery;
    }

    static DeliveryResult inserted() { return DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste, true, 1ms); }
};

TEST(DeliveryAdmissionPolicyTest, StartQueueReject) {
    EXPECT_EQ(DeliveryAdmissionPolicy::admission(false, false), DeliveryAdmission::start);
    EXPECT_EQ(DeliveryAdmissionPolicy::admission(false, true), DeliveryAdmission::start);
    EXPECT_EQ(DeliveryAdmissionPolicy::admission(true, false), DeliveryAdmission::queue);
    EXPECT_EQ(DeliveryAdmissionPolicy::admission(true, true), DeliveryAdmission::reject);
    EXPECT_TRUE(DeliveryOverlapPolicy::releasesDictationOwnership(true));
    EXPECT_FALSE(DeliveryOverlapPolicy::releasesDictationOwnership(false));
    EXPECT_TRUE(DeliveryOverlapPolicy::keepsMutationLocked(false));
    EXPECT_FALSE(DeliveryOverlapPolicy::keepsMutationLocked(true));
}

TEST_F(DeliveryAdmissionTest, OneRunsOneWaitsTheThirdIsRefusedAndTheFirstCompletesBeforeTheSecondStarts) {
    auto first = request("first");
    loop.advance(10ms);
    auto second = request("second");
    auto third = request("third");

    // The third is refused at once, with no time spent.
    ASSERT_EQ(results["third"].size(), 1u);
    const auto* refused = results["third"].front().failure();
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused,
              (DeliveryFailed{"delivery_busy", "delivery_queue_full", "Another insertion is already waiting.", 0ms}));
    EXPECT_EQ(third->starts, 0);

    loop.advance(40ms);
    EXPECT_EQ(first->starts, 1);
    EXPECT_EQ(second->starts, 0);
    EXPECT_TRUE(injector->hasQueuedDelivery());

    first->run->complete(inserted());
    loop.runUntilIdle();
    const std::vector<std::string> expected{"first started", "third completed", "first completed", "second started"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(results["first"].size(), 1u);
    // The waiting request was admitted afresh, with its own start time.
    ASSERT_TRUE(second->run);
    EXPECT_EQ(second->run->startedAt - first->run->startedAt, 50ms);

    second->run->complete(inserted());
    EXPECT_FALSE(injector->isDeliveryActive());
    EXPECT_FALSE(injector->hasQueuedDelivery());
}

TEST_F(DeliveryAdmissionTest, ABodyThatEndsBeforeItsResultKeepsTheTargetUntilTheResult) {
    auto first = request("first");
    loop.runUntilIdle();
    first->finish->resume(true);  // the paste is out; its observation reports later
    loop.runUntilIdle();
    EXPECT_TRUE(injector->isDeliveryActive());
    auto second = request("second");
    loop.runUntilIdle();
    EXPECT_EQ(second->starts, 0);

    first->run->complete(inserted());
    loop.runUntilIdle();
    EXPECT_EQ(second->starts, 1);
}

TEST_F(DeliveryAdmissionTest, ShutdownDropsBothAndLateResultsAreNotDelivered) {
    auto first = request("first");
    loop.runUntilIdle();
    auto second = request("second");
    injector->shutdown();
    loop.runUntilIdle();
    EXPECT_TRUE(first->run->cancel.isCancelled());
    EXPECT_FALSE(injector->isDeliveryActive());
    EXPECT_FALSE(injector->hasQueuedDelivery());

    // A new delivery owns the target now; the old one's late result is not
    // delivered and does not disturb it.
    auto third = request("third");
    loop.runUntilIdle();
    first->run->complete(inserted());
    loop.runUntilIdle();
    EXPECT_TRUE(results["first"].empty());
    EXPECT_TRUE(injector->isDeliveryActive());
    EXPECT_EQ(second->starts, 0);

    third->run->complete(inserted());
    EXPECT_EQ(results["third"].size(), 1u);
}

TEST_F(DeliveryAdmissionTest, ACancelledDeliveryTakesTheWaitingRequestWithIt) {
    auto first = request("first");
    loop.runUntilIdle();
    auto second = request("second");
    // Whoever cancels the running delivery, its task ends without a result.
    first->run->cancel.cancel();
    loop.runUntilIdle();
    EXPECT_EQ(events.back(), "first body ended");
    EXPECT_FALSE(injector->isDeliveryActive());
    EXPECT_FALSE(injector->hasQueuedDelivery());

    // A later delivery runs alone; the stale text never follows it.
    auto third = request("third");
    loop.runUntilIdle();
    third->run->complete(inserted());
    loop.advance(1s);
    EXPECT_EQ(second->starts, 0);
    EXPECT_TRUE(results["first"].empty());
    EXPECT_TRUE(results["second"].empty());
    EXPECT_EQ(results["third"].size(), 1u);
}

TEST_F(DeliveryAdmissionTest, AReleasedInjectorEndsItsDeliveriesSilently) {
    auto first = request("first");
    loop.runUntilIdle();
    auto run = *first->run;
    injector.reset();
    run.complete(inserted());
    first->finish->resume(true);
    loop.runUntilIdle();
    EXPECT_TRUE(results["first"].empty());
}

}  // namespace
}  // namespace murmo::testing
