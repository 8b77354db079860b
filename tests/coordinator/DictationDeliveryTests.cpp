// Where the final text goes, what the user sees and hears, and the one report
// to the engine.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

class DictationDeliveryTest : public DictationOperationTest {
protected:
    // The engine's report of the latest operation's delivery.
    json::Json report() const {
        const auto target = "/api/v1/dictations/" + operationID() + "/delivery-result";
        for (const auto& request : world.transport->requests()) {
            if (request.url.target() == target) return json::parse(request.body.value_or("")).value_or(json::Json());
        }
        return {};
    }
    void expectReport(std::string_view outcome, std::string_view method, std::string_view reason, bool verified) {
        const auto body = report();
        EXPECT_EQ(body.value("outcome", ""), outcome);
        EXPECT_EQ(body.value("method", ""), method);
        EXPECT_EQ(body.value("reason_code", "?"), reason);
        EXPECT_EQ(body.value("verified", !verified), verified);
        EXPECT_EQ(count(dictationPath("delivery-result")), 1u);
    }
    void finalText(const std::string& text) {
        answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":")" + text + R"("})");
    }
    // A failed delivery: the error cue, the words on offer, the clipboard and
    // the field untouched, and nothing left open.
    void expectOfferedNotWritten() {
        EXPECT_EQ(errorCues(), 1u);
        EXPECT_EQ(hudKind(), HUDMode::Kind::clipboard);
        EXPECT_EQ(fieldText(), "");
        EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());
        EXPECT_TRUE(coordinator->isIdle());
    }
};

TEST_F(DictationDeliveryTest, TheCapturedFieldGetsThePasteAndTheClipboardComesBack) {
    dictateAndRelease();
    finalText("into the field");
    loop.advance(300ms);
    EXPECT_EQ(hudKind(), HUDMode::Kind::success) << "success shows at the paste keystroke";
    EXPECT_TRUE(coordinator->isIdle()) << "the next dictation may start while the paste is verified";
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "into the field");
    EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());
    expectReport("inserted", "clipboard_paste", "", true);
    EXPECT_EQ(cuesPlayed("dictation-success"), 1u);
}

TEST_F(DictationDeliveryTest, AClickBetweenReleaseAndFinalLeavesTheTextOnOffer) {
    dictateAndRelease();
    world.desktop.userClicks();
    finalText("not here");
    loop.advance(2s);
    expectReport("target_changed", "none", report().value("reason_code", ""), false);
    EXPECT_FALSE(report().value("reason_code", "").empty());
    expectOfferedNotWritten();
    loop.advance(4s);
    EXPECT_NE(hudKind(), HUDMode::Kind::clipboard) << "the offer hides after four seconds";
}

TEST_F(DictationDeliveryTest, AFieldThatCannotTakeTextIsReportedByItsCaptureFailure) {
    const struct {
        const char* what;
        SimElementSetup element;
        std::string outcome;
        std::string reason;
    } rows[] = {
        {"secure field",
         SimElementSetup{.role = "AXTextField", .subrole = "AXSecureTextField", .selectedRange = AXTextRange{0, 0}},
         "secure_field", "secure_field"},
        {"not editable", SimElementSetup{.role = "AXButton"}, "no_editable_target", "selected_text_not_settable"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        world.desktop.setFocusedElement(kEditorPID, world.desktop.addElement(editor.window, row.element));
        const auto errors = errorCues();
        dictateAndRelease();
        finalText("nowhere to go");
        expectReport(row.outcome, "none", row.reason, false);
        EXPECT_EQ(errorCues() - errors, 1u);
        EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());
        EXPECT_TRUE(coordinator->isIdle());
        answerBackground();
    }
}

TEST_F(DictationDeliveryTest, AFinalDuringTheReleaseCaptureWaitsForTheOneShortRetry) {
    dictateAndReleaseWithoutFocusedField();
    finalText("arrives early");
    EXPECT_FALSE(coordinator->isIdle()) << "held for the retry";
    world.desktop.setFocusedElement(kEditorPID, editor.field);
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "arrives early");
    expectReport("inserted", "clipboard_paste", "", true);
    EXPECT_EQ(errorCues(), 0u);
}

TEST_F(DictationDeliveryTest, WithoutAFocusedFieldTheTextGoesToTheHostsCurrentFocus) {
    dictateAndReleaseWithoutFocusedField();
    loop.advance(1s);  // the release capture gives up
    finalText("wherever the focus is");
    loop.advance(2s);
    EXPECT_TRUE(
        logged("Using current-focus compatibility delivery host_pid=4242 app=local.test.notes "
               "trigger=accessibility_tree_not_ready"));
    // Nothing confirms the paste landed, so the text stays on the clipboard
    // for the user to paste by hand.
    expectReport("inserted", "clipboard_paste", "delivery_dispatched_unobservable", false);
    EXPECT_EQ(world.desktop.pasteboardItems(),
              std::vector<PasteboardItem>{PasteboardItem::plainText("wherever the focus is")});
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationDeliveryTest, TheApplicationsOwnEditorTakesTheTextThroughThePage) {
    std::vector<std::string> calls;
    coordinator->reserveInternalDictation = [&](const std::string& id) { calls.push_back("reserve " + id); };
    coordinator->cancelInternalDictation = [&](const std::string& id) { calls.push_back("cancel " + id); };
    coordinator->deliverInternalDictation = [&](const std::string& id, const std::string& text,
                                                std::function<void(bool)> done) {
        calls.push_back("deliver " + id + " " + text);
        done(true);
    };
    world.desktop.launch(SimProcessSetup{.pid = world.desktop.model().ownPID,
                                         .application = SimApplicationInfo{.bundleIdentifier = "local.murmo"}});
    world.desktop.setFrontmost(world.desktop.model().ownPID);

    dictateAndRelease();
    const auto id = operationID();
    finalText("for the page");
    // The press reserves the page, the release reserves it afresh, and the
    // operation's end lets go of it.
    EXPECT_THAT(calls, ::testing::ElementsAre("reserve " + id, "cancel " + id, "reserve " + id,
                                              "deliver " + id + " for the page", "cancel " + id));
    expectReport("inserted", "internal_editor", "", true);
    EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());

    // The editor is left before the text arrives: the page is told to let go.
    calls.clear();
    dictateAndRelease();
    world.desktop.setFrontmost(kEditorPID);
    finalText("too late for the page");
    EXPECT_THAT(calls.back(), "cancel " + operationID());
    expectReport("target_changed", "none", "internal_host_changed", false);

    // Without the page's delivery there is no target at all.
    coordinator->deliverInternalDictation = nullptr;
    world.desktop.setFrontmost(world.desktop.model().ownPID);
    dictateAndRelease();
    finalText("no page");
    expectReport("no_editable_target", "none", "no_target_snapshot", false);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationDeliveryTest, LiveWritingTypesAsTheTranscriptGrowsAndTheFinalOnlyCompletesIt) {
    loop.advance(2s);
    answerAll("GET /api/settings", 200, settingsBody(R"("fast_mode_enabled":true,"live_dictation_enabled":true)"));
    answerBackground();
    press();
    acceptStart();
    speak();
    pushEvent("dictation.live_commit", R"({"text":"typed as"})");
    EXPECT_EQ(fieldText(), "typed as");
    release();
    acknowledgeAudioEnd();
    finalText("typed as spoken");
    EXPECT_EQ(fieldText(), "typed as spoken");
    expectReport("inserted", "accessibility", "", true);
    EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationDeliveryTest, AFinalEventAndTheReleaseReplyDeliverOnce) {
    dictateAndRelease();
    pushEvent("dictation.final", R"({"text":"only once"})");
    finalText("only once");
    pushEvent("dictation.state_changed", R"({"phase":"idle","final_text":"only once"})");
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "only once");
    EXPECT_EQ(count(dictationPath("delivery-result")), 1u);
    EXPECT_EQ(cuesPlayed("dictation-success"), 1u);
    EXPECT_FALSE(logged("only once"));
}

}  // namespace
}  // namespace murmo::testing
