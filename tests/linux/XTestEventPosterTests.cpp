// Keys posted through XTest reach the focused X client: the paste chord as
// Control+V on any layout, typed text whole with characters the layout lacks,
// and never a key left held or a spare keycode left remapped.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "delivery/LiveDictationWriter.h"
#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "platform/KeyTap.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/XTestEventPoster.h"
#include "runtime/ManualLoop.h"
#include "runtime/Unicode.h"
#include "support/XTestClientProcess.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace murmo {
namespace {

using testing::XTestClientKeyEvent;
using testing::XTestClientProcess;

void setLayout(const std::string& arguments) {
    ASSERT_EQ(std::system(("setxkbmap " + arguments).c_str()), 0) << arguments;
}

// The events the clipboard paster posts for its chord.
void postPasteChord(EventPoster& poster, bool withKeyUp = true) {
    auto source = poster.makeEventSource();
    ASSERT_TRUE(source);
    auto keyDown = source->makeKeyboardEvent(virtual_key::v, true);
    auto keyUp = source->makeKeyboardEvent(virtual_key::v, false);
    ASSERT_TRUE(keyDown && keyUp);
    for (auto* event : {&*keyDown, &*keyUp}) {
        event->flags = key_event_flags::command;
        MurmoSyntheticKeyboardEventPolicy::mark(*event);
    }
    poster.post(*keyDown);
    if (withKeyUp) poster.post(*keyUp);
}

// The events the live dictation writer posts for a piece of text.
void postText(EventPoster& poster, const std::string& text) {
    auto source = poster.makeEventSource();
    ASSERT_TRUE(source);
    const auto units = unicode::toUTF16(text);
    ASSERT_TRUE(units);
    for (const auto& chunk : LiveDictationWriter::unicodeChunks(*units)) {
        auto keyDown = source->makeKeyboardEvent(virtual_key::unicodeCarrier, true);
        auto keyUp = source->makeKeyboardEvent(virtual_key::unicodeCarrier, false);
        ASSERT_TRUE(keyDown && keyUp);
        for (auto* event : {&*keyDown, &*keyUp}) {
            event->unicodeString = chunk;
            MurmoSyntheticKeyboardEventPolicy::mark(*event);
        }
        poster.post(*keyDown);
        poster.post(*keyUp);
    }
}

class XTestEventPosterTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto connected = X11Connection::open();
        ASSERT_TRUE(connected) << connected.error().message;
        connection = std::move(*connected);
    }

    // The next test in the same desktop starts from the default layout.
    void TearDown() override {
        poster.reset();
        setLayout("us");
    }

    void launchClient() {
        auto launched = XTestClientProcess::launch(MURMO_X_TEST_CLIENT_PATH);
        ASSERT_TRUE(launched) << launched.error().message;
        client = std::move(*launched);
    }

    void openPoster() {
        auto opened = XTestEventPoster::open(loop);
        ASSERT_TRUE(opened) << opened.error().message;
        poster = std::move(*opened);
    }

    std::vector<KeySym> keyboardMapping() {
        Display* display = connection->display();
        int minKeycode = 0;
        int maxKeycode = 0;
        XDisplayKeycodes(display, &minKeycode, &maxKeycode);
        int perKeycode = 0;
        KeySym* table =
            XGetKeyboardMapping(display, static_cast<KeyCode>(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
        std::vector<KeySym> mapping(table, table + (maxKeycode - minKeycode + 1) * perKeycode);
        XFree(table);
        return mapping;
    }

    // The first keycode whose unshifted keysym on the first group is `keysym`.
    unsigned firstKeycodeOf(KeySym keysym) {
        Display* display = connection->display();
        int minKeycode = 0;
        int maxKeycode = 0;
        XDisplayKeycodes(display, &minKeycode, &maxKeycode);
        const auto mapping = keyboardMapping();
        const auto perKeycode = mapping.size() / static_cast<std::size_t>(maxKeycode - minKeycode + 1);
        for (std::size_t index = 0; index < mapping.size(); index += perKeycode) {
            if (mapping[index] == keysym) return static_cast<unsigned>(minKeycode) + index / perKeycode;
        }
        return 0;
    }

    // The keycodes the server holds down now.
    std::vector<unsigned> keysDown() {
        char keys[32] = {};
        XQueryKeymap(connection->display(), keys);
        std::vector<unsigned> down;
        for (unsigned keycode = 0; keycode < 256; ++keycode) {
            if ((keys[keycode / 8] >> (keycode % 8)) & 1) down.push_back(keycode);
        }
        return down;
    }

    static std::string describe(const std::vector<XTestClientKeyEvent>& events) {
        std::string out;
        for (const auto& e : events) out += (e.press ? "+" : "-") + std::to_string(e.keycode) + ":" + e.keysym + " ";
        return out;
    }

    // Waits until the client has every key the poster has sent so far.
    bool receivedEverything() {
        return client->waitUntil([&](const std::vector<XTestClientKeyEvent>& events) {
            const auto presses =
                std::count_if(events.begin(), events.end(), [](const auto& event) { return event.press; });
            return static_cast<std::uint64_t>(presses) >= poster->keyPressCount() &&
                   events.size() == 2 * static_cast<std::size_t>(presses);
        });
    }

    // Lets each restore come once the client has what was typed before it,
    // as the restore delay does in real time (a restore before would garble
    // the keys), until nothing waits.
    void deliverPending() {
        for (int round = 0; round < 20 && poster->pendingCount() > 0; ++round) {
            ASSERT_TRUE(receivedEverything());
            loop.advance(XTestEventPoster::kRestoreDelay);
        }
        EXPECT_EQ(poster->pendingCount(), 0u);
        ASSERT_TRUE(receivedEverything());
    }

    bool waitForText(const std::string& text) {
        return client->waitUntil([&](const std::vector<XTestClientKeyEvent>& events) {
            std::string typed;
            for (const auto& event : events) typed += event.text;
            return typed.size() >= text.size();
        });
    }

    ManualLoop loop;
    std::unique_ptr<X11Connection> connection;
    std::unique_ptr<XTestClientProcess> client;
    std::unique_ptr<XTestEventPoster> poster;
};

TEST_F(XTestEventPosterTest, ThePasteChordArrivesAsControlVOnEveryLayout) {
    struct Case {
        const char* layout;
        // Whether the layout has a Latin "v" of its own.
        bool hasV;
    };
    // Dvorak moves "v" to another key; Russian has no Latin letters at all.
    for (const auto& [layout, hasV] :
         {Case{"us", true}, Case{"de", true}, Case{"us -variant dvorak", true}, Case{"ru", false}}) {
        SCOPED_TRACE(layout);
        setLayout(layout);
        launchClient();
        openPoster();
        const auto mappingBefore = keyboardMapping();

        postPasteChord(*poster);
        ASSERT_TRUE(client->waitForKeyEvents(4));
        const auto events = client->keyEvents();
        ASSERT_EQ(events.size(), 4u);
        EXPECT_TRUE(events[0].press);
        EXPECT_EQ(events[0].keysym, "Control_L");
        EXPECT_TRUE(events[1].press);
        EXPECT_EQ(events[1].keysym, "v");
        EXPECT_NE(events[1].state & ControlMask, 0u);
        if (hasV) {
            EXPECT_EQ(events[1].keycode, firstKeycodeOf(XK_v));
        }
        EXPECT_FALSE(events[2].press);
        EXPECT_EQ(events[2].keycode, events[1].keycode);
        EXPECT_FALSE(events[3].press);
        EXPECT_EQ(events[3].keycode, events[0].keycode);
        EXPECT_EQ(keysDown(), std::vector<unsigned>{});

        loop.advance(XTestEventPoster::kRestoreDelay);
        EXPECT_EQ(keyboardMapping(), mappingBefore);
        poster.reset();
        client.reset();
    }
}

TEST_F(XTestEventPosterTest, TextArrivesWholeAndTheSpareKeycodesAreRestoredAfterTheLastKey) {
    setLayout("us");
    launchClient();
    openPoster();
    const auto mappingBefore = keyboardMapping();
    // Layout characters (with and without Shift), Latin-1 and other
    // characters the layout lacks, an emoji, and one character twice.
    const std::string text = "Grüße, Zoë! ½ € ĳ 😀 \\ñ ñ";

    postText(*poster, text);
    deliverPending();
    ASSERT_TRUE(waitForText(text)) << client->typedText() << " " << describe(client->keyEvents());
    EXPECT_EQ(client->typedText(), text);
    EXPECT_EQ(keysDown(), std::vector<unsigned>{});
    EXPECT_NE(keyboardMapping(), mappingBefore) << "restored before the clients could look the keys up";

    loop.advance(XTestEventPoster::kRestoreDelay);
    EXPECT_EQ(keyboardMapping(), mappingBefore);
}

TEST_F(XTestEventPosterTest, TextNeedingMoreSpareKeycodesThanExistWaitsForEachRestoreAndKeepsItsOrder) {
    setLayout("us");
    launchClient();
    openPoster();
    const auto mappingBefore = keyboardMapping();
    // More distinct characters outside the layout than any keymap has spare
    // keycodes for, then a paste chord that must come after all of them.
    std::string text;
    for (char32_t letter = U'α'; letter <= U'ω'; ++letter) text += unicode::encodeUTF8(letter);
    for (char32_t letter = U'а'; letter <= U'я'; ++letter) text += unicode::encodeUTF8(letter);

    postText(*poster, text);
    postPasteChord(*poster);
    EXPECT_GT(poster->pendingCount(), 0u);
    deliverPending();
    const auto events = client->keyEvents();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[events.size() - 4].keysym, "Control_L");
    EXPECT_EQ(events[events.size() - 3].keysym, "v");
    EXPECT_EQ(events.back().keysym, "Control_L");
    EXPECT_EQ(client->typedText().substr(0, text.size()), text);
    loop.advance(XTestEventPoster::kRestoreDelay);
    EXPECT_EQ(keyboardMapping(), mappingBefore);
}

TEST_F(XTestEventPosterTest, APosterThatGoesAwayMidChordReleasesWhatItHeldAndRestoresTheKeymap) {
    setLayout("ru");
    launchClient();
    openPoster();
    const auto mappingBefore = keyboardMapping();

    postPasteChord(*poster, /*withKeyUp=*/false);
    poster.reset();
    ASSERT_TRUE(client->waitForKeyEvents(4));
    const auto events = client->keyEvents();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const auto& event) { return event.press; }),
              std::count_if(events.begin(), events.end(), [](const auto& event) { return !event.press; }));
    EXPECT_EQ(keysDown(), std::vector<unsigned>{});
    EXPECT_EQ(keyboardMapping(), mappingBefore);
}

TEST_F(XTestEventPosterTest, OnlyThePasteKeyAndTheTextCarrierAreMade) {
    openPoster();
    EXPECT_TRUE(poster->preflightPostEventAccess());
    EXPECT_TRUE(poster->requestPostEventAccess());
    auto source = poster->makeEventSource();
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->makeKeyboardEvent(virtual_key::v, true));
    EXPECT_TRUE(source->makeKeyboardEvent(virtual_key::unicodeCarrier, false));
    EXPECT_FALSE(source->makeKeyboardEvent(36, true));
}

}  // namespace
}  // namespace murmo
