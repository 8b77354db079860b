#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/sim/SimChrome.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

// One thing that happens to the application: a terminate request (the
// owner's handler then gives `answer`) or the owner's late reply.
struct Step {
    enum class Kind { terminate, replyYes, replyNo };
    Kind kind = Kind::terminate;
    TerminateReply answer = TerminateReply::now;
};

Step terminateAnswering(TerminateReply answer) { return {Step::Kind::terminate, answer}; }
const Step replyYes{Step::Kind::replyYes};
const Step replyNo{Step::Kind::replyNo};

struct TerminationCase {
    std::string name;
    std::vector<Step> steps;
    std::vector<std::string> expectedSteps;
    int expectedQuestions = 0;
    bool expectedTerminated = false;
    bool expectedWaiting = false;
};

TEST(SimChromeTerminationTest, TheHandshakeFollowsTheOwnersAnswersAndReplies) {
    using enum TerminateReply;
    const std::vector<TerminationCase> cases{
        {"now ends at once", {terminateAnswering(now)}, {"asked:now", "will-terminate", "terminated"}, 1, true},
        {"cancel keeps running", {terminateAnswering(cancel)}, {"asked:cancel"}, 1, false},
        {"later waits for the reply", {terminateAnswering(later)}, {"asked:later"}, 1, false, true},
        {"later then yes ends",
         {terminateAnswering(later), replyYes},
         {"asked:later", "reply:yes", "will-terminate", "terminated"},
         1,
         true},
        {"later then no keeps running and a new request asks afresh",
         {terminateAnswering(later), replyNo, terminateAnswering(later), replyYes},
         {"asked:later", "reply:no", "asked:later", "reply:yes", "will-terminate", "terminated"},
         2,
         true},
        {"a second request while waiting asks again and the first wait's reply decides",
         {terminateAnswering(later), terminateAnswering(later), replyYes},
         {"asked:later", "asked:later", "reply:yes", "will-terminate", "terminated"},
         2,
         true},
        {"a second request answered now while waiting ends at once",
         {terminateAnswering(later), terminateAnswering(now), replyYes},
         {"asked:later", "asked:now", "will-terminate", "terminated", "reply-ignored:yes"},
         2,
         true},
        {"a cancel while waiting leaves the wait",
         {terminateAnswering(later), terminateAnswering(cancel), replyYes},
         {"asked:later", "asked:cancel", "reply:yes", "will-terminate", "terminated"},
         2,
         true},
        {"a reply with nothing waiting is ignored", {replyYes}, {"reply-ignored:yes"}, 0, false},
        {"nothing is asked once terminated",
         {terminateAnswering(now), terminateAnswering(now)},
         {"asked:now", "will-terminate", "terminated"},
         1,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualLoop loop;
        SimDesktop desktop{loop};
        SimChrome& chrome = desktop.chrome();
        Chrome& port = desktop.ports().chrome;
        std::deque<TerminateReply> answers;
        int questions = 0;
        int willTerminateCalls = 0;
        port.setApplicationHandlers({
            .shouldTerminate =
                [&] {
                    ++questions;
                    const auto answer = answers.front();
                    answers.pop_front();
                    return answer;
                },
            .willTerminate = [&] { ++willTerminateCalls; },
        });
        for (const auto& step : c.steps) {
            switch (step.kind) {
                case Step::Kind::terminate:
                    answers.push_back(step.answer);
                    port.terminate();
                    break;
                case Step::Kind::replyYes: port.replyToShouldTerminate(true); break;
                case Step::Kind::replyNo: port.replyToShouldTerminate(false); break;
            }
            loop.runUntilIdle();
        }
        EXPECT_EQ(chrome.terminationSteps(), c.expectedSteps);
        EXPECT_EQ(questions, c.expectedQuestions);
        EXPECT_EQ(chrome.terminated(), c.expectedTerminated);
        EXPECT_EQ(willTerminateCalls, c.expectedTerminated ? 1 : 0);
        EXPECT_EQ(chrome.waitsForTerminateReply(), c.expectedWaiting);
    }
}

TEST(SimChromeTerminationTest, WillTerminateRunsBeforeTheLoopEndsAndCannotStartAnotherRequest) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    bool terminatedWhenTold = true;
    chrome.setApplicationHandlers({
        .shouldTerminate = [] { return TerminateReply::later; },
        .willTerminate =
            [&] {
                terminatedWhenTold = chrome.terminationSteps().back() == "terminated";
                chrome.terminate();
            },
    });
    chrome.terminate();
    // The owner's shutdown finishes later on the loop and replies from there.
    loop.post([&] { chrome.replyToShouldTerminate(true); });
    loop.runUntilIdle();

    EXPECT_FALSE(terminatedWhenTold) << "the loop ends only after the will-terminate handler";
    EXPECT_EQ(chrome.terminationSteps(),
              (std::vector<std::string>{"asked:later", "reply:yes", "will-terminate", "terminated"}));
}

}  // namespace
}  // namespace murmo
