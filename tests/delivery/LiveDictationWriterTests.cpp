#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FocusDesktopFixture.h"
#include "delivery/LiveDictationWriter.h"
#include "runtime/Unicode.h"

namespace murmo::testing {
namespace {

enum class Backend { accessibility, keyboard };

std::string backendName(Backend backend) { return backend == Backend::accessibility ? "accessibility" : "keyboard"; }

class LiveDictationWriterTest : public FocusDesktopTest {
protected:
    SimHost host;

    void SetUp() override { host = launchEditor(); }

    LiveDictationWriterPorts ports() {
        return LiveDictationWriterPorts{.loop = loop,
                                        .accessibility = desktop.accessibility(),
                                        .workspace = desktop.workspace(),
                                        .inputActivity = desktop.inputActivity(),
                                        .eventPoster = desktop.eventPoster(),
                                        .userInputWatch = desktop.userInputWatch(),
                                        .logSink = logs};
    }

    // An empty focused field; without accessibility write access the writer
    // has to type.
    std::shared_ptr<LiveDictationWriter> writerFor(Backend backend) {
        auto& field = desktop.element(host.field);
        field.value = "";
        field.selectedRange = AXTextRange{0, 0};
        field.selectedTextSettable = backend == Backend::accessibility;
        auto writer = LiveDictationWriter::capture(ports());
        EXPECT_TRUE(writer);
        if (writer) {
            EXPECT_EQ(writer->hasElement(), backend == Backend::accessibility);
        }
        return writer;
    }

    std::string fieldValue() { return desktop.element(host.field).value.value_or(""); }

    // The strings typed by key-downs, in order.
    std::vector<std::u16string> typedChunks() const {
        std::vector<std::u16string> chunks;
        for (const auto& posted : desktop.postedEvents()) {
            if (posted.event.keyDown) chunks.push_back(posted.event.unicodeString);
        }
        return chunks;
    }

    std::size_t accessibilityWrites() const {
        std::size_t writes = 0;
        for (const auto& call : desktop.axCalls()) {
            if (call.operation == SimAXOperation::setAttribute && call.attribute == axattr::selectedText) ++writes;
        }
        return writes;
    }
};

TEST_F(LiveDictationWriterTest, AGrowingTranscriptWritesOnlyWhatIsNew) {
    for (auto backend : {Backend::accessibility, Backend::keyboard}) {
        SCOPED_TRACE(backendName(backend));
        host = launchEditor();
        desktop.model().eventPosting = SimEventPostingState{};
        desktop.clearAXCalls();
        auto writer = writerFor(backend);
        ASSERT_TRUE(writer);

        EXPECT_TRUE(writer->append("Hel"));
        EXPECT_TRUE(writer->append("Hello"));
        // The same transcript again writes nothing.
        EXPECT_TRUE(writer->append("Hello"));
        loop.runUntilIdle();

        EXPECT_EQ(fieldValue(), "Hello");
        EXPECT_TRUE(writer->touched());
        EXPECT_FALSE(writer->paused());
        if (backend == Backend::keyboard) {
            EXPECT_EQ(typedChunks(), (std::vector<std::u16string>{u"Hel", u"lo"}));
            for (const auto& posted : desktop.postedEvents()) {
                EXPECT_EQ(posted.event.virtualKey, virtual_key::unicodeCarrier);
                EXPECT_EQ(posted.event.flags, 0u);
                EXPECT_EQ(posted.event.sourceUserData, kSyntheticEventUserDataMarker);
            }
        } else {
            EXPECT_EQ(accessibilityWrites(), 2u);
            EXPECT_TRUE(desktop.postedEvents().empty());
        }
    }
}

TEST_F(LiveDictationWriterTest, AModifierAddedToAWrittenEmojiIsWrittenToo) {
    for (auto backend : {Backend::accessibility, Backend::keyboard}) {
        SCOPED_TRACE(backendName(backend));
        host = launchEditor();
        desktop.model().eventPosting = SimEventPostingState{};
        auto writer = writerFor(backend);
        ASSERT_TRUE(writer);

        EXPECT_TRUE(writer->append("ok 👍"));
        // One character now, but the skin tone's code units are new.
        EXPECT_TRUE(writer->append("ok 👍🏽"));
        EXPECT_EQ(fieldValue(), "ok 👍🏽");
        EXPECT_FALSE(writer->paused());
        if (backend == Backend::keyboard) {
            EXPECT_EQ(typedChunks(), (std::vector<std::u16string>{u"ok 👍", u"🏽"}));
        }
    }
}

TEST_F(LiveDictationWriterTest, ARevisionPausesTheWriterAndDeletesNothing) {
    auto writer = writerFor(Backend::accessibility);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->append("Hello world"));

    EXPECT_FALSE(writer->append("Hello word"));
    EXPECT_TRUE(writer->paused());
    EXPECT_TRUE(logs->contains("Live writing paused reason=non_append_revision"));
    // Paused for good: a later extension of the written text is not written.
    EXPECT_FALSE(writer->append("Hello world again"));
    EXPECT_EQ(fieldValue(), "Hello world");
    EXPECT_EQ(accessibilityWrites(), 1u);
}

TEST_F(LiveDictationWriterTest, TypingRefusesControlCharactersAndSplitsLongTextIntoChunks) {
    auto writer = writerFor(Backend::keyboard);
    ASSERT_TRUE(writer);
    const std::string longText(45, 'a');
    ASSERT_TRUE(writer->append(longText));
    std::vector<std::size_t> sizes;
    for (const auto& chunk : typedChunks()) sizes.push_back(chunk.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{20, 20, 5}));
    EXPECT_EQ(fieldValue(), longText);

    // A newline could submit a form: nothing of it is typed.
    const auto postedBefore = desktop.postedEvents().size();
    EXPECT_FALSE(writer->append(longText + " next\nline"));
    EXPECT_TRUE(logs->contains("Live writing paused reason=keyboard_dispatch_failed"));
    EXPECT_EQ(desktop.postedEvents().size(), postedBefore);
    EXPECT_EQ(fieldValue(), longText);
}

TEST(LiveDictationWriterChunksTest, ChunksNeverSplitASurrogatePair) {
    struct Case {
        std::string name;
        std::u16string text;
        std::vector<std::size_t> sizes;
    };
    const std::u16string pair = u"😀";
    const std::vector<Case> cases{
        {"empty", u"", {}},
        {"exactly one chunk", std::u16string(20, u'a'), {20}},
        {"45 units", std::u16string(45, u'a'), {20, 20, 5}},
        {"pair across the boundary moves whole", std::u16string(19, u'a') + pair + u"b", {19, 3}},
        {"pair ending a chunk stays", std::u16string(18, u'a') + pair + u"b", {20, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto chunks = LiveDictationWriter::unicodeChunks(c.text);
        std::vector<std::size_t> sizes;
        std::u16string joined;
        for (const auto& chunk : chunks) {
            sizes.push_back(chunk.size());
            joined += chunk;
            EXPECT_TRUE(unicode::fromUTF16(chunk).has_value());
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(joined, c.text);
    }
}

TEST_F(LiveDictationWriterTest, TheUsersClickOrKeyPausesTheWriterItsOwnKeysDoNot) {
    for (auto input : {InputEventType::leftMouseDown, InputEventType::keyDown}) {
        SCOPED_TRACE(static_cast<int>(input));
        host = launchEditor();
        logs->clear();
        auto writer = writerFor(Backend::keyboard);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->append("typed by us"));
        loop.runUntilIdle();
        EXPECT_FALSE(writer->paused());

        desktop.deliverInputEvent(SimInputEvent{.type = input});
        loop.runUntilIdle();
        EXPECT_TRUE(writer->paused());
        EXPECT_TRUE(logs->contains("Live writing paused reason=user_input"));
        EXPECT_FALSE(writer->append("typed by us, more"));
    }

    // A stopped writer watches nothing more.
    host = launchEditor();
    auto stopped = writerFor(Backend::keyboard);
    ASSERT_TRUE(stopped);
    stopped->stop();
    desktop.userClicks();
    desktop.model().secureEventInput = true;
    loop.advance(1s);
    EXPECT_FALSE(stopped->paused());
}

TEST_F(LiveDictationWriterTest, AnAppendQueuedBehindTheUsersClickNeverTypesIntoTheFieldClickedInto) {
    struct Case {
        std::string name;
        // The click as the writer may learn of it.
        std::function<void()> click;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"the watch reports the click", [&] { desktop.userClicks(); }, "user_input"},
        // The counters move with the click itself; the watch's report may
        // still be on its way from another thread.
        {"the watch has not reported it yet", [&] { ++desktop.model().counters.leftMouseDown; }, "target_changed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        logs->clear();
        auto writer = writerFor(Backend::keyboard);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->append("Hello"));

        // The next transcript is already queued when the user clicks into a
        // second field of the same window.
        bool appended = true;
        loop.post([&] { appended = writer->append("Hello world"); });
        auto second = desktop.addElement(
            host.window, SimElementSetup{.role = "AXTextField", .value = "", .selectedRange = AXTextRange{0, 0}});
        desktop.setFocusedElement(host.pid, second);
        c.click();
        loop.runUntilIdle();

        EXPECT_FALSE(appended);
        EXPECT_TRUE(writer->paused());
        EXPECT_EQ(desktop.element(second).value.value_or("?"), "");
        EXPECT_EQ(fieldValue(), "Hello");
        EXPECT_TRUE(logs->contains("Live writing paused reason=" + c.reason));
    }
}

TEST_F(LiveDictationWriterTest, AnAppendWritesNothingOnceTheTargetNoLongerMatches) {
    struct Case {
        std::string name;
        Backend backend;
        std::function<void()> change;
    };
    auto focusAnotherField = [&] {
        auto other = desktop.addElement(
            host.window,
            SimElementSetup{
                .role = "AXTextField", .value = "", .selectedRange = AXTextRange{0, 0}, .selectedTextSettable = true});
        desktop.setFocusedElement(host.pid, other);
    };
    const std::vector<Case> cases{
        {"focus moved to another field", Backend::accessibility, focusAnotherField},
        {"caret moved inside the field", Backend::accessibility,
         [&] {
             desktop.element(host.field).selectedRange = AXTextRange{0, 0};
         }},
        {"another application in front", Backend::keyboard,
         [&] {
             desktop.launch(SimProcessSetup{.pid = 777});
             desktop.setFrontmost(777);
         }},
        {"another window in front", Backend::keyboard, [&] { desktop.addWindow(host.pid, 8); }},
        {"a password field has the focus", Backend::keyboard,
         [&] { desktop.element(host.field).subrole = "AXSecureTextField"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        logs->clear();
        desktop.model().eventPosting = SimEventPostingState{};
        desktop.clearAXCalls();
        auto writer = writerFor(c.backend);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->append("one"));
        // Before the focus watch's next look.
        c.change();

        EXPECT_FALSE(writer->append("one two"));
        EXPECT_TRUE(writer->paused());
        EXPECT_TRUE(logs->contains("Live writing paused reason=target_changed"));
        EXPECT_EQ(fieldValue(), "one");
        EXPECT_EQ(accessibilityWrites(), c.backend == Backend::accessibility ? 1u : 0u);
        EXPECT_EQ(typedChunks().size(), c.backend == Backend::keyboard ? 1u : 0u);
        // Paused for good: the same text does not count as written either.
        EXPECT_FALSE(writer->append("one two"));
    }
}

TEST_F(LiveDictationWriterTest, TypingStopsBetweenChunksOnceTheTargetNoLongerMatches) {
    struct Case {
        std::string name;
        std::function<void()> change;
    };
    const std::vector<Case> cases{
        {"another window comes to the front", [&] { desktop.addWindow(host.pid, 8); }},
        {"secure input comes on", [&] { desktop.model().secureEventInput = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        logs->clear();
        desktop.model().secureEventInput = false;
        desktop.model().eventPosting = SimEventPostingState{};
        auto writer = writerFor(Backend::keyboard);
        ASSERT_TRUE(writer);
        // The target changes as the first chunk lands.
        bool changed = false;
        auto monitor = desktop.userInputWatch().addGlobalMonitor([&](const UserInputEvent&) {
            if (!std::exchange(changed, true)) c.change();
        });

        EXPECT_FALSE(writer->append(std::string(45, 'a')));
        EXPECT_TRUE(writer->paused());
        EXPECT_TRUE(writer->touched());
        EXPECT_TRUE(logs->contains("Live writing paused reason=keyboard_dispatch_failed"));
        // What was typed stays typed; nothing more goes out.
        EXPECT_EQ(typedChunks(), std::vector<std::u16string>{std::u16string(20, u'a')});
        EXPECT_EQ(fieldValue(), std::string(20, 'a'));
    }
}

TEST_F(LiveDictationWriterTest, TheFocusWatchPausesWhenTheTargetNoLongerMatches) {
    struct Case {
        std::string name;
        Backend backend;
        std::function<void()> change;
    };
    const std::vector<Case> cases{
        {"secure input comes on", Backend::accessibility, [&] { desktop.model().secureEventInput = true; }},
        {"the field's text changes", Backend::accessibility,
         [&] { desktop.element(host.field).value = "edited elsewhere"; }},
        {"another window comes to the front", Backend::keyboard, [&] { desktop.addWindow(host.pid, 8); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        desktop.model().secureEventInput = false;
        logs->clear();
        auto writer = writerFor(c.backend);
        ASSERT_TRUE(writer);
        loop.advance(150ms);
        EXPECT_FALSE(writer->paused());
        c.change();
        loop.advance(150ms);
        EXPECT_TRUE(writer->paused());
        EXPECT_TRUE(logs->contains("Live writing paused reason=focus_changed"));
    }
}

TEST_F(LiveDictationWriterTest, AnAccessibilityWriteThatMovesTheCaretElsewhereIsUnverified) {
    auto writer = writerFor(Backend::accessibility);
    ASSERT_TRUE(writer);
    desktop.element(host.field).insertionLeavesCaretAtStart = true;
    EXPECT_FALSE(writer->append("x"));
    EXPECT_TRUE(writer->paused());
    EXPECT_TRUE(writer->touched());
    EXPECT_TRUE(logs->contains("Live writing paused reason=ax_write_unverified"));
}

TEST_F(LiveDictationWriterTest, NoWriterWhereNothingMayBeSafelyWritten) {
    struct Case {
        std::string name;
        std::function<void()> setUp;
    };
    auto focus = [&](SimElementSetup setup) {
        auto element = desktop.addElement(host.window, setup);
        desktop.setFocusedElement(host.pid, element);
    };
    const std::vector<Case> cases{
        {"password field",
         [&] {
             focus(SimElementSetup{.role = "AXTextField",
                                   .subrole = "AXSecureTextField",
                                   .value = "",
                                   .selectedRange = AXTextRange{0, 0},
                                   .selectedTextSettable = true});
         }},
        {"focused button", [&] { focus(SimElementSetup{.role = "AXButton"}); }},
        {"selection that typing would replace",
         [&] {
             focus(SimElementSetup{.role = "AXTextField", .value = "hello", .selectedRange = AXTextRange{0, 5}});
         }},
        {"secure input on", [&] { desktop.model().secureEventInput = true; }},
        {"no accessibility trust", [&] { desktop.model().accessibilityTrusted = false; }},
        {"this application in front",
         [&] {
             desktop.launch(SimProcessSetup{.pid = desktop.model().ownPID});
             desktop.setFrontmost(desktop.model().ownPID);
         }},
        {"no write access and no event posting",
         [&] {
             desktop.element(host.field).selectedTextSettable = false;
             desktop.model().eventPosting.postAccess = false;
         }},
        {"no write access and no front window",
         [&] {
             desktop.element(host.field).selectedTextSettable = false;
             desktop.model().windows.clear();
         }},
        {"no watch on the user's input, accessibility field", [&] { desktop.model().userInputWatchAvailable = false; }},
        {"no watch on the user's input, typing",
         [&] {
             desktop.element(host.field).selectedTextSettable = false;
             desktop.model().userInputWatchAvailable = false;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host = launchEditor();
        auto& model = desktop.model();
        model.secureEventInput = false;
        model.accessibilityTrusted = true;
        model.userInputWatchAvailable = true;
        model.eventPosting = SimEventPostingState{};
        c.setUp();
        EXPECT_FALSE(LiveDictationWriter::capture(ports()));
    }
}

}  // namespace
}  // namespace murmo::testing
