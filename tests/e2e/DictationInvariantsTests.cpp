#include "support/DictationInvariants.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace murmo::testing {
namespace {

using Exchange = RecordingCoreTransport::Exchange;
using Outcome = Exchange::Outcome;

constexpr std::string_view kOperation = "00000000-0000-4000-8000-000000000007";
const std::string kText = "ship the release on Friday";

std::string path(std::string_view tail) { return "/api/v1/dictations/" + std::string(kOperation) + std::string(tail); }

Exchange answered(std::string method, std::string target, int status = 200) {
    return Exchange{std::move(method), std::move(target), Outcome::replied, status, {}};
}

Exchange failed(std::string method, std::string target) {
    return Exchange{std::move(method), std::move(target), Outcome::failed, 0, "network_connection_lost"};
}

StandInRequest received(std::string method, std::string path) {
    StandInRequest request;
    request.method = std::move(method);
    request.target = path;
    request.path = std::move(path);
    request.authorized = true;
    return request;
}

StandInSocketFrame control(std::string_view type) {
    return StandInSocketFrame{
        0, true, R"({"type":")" + std::string(type) + R"(","operation_id":")" + std::string(kOperation) + R"("})"};
}

StandInSocketFrame audio() { return StandInSocketFrame{0, false, std::string(8, '\0')}; }

// One well-behaved dictation: started, streamed, released once, the text
// inserted once, reported once, the clipboard given back.
DictationTrace cleanDictation() {
    DictationTrace trace;
    trace.engineRequests = {received("POST", "/api/v1/dictations"), received("POST", path("/release")),
                            received("POST", path("/delivery-result"))};
    trace.exchanges = {answered("POST", "/api/v1/dictations"), answered("POST", path("/release")),
                       answered("POST", path("/delivery-result"))};
    trace.socketFrames = {control("native_audio_begin"), audio(), audio(), control("native_audio_end")};
    trace.logLines = {LogRecord{LogLevel::info, "local.murmo.dev", "delivery", "Delivered text=<private>"}};
    trace.clipboardBefore = {PasteboardItem::plainText("mine"),
                             PasteboardItem{.representations = {{"public.png", {0x89, 0x00, 0xFF}}}}};
    trace.clipboardAfter = trace.clipboardBefore;
    trace.fieldTextBefore = "Notes: ";
    trace.fieldTextAfter = "Notes: " + kText;
    return trace;
}

TEST(DictationInvariantsTest, AWellBehavedDictationBreaksNoRule) {
    EXPECT_EQ(dictationInvariantViolations(cleanDictation(), {kText}), std::vector<std::string>{});

    auto retried = cleanDictation();
    retried.exchanges.insert(retried.exchanges.begin() + 1,
                             {failed("POST", path("/release")), answered("POST", path("/release"), 503)});
    EXPECT_EQ(dictationInvariantViolations(retried, {kText}), std::vector<std::string>{})
        << "a terminal request may be sent again after each failure";

    auto idle = cleanDictation();
    idle = DictationTrace{.clipboardBefore = idle.clipboardBefore, .clipboardAfter = idle.clipboardAfter};
    EXPECT_EQ(dictationInvariantViolations(idle, {}), std::vector<std::string>{});
}

struct Fault {
    const char* name;
    std::function<void(DictationTrace&)> inject;
    ClipboardExpectation clipboard = ClipboardExpectation::restored;
    // A word the one violation must contain.
    const char* says;
};

TEST(DictationInvariantsTest, EachFaultIsReportedOnce) {
    const std::vector<Fault> faults{
        {"released again after a release that succeeded",
         [](auto& t) { t.exchanges.push_back(answered("POST", path("/release"))); }, ClipboardExpectation::restored,
         "had not failed"},
        {"cancelled after a release still unanswered",
         [](auto& t) {
             t.exchanges[1].outcome = Outcome::pending;
             t.exchanges.push_back(answered("POST", path("/cancel")));
         },
         ClipboardExpectation::restored, "unanswered"},
        {"released again before the failure came in",
         [](auto& t) {
             t.exchanges[1] = failed("POST", path("/release"));
             t.exchanges[1].sentMark = 1;
             t.exchanges[1].answeredMark = 3;
             auto retry = answered("POST", path("/release"));
             retry.sentMark = 2;
             retry.answeredMark = 4;
             t.exchanges.insert(t.exchanges.begin() + 2, retry);
         },
         ClipboardExpectation::restored, "only after"},
        {"two delivery reports",
         [](auto& t) { t.engineRequests.push_back(received("POST", path("/delivery-result"))); },
         ClipboardExpectation::restored, "2 delivery reports"},
        {"the text inserted twice", [](auto& t) { t.fieldTextAfter += " " + kText; }, ClipboardExpectation::restored,
         "inserted 2 times"},
        {"one representation of the clipboard lost", [](auto& t) { t.clipboardAfter[1].representations.clear(); },
         ClipboardExpectation::restored, "byte for byte"},
        {"one byte of the clipboard changed", [](auto& t) { t.clipboardAfter[1].representations[0].data[1] = 1; },
         ClipboardExpectation::restored, "byte for byte"},
        {"the user's clipboard back where the text should have been left", [](auto&) {},
         ClipboardExpectation::transcriptLeft, "alone"},
        {"an audio frame after the end", [](auto& t) { t.socketFrames.push_back(audio()); },
         ClipboardExpectation::restored, "after the native_audio_end"},
        {"an audio frame after a cancel",
         [](auto& t) {
             t.socketFrames.insert(t.socketFrames.begin() + 2, {control("native_audio_cancel"), audio()});
         },
         ClipboardExpectation::restored, "after the native_audio_cancel"},
        {"an audio frame before any stream began",
         [](auto& t) { t.socketFrames.insert(t.socketFrames.begin(), audio()); }, ClipboardExpectation::restored,
         "before any stream"},
        {"the text in a log line",
         [](auto& t) {
             t.logLines.push_back(LogRecord{LogLevel::debug, "local.murmo.dev", "core", "final " + kText});
         },
         ClipboardExpectation::restored, "log line"},
        {"an operation left open", [](auto& t) { t.coordinatorIdle = false; }, ClipboardExpectation::restored,
         "operation open"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        auto trace = cleanDictation();
        fault.inject(trace);
        const auto violations = dictationInvariantViolations(trace, {kText, fault.clipboard});
        ASSERT_EQ(violations.size(), 1u) << ::testing::PrintToString(violations);
        EXPECT_NE(violations[0].find(fault.says), std::string::npos) << violations[0];
    }
}

// A release followed by a cancel, with the order of sends and outcomes.
std::vector<Exchange> releaseThenCancel(std::uint64_t releaseAnswered, std::uint64_t cancelSent) {
    auto release = answered("POST", path("/release"));
    release.sentMark = 1;
    release.answeredMark = releaseAnswered;
    auto cancel = answered("POST", path("/cancel"));
    cancel.sentMark = cancelSent;
    cancel.answeredMark = 4;
    return {release, cancel};
}

// The same for an assistant operation: released, then deleted.
std::vector<Exchange> agentReleaseThenDelete(std::uint64_t releaseAnswered, std::uint64_t deleteSent) {
    const auto operation = "/api/v1/agent/operations/" + std::string(kOperation);
    auto release = answered("POST", operation + "/release");
    release.sentMark = 1;
    release.answeredMark = releaseAnswered;
    auto cancel = answered("DELETE", operation);
    cancel.sentMark = deleteSent;
    cancel.answeredMark = 4;
    return {release, cancel};
}

TEST(DictationInvariantsTest, ACancelFollowsAReleaseOnlyAsTheScenarioAllows) {
    const struct {
        const char* what;
        std::vector<Exchange> exchanges;
        TerminalAllowances allowed;
        bool holds;
    } rows[] = {
        {"overtaking, not allowed", releaseThenCancel(3, 2), {}, false},
        {"overtaking, allowed", releaseThenCancel(3, 2), {.cancelOvertakesRelease = true}, true},
        {"overtaking, only the quit allowed",
         releaseThenCancel(3, 2),
         {.quitCancelsAfterAnsweredRelease = true},
         false},
        {"after the answer, not allowed", releaseThenCancel(2, 3), {}, false},
        {"after the answer, only overtaking allowed", releaseThenCancel(2, 3), {.cancelOvertakesRelease = true}, false},
        {"after the answer, quit allowed", releaseThenCancel(2, 3), {.quitCancelsAfterAnsweredRelease = true}, true},
        {"after the answer, only an assistant's delete allowed",
         releaseThenCancel(2, 3),
         {.agentDeletedAfterAnsweredRelease = true},
         false},
        {"an assistant's delete after the answer, allowed",
         agentReleaseThenDelete(2, 3),
         {.agentDeletedAfterAnsweredRelease = true},
         true},
        {"an assistant's delete overtaking the release, only after the answer allowed",
         agentReleaseThenDelete(3, 2),
         {.agentDeletedAfterAnsweredRelease = true},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto trace = cleanDictation();
        trace.exchanges = row.exchanges;
        const auto violations =
            dictationInvariantViolations(trace, {kText, ClipboardExpectation::restored, row.allowed});
        EXPECT_EQ(violations.empty(), row.holds) << ::testing::PrintToString(violations);
    }

    auto twice = cleanDictation();
    twice.exchanges.push_back(answered("POST", path("/release")));
    EXPECT_EQ(dictationInvariantViolations(twice, {kText, ClipboardExpectation::restored, {true, true}}).size(), 1u)
        << "no allowance lets a release go twice";
}

TEST(DictationInvariantsTest, TheClipboardMayHoldTheTextAloneAfterAnUnverifiedPaste) {
    auto trace = cleanDictation();
    trace.clipboardAfter = {PasteboardItem::plainText(kText)};
    EXPECT_EQ(dictationInvariantViolations(trace, {kText, ClipboardExpectation::transcriptLeft}),
              std::vector<std::string>{});
    EXPECT_EQ(dictationInvariantViolations(trace, {kText, ClipboardExpectation::restored}).size(), 1u);
}

TEST(DictationInvariantsTest, AudioFramesOfAStreamWhoseBeginWasNotKeptAreNotJudged) {
    auto trace = cleanDictation();
    trace.socketFrames = {audio(),
                          audio(),
                          control("native_audio_end"),
                          control("native_audio_begin"),
                          audio(),
                          control("native_audio_end")};
    trace.allSocketFramesKept = false;
    EXPECT_EQ(dictationInvariantViolations(trace, {kText}), std::vector<std::string>{});
    trace.socketFrames.push_back(audio());
    EXPECT_EQ(dictationInvariantViolations(trace, {kText}).size(), 1u);
}

}  // namespace
}  // namespace murmo::testing
