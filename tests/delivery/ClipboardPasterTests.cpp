#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FocusDesktopFixture.h"
#include "platform/KeyTap.h"

namespace murmo::testing {
namespace {

std::vector<PasteboardItem> userClipboard() { return sampleUserClipboard(); }

std::vector<PasteboardItem> newerCopy() { return {PasteboardItem::plainText("copied meanwhile")}; }

struct PasteOutcome {
    std::vector<ClipboardUnverifiedReport> reports;
    std::vector<MonotonicTime> dispatches;
};

class ClipboardPasterTest : public FocusDesktopTest {
protected:
    SimHost host;

    void SetUp() override {
        host = launchEditor();
        desktop.userCopies(userClipboard());
    }

    std::string fieldValue() { return desktop.element(host.field).value.value_or(""); }
    const std::vector<PasteboardItem>& clipboard() const { return desktop.pasteboardItems(); }

    // Starts a paste of `text` into the editor; the consumption check asks
    // whether the field now ends with the text.
    ClipboardPasteStartResult start(ClipboardPaster& target, const std::string& text, PasteOutcome& outcome,
                                    std::function<ClipboardTargetValidation()> validate = nullptr,
                                    std::function<bool()> consumed = nullptr) {
        if (!validate) validate = [] { return ClipboardTargetValidation::exact; };
        if (!consumed) consumed = [this, text] { return fieldValue().ends_with(text); };
        const auto started = target.beginPasteReporting(
            text, host.pid, validate, consumed, [&outcome](MonotonicTime at) { outcome.dispatches.push_back(at); },
            [&outcome](ClipboardUnverifiedReport report) { outcome.reports.push_back(report); });
        lastPreparationFailure = started.failure;
        return started.result;
    }

    // Why the latest start returned `unavailable`.
    std::optional<ClipboardPreparationFailure> lastPreparationFailure;

    std::vector<SimPasteboardOperation> pasteboardOperations() const {
        std::vector<SimPasteboardOperation> operations;
        for (const auto& call : desktop.model().pasteboard.calls) operations.push_back(call.operation);
        return operations;
    }
};

TEST_F(ClipboardPasterTest, AVerifiedPasteGivesTheUsersClipboardBackAtTheFirstTickAndReportsOnce) {
    PasteOutcome outcome;
    const auto dispatchedAt = loop.now();
    ASSERT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::posted);
    ASSERT_EQ(outcome.dispatches, std::vector<MonotonicTime>{dispatchedAt});

    // While the paste is open the clipboard holds the text and the marker,
    // one item, the marker a fresh lower-case identifier.
    ASSERT_EQ(clipboard().size(), 1u);
    const auto& temporary = clipboard().front();
    ASSERT_EQ(temporary.representations.size(), 2u);
    EXPECT_EQ(*temporary.data(kPasteboardPlainTextType), pasteboardBytes(" world"));
    const auto* marker = temporary.data(ClipboardPaster::markerType);
    ASSERT_TRUE(marker);
    EXPECT_TRUE(isLowercaseUUID(std::string(marker->begin(), marker->end())));

    // Command-V went to the editor, down then up, marked as the
    // application's own so that its taps let it pass.
    const auto& posted = desktop.postedEvents();
    ASSERT_EQ(posted.size(), 2u);
    for (const auto& event : posted) {
        EXPECT_EQ(event.event.virtualKey, virtual_key::v);
        EXPECT_EQ(event.event.flags, key_event_flags::command);
        EXPECT_EQ(event.event.sourceUserData, kSyntheticEventUserDataMarker);
        EXPECT_EQ(event.frontmostPID, host.pid);
    }
    EXPECT_TRUE(posted[0].event.keyDown);
    EXPECT_FALSE(posted[1].event.keyDown);
    EXPECT_EQ(fieldValue(), "hello world");

    loop.advance(25ms);
    EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::insertedVerified});
    EXPECT_EQ(clipboard(), userClipboard());
    EXPECT_FALSE(paster->hasPendingPaste());

    const auto callsAfterRestore = desktop.model().pasteboard.calls.size();
    loop.advance(2s);
    EXPECT_EQ(outcome.reports.size(), 1u);
    EXPECT_EQ(desktop.model().pasteboard.calls.size(), callsAfterRestore);
}

TEST_F(ClipboardPasterTest, AnUnconfirmedPasteLeavesOnlyTheTextOnTheClipboardAtTheRestoreDelay) {
    desktop.setPasteResponse(host.pid, SimPasteResponse{.insertion = SimPasteInsertion::never});
    PasteOutcome outcome;
    ASSERT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::posted);

    loop.advance(1199ms);
    EXPECT_TRUE(outcome.reports.empty());
    loop.advance(1ms);
    EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::dispatchedUnverified});
    // The text stays for the user to paste by hand, no longer claimed.
    EXPECT_EQ(clipboard(), std::vector{PasteboardItem::plainText(" world")});
    loop.advance(2s);
    EXPECT_EQ(outcome.reports.size(), 1u);
}

TEST_F(ClipboardPasterTest, AFailedTranscriptWriteGivesTheClipboardBackUnlessSomeoneWroteItMeanwhile) {
    struct Case {
        std::string name;
        // Someone else writes the clipboard right after the paster cleared it.
        bool writtenAfterTheClear;
        std::vector<PasteboardItem> expected;
    };
    const std::vector<Case> cases{
        {"the write fails", false, userClipboard()},
        {"the write fails after someone else wrote", true, newerCopy()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        desktop.userCopies(userClipboard());
        desktop.model().pasteboard.afterCall = nullptr;
        desktop.setPasteResponse(host.pid, SimPasteResponse{.insertion = SimPasteInsertion::never});
        PasteOutcome outcome;
        ASSERT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::posted);
        loop.advance(1199ms);
        ASSERT_TRUE(outcome.reports.empty());

        // The paste settles unverified: the paster writes the bare text.
        desktop.addPasteboardFault(SimPasteboardFault{.operation = SimPasteboardOperation::write});
        if (c.writtenAfterTheClear) {
            desktop.model().pasteboard.afterCall = [this](const SimPasteboardCall& call) {
                if (call.operation != SimPasteboardOperation::clear) return;
                desktop.model().pasteboard.afterCall = nullptr;
                desktop.userCopies(newerCopy());
            };
        }
        loop.advance(1ms);
        EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::dispatchedUnverified});
        EXPECT_EQ(clipboard(), c.expected);
        EXPECT_FALSE(paster->hasPendingPaste());
    }
}

TEST_F(ClipboardPasterTest, AnApplicationThatPastesLateIsSeenAtALaterTick) {
    desktop.setPasteResponse(host.pid, SimPasteResponse{.delay = 100ms});
    PasteOutcome outcome;
    const auto startedAt = loop.now();
    ASSERT_EQ(start(*paster, "!", outcome), ClipboardPasteStartResult::posted);
    loop.advance(99ms);
    EXPECT_EQ(fieldValue(), "hello");
    EXPECT_TRUE(outcome.reports.empty());

    loop.advance(51ms);  // the 150 ms tick
    EXPECT_EQ(fieldValue(), "hello!");
    EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::insertedVerified});
    EXPECT_EQ(loop.now() - startedAt, 150ms);
    EXPECT_EQ(clipboard(), userClipboard());
}

struct FailurePath {
    std::string name;
    bool emptyClipboard = false;
    std::function<void(SimDesktop&)> setUp;
    // Answers of the target check, in order.
    std::vector<ClipboardTargetValidation> validations;
    ClipboardPasteStartResult expected;
    std::optional<ClipboardPreparationFailure> failure;
};

TEST_F(ClipboardPasterTest, EveryFailurePathGivesTheClipboardBackByteForByte) {
    using V = ClipboardTargetValidation;
    const std::vector<FailurePath> paths{
        {"target not frontmost",
         false,
         [](SimDesktop& desktop) {
             desktop.launch(SimProcessSetup{.pid = 777});
             desktop.setFrontmost(777);
         },
         {V::exact, V::exact},
         ClipboardPasteStartResult::unavailable,
         ClipboardPreparationFailure::postCommandRejected},
        {"target not frontmost, empty clipboard",
         true,
         [](SimDesktop& desktop) {
             desktop.launch(SimProcessSetup{.pid = 777});
             desktop.setFrontmost(777);
         },
         {V::exact, V::exact},
         ClipboardPasteStartResult::unavailable,
         ClipboardPreparationFailure::postCommandRejected},
        {"write fails",
         false,
         [](SimDesktop& desktop) {
             desktop.addPasteboardFault(SimPasteboardFault{.operation = SimPasteboardOperation::write});
         },
         {V::exact},
         ClipboardPasteStartResult::unavailable,
         ClipboardPreparationFailure::writeFailed},
        {"no event source",
         false,
         [](SimDesktop& desktop) { desktop.addEventFault(SimEventFault{.operation = SimEventOperation::makeSource}); },
         {V::exact, V::exact},
         ClipboardPasteStartResult::unavailable,
         ClipboardPreparationFailure::postCommandRejected},
        {"no key event",
         false,
         [](SimDesktop& desktop) { desktop.addEventFault(SimEventFault{.operation = SimEventOperation::makeEvent}); },
         {V::exact, V::exact},
         ClipboardPasteStartResult::unavailable,
         ClipboardPreparationFailure::postCommandRejected},
        {"target changed before the command",
         false,
         nullptr,
         {V::exact, V::changed},
         ClipboardPasteStartResult::changed,
         std::nullopt},
        {"target unconfirmable before the command",
         false,
         nullptr,
         {V::exact, V::transient},
         ClipboardPasteStartResult::transient,
         std::nullopt},
        {"target changed before the write",
         false,
         nullptr,
         {V::changed},
         ClipboardPasteStartResult::changed,
         std::nullopt},
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path.name);
        const auto original = path.emptyClipboard ? std::vector<PasteboardItem>{} : userClipboard();
        host = launchEditor();
        desktop.userCopies(original);
        desktop.model().eventPosting.faults.clear();
        desktop.model().pasteboard.faults.clear();
        if (path.setUp) path.setUp(desktop);

        std::size_t checks = 0;
        auto validate = [&] { return path.validations.at(std::min(checks++, path.validations.size() - 1)); };
        PasteOutcome outcome;
        EXPECT_EQ(start(*paster, " world", outcome, validate), path.expected);
        EXPECT_EQ(lastPreparationFailure, path.failure);
        EXPECT_EQ(checks, path.validations.size());
        EXPECT_EQ(clipboard(), original);
        EXPECT_TRUE(desktop.postedEvents().empty());
        loop.advance(2s);
        EXPECT_TRUE(outcome.reports.empty());
        EXPECT_TRUE(outcome.dispatches.empty());
        EXPECT_EQ(clipboard(), original);
    }
}

TEST_F(ClipboardPasterTest, AClipboardThatCannotBeReadIsNeverTakenForAnEmptyOne) {
    struct Case {
        std::string name;
        SimPasteboardFault fault;
        ClipboardPasteStartResult expected;
    };
    const std::vector<Case> cases{
        {"unreadable", SimPasteboardFault{.operation = SimPasteboardOperation::readItems, .remaining = -1},
         ClipboardPasteStartResult::unavailable},
        {"a representation that never materialises",
         SimPasteboardFault{.operation = SimPasteboardOperation::readData, .type = "public.png", .remaining = -1},
         ClipboardPasteStartResult::unavailable},
        // Two failed reads, the third of three attempts succeeds.
        {"unreadable twice", SimPasteboardFault{.operation = SimPasteboardOperation::readItems, .remaining = 2},
         ClipboardPasteStartResult::posted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.model().pasteboard.faults = {c.fault};
        desktop.model().pasteboard.calls.clear();
        const auto changeCount = desktop.model().pasteboard.changeCount;
        PasteOutcome outcome;
        EXPECT_EQ(start(*paster, " world", outcome), c.expected);
        if (c.expected == ClipboardPasteStartResult::unavailable) {
            EXPECT_EQ(lastPreparationFailure, ClipboardPreparationFailure::snapshotUnavailable);
            // Untouched: never cleared, never written.
            for (auto operation : pasteboardOperations()) {
                EXPECT_NE(operation, SimPasteboardOperation::clear);
                EXPECT_NE(operation, SimPasteboardOperation::write);
            }
            EXPECT_EQ(desktop.model().pasteboard.changeCount, changeCount);
        }
        loop.advance(2s);
        EXPECT_EQ(clipboard(), userClipboard());
    }
}

TEST_F(ClipboardPasterTest, AUserCopyBetweenSnapshotAndWriteIsNeverOverwritten) {
    PasteOutcome outcome;
    auto copyWhileChecking = [this] {
        desktop.userCopies(newerCopy());
        return ClipboardTargetValidation::exact;
    };
    EXPECT_EQ(start(*paster, " world", outcome, copyWhileChecking), ClipboardPasteStartResult::transient);
    EXPECT_EQ(clipboard(), newerCopy());
    EXPECT_TRUE(desktop.postedEvents().empty());

    // A copy while the snapshot is being read makes the snapshot retry and
    // take the newer content.
    desktop.userCopies(userClipboard());
    bool copied = false;
    desktop.model().pasteboard.afterCall = [&](const SimPasteboardCall& call) {
        if (call.operation == SimPasteboardOperation::readData && !copied) {
            copied = true;
            desktop.userCopies(newerCopy());
        }
    };
    EXPECT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::posted);
    desktop.model().pasteboard.afterCall = nullptr;
    loop.advance(25ms);
    EXPECT_EQ(clipboard(), newerCopy());
}

TEST_F(ClipboardPasterTest, AUserCopyDuringObservationEndsThePasteWithoutTouchingTheClipboard) {
    struct Case {
        std::string name;
        Duration copyAfter;
        bool arrives;
        ClipboardUnverifiedReport expected;
    };
    const std::vector<Case> cases{
        {"copy before the text is seen", 10ms, true, ClipboardUnverifiedReport::insertedVerified},
        {"copy while nothing arrives", 50ms, false, ClipboardUnverifiedReport::dispatchedUnverified},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.userCopies(userClipboard());
        PasteOutcome outcome;
        ASSERT_EQ(start(*paster, " world", outcome, nullptr, [arrives = c.arrives] { return arrives; }),
                  ClipboardPasteStartResult::posted);
        desktop.userCopiesAfter(c.copyAfter, newerCopy());
        loop.advance(2s);
        EXPECT_EQ(outcome.reports, std::vector{c.expected});
        EXPECT_EQ(clipboard(), newerCopy());
    }
}

TEST_F(ClipboardPasterTest, AnApplicationThatWritesTheClipboardOnPasteKeepsWhatItWrote) {
    desktop.setPasteResponse(host.pid, SimPasteResponse{.overwritesPasteboard = newerCopy()});
    PasteOutcome outcome;
    ASSERT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::posted);
    loop.advance(2s);
    EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::insertedVerified});
    EXPECT_EQ(clipboard(), newerCopy());
}

TEST_F(ClipboardPasterTest, ANewPasteEndsThePendingOneFirst) {
    desktop.setPasteResponse(host.pid, SimPasteResponse{.insertion = SimPasteInsertion::never});
    PasteOutcome first;
    ASSERT_EQ(start(*paster, " first", first), ClipboardPasteStartResult::posted);
    loop.advance(10ms);

    // An empty text is refused before anything else and leaves it pending.
    PasteOutcome refused;
    EXPECT_EQ(start(*paster, "", refused), ClipboardPasteStartResult::unavailable);
    EXPECT_EQ(lastPreparationFailure, ClipboardPreparationFailure::emptyText);
    EXPECT_TRUE(first.reports.empty());
    EXPECT_TRUE(paster->hasPendingPaste());

    desktop.setPasteResponse(host.pid, SimPasteResponse{});
    PasteOutcome second;
    ASSERT_EQ(start(*paster, " second", second), ClipboardPasteStartResult::posted);
    EXPECT_EQ(first.reports, std::vector{ClipboardUnverifiedReport::dispatchedUnverified});

    loop.advance(2s);
    EXPECT_EQ(first.reports.size(), 1u);
    EXPECT_EQ(second.reports, std::vector{ClipboardUnverifiedReport::insertedVerified});
    // The second snapshot was taken after the first gave the clipboard back.
    EXPECT_EQ(clipboard(), userClipboard());
}

TEST_F(ClipboardPasterTest, ANegativeRestoreDelaySettlesAtOnce) {
    auto immediate = ClipboardPaster::create(ClipboardPasterPorts{.loop = loop,
                                                                  .pasteboard = desktop.pasteboard(),
                                                                  .eventPoster = desktop.eventPoster(),
                                                                  .workspace = desktop.workspace(),
                                                                  .ids = ids},
                                             ClipboardPasterOptions{.restoreDelay = -1s});
    EXPECT_EQ(immediate->restoreDelay(), 0s);
    EXPECT_TRUE(immediate->observationDelays().empty());
    EXPECT_EQ(paster->observationDelays(), (std::vector<Duration>{25ms, 75ms, 150ms, 300ms, 600ms}));

    PasteOutcome outcome;
    ASSERT_EQ(start(*immediate, " world", outcome, nullptr, [] { return false; }), ClipboardPasteStartResult::posted);
    loop.runUntilIdle();
    EXPECT_EQ(outcome.reports, std::vector{ClipboardUnverifiedReport::dispatchedUnverified});
    EXPECT_EQ(clipboard(), std::vector{PasteboardItem::plainText(" world")});
}

TEST_F(ClipboardPasterTest, APasterReleasedMidPasteGivesTheClipboardBackOnlyIfItStillOwnsIt) {
    for (const bool userCopied : {false, true}) {
        SCOPED_TRACE(userCopied ? "user copied meanwhile" : "still owned");
        desktop.userCopies(userClipboard());
        auto shortLived = ClipboardPaster::create(ClipboardPasterPorts{.loop = loop,
                                                                       .pasteboard = desktop.pasteboard(),
                                                                       .eventPoster = desktop.eventPoster(),
                                                                       .workspace = desktop.workspace(),
                                                                       .ids = ids});
        PasteOutcome outcome;
        ASSERT_EQ(start(*shortLived, " world", outcome, nullptr, [] { return false; }),
                  ClipboardPasteStartResult::posted);
        if (userCopied) desktop.userCopies(newerCopy());
        shortLived.reset();
        EXPECT_EQ(clipboard(), userCopied ? newerCopy() : userClipboard());
        loop.advance(2s);
        EXPECT_TRUE(outcome.reports.empty());
        EXPECT_EQ(clipboard(), userCopied ? newerCopy() : userClipboard());
    }
}

TEST_F(ClipboardPasterTest, WithoutEventAccessNothingIsTouched) {
    desktop.model().eventPosting.postAccess = false;
    PasteOutcome outcome;
    EXPECT_EQ(start(*paster, " world", outcome), ClipboardPasteStartResult::unavailable);
    EXPECT_EQ(lastPreparationFailure, ClipboardPreparationFailure::eventAccessDenied);
    EXPECT_TRUE(desktop.model().pasteboard.calls.empty());
}

TEST(ClipboardPreparationFailureTest, CodesRoundTripAndNothingElseParses) {
    for (auto failure : {ClipboardPreparationFailure::emptyText, ClipboardPreparationFailure::eventAccessDenied,
                         ClipboardPreparationFailure::snapshotUnavailable, ClipboardPreparationFailure::writeFailed,
                         ClipboardPreparationFailure::postCommandRejected}) {
        EXPECT_EQ(clipboardPreparationFailureFromRawValue(rawValue(failure)), failure);
    }
    EXPECT_EQ(rawValue(ClipboardPreparationFailure::eventAccessDenied), "event_post_access_denied");
    EXPECT_FALSE(clipboardPreparationFailureFromRawValue("Empty_text"));
    EXPECT_FALSE(clipboardPreparationFailureFromRawValue(""));
}

TEST(PasteboardCaptureRetryPolicyTest, RetriesOnlyFailedAttemptsWithinTheLimit) {
    EXPECT_TRUE(PasteboardCaptureRetryPolicy::shouldRetry(true, false, 0, 3));
    EXPECT_TRUE(PasteboardCaptureRetryPolicy::shouldRetry(false, true, 1, 3));
    EXPECT_FALSE(PasteboardCaptureRetryPolicy::shouldRetry(true, true, 2, 3));
    EXPECT_FALSE(PasteboardCaptureRetryPolicy::shouldRetry(false, false, 0, 3));
    EXPECT_FALSE(PasteboardCaptureRetryPolicy::shouldRetry(true, true, -1, 3));
    EXPECT_FALSE(PasteboardCaptureRetryPolicy::shouldRetry(true, true, 0, 0));
}

}  // namespace
}  // namespace murmo::testing
