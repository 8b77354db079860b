#include "shell/bridges/NativeSelectionBridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Bridge = NativeSelectionBridge;
using testing::frameAt;

constexpr std::int32_t kEditorPID = 700;
constexpr std::string_view kEnglishRejection = "The Dorvex selection request was rejected.";
constexpr std::string_view kTurkishRejection = "Dorvex seçim isteği reddedildi.";
constexpr std::string_view kRead = R"({"action":"read"})";

const WebFrameInfo kEngineFrame = frameAt("http://localhost:8765/");

std::string repeated(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

json::Json refusal(std::string_view status, std::string_view reason) {
    return json::Json{
        {"available", false}, {"status", status}, {"reason", reason}, {"source", "native_macos_ax_selected_text"}};
}

json::Json available(std::string_view text, std::string_view application = "Editor") {
    return json::Json{{"available", true},
                      {"status", "available"},
                      {"text", text},
                      {"source", "native_macos_ax_selected_text"},
                      {"application", application}};
}

std::set<std::string> keysOf(const json::Json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
}

// A desktop with this application, an editor whose text field holds "hello
// world" with "hello" selected, and the bridge on a web view. Pauses the
// bridge takes spend the desktop's virtual time. The bridge answers before
// postMessage returns, so its messages are sent without running the loop.
struct SelectionWorld : testing::AnsweringBridgePage<Bridge> {
    SimDesktop desktop{loop};
    std::vector<std::string> preferredLanguages{"en-US"};
    std::shared_ptr<Bridge> bridge;
    SimElementID field = 0;

    SelectionWorld() : AnsweringBridgePage(kEngineFrame) {
        desktop.launch(
            {.pid = desktop.model().ownPID,
             .application = SimApplicationInfo{.bundleIdentifier = "local.murmo.dev", .localizedName = "Murmo"}});
        field = launchEditor(kEditorPID, "com.example.editor");
        bridge = Bridge::create({.reader = {.accessibility = desktop.accessibility(),
                                            .workspace = desktop.workspace(),
                                            .processInfo = desktop.processInfo(),
                                            .block = [this](Duration pause) { desktop.spend(pause); }},
                                 .preferredLanguages = [this] { return preferredLanguages; }},
                                *URL::parse("http://localhost:8765"), NativeAppLanguage::system);
        view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler());
    }

    SimElementID launchEditor(std::int32_t pid, std::optional<std::string> bundleIdentifier,
                              std::uint64_t startSeconds = 1'000) {
        desktop.launch({.pid = pid,
                        .startSeconds = startSeconds,
                        .application = SimApplicationInfo{.bundleIdentifier = std::move(bundleIdentifier),
                                                          .localizedName = "Editor"}});
        const auto window = desktop.addWindow(pid);
        const auto element = desktop.addElement(
            window, {.role = "AXTextArea", .value = "hello world", .selectedRange = AXTextRange{0, 5}});
        desktop.setFocusedWindow(pid, window);
        desktop.setFocusedElement(pid, element);
        return element;
    }

    // The application comes to the front, as the workspace tells the bridge.
    void activate(std::int32_t pid) {
        desktop.setFrontmost(pid);
        bridge->rememberExternalApplication(*desktop.workspace().runningApplication(pid));
    }

    void select(std::string value, AXTextRange range) {
        auto& element = desktop.element(field);
        element.value = std::move(value);
        element.selectedRange = range;
    }

    json::Json read() { return payloadOf(replyTo(send(kRead))); }

    std::vector<SimAXCall> callsTo(std::string_view attribute) const {
        std::vector<SimAXCall> calls;
        for (const auto& call : desktop.axCalls()) {
            if (call.attribute == attribute) calls.push_back(call);
        }
        return calls;
    }
};

TEST(NativeSelectionBridgeTest, AnswersTheSelectionOfTheRememberedApplicationInsideTheCallback) {
    SelectionWorld world;
    world.activate(kEditorPID);
    const auto payload = world.read();
    EXPECT_EQ(payload, available("hello"));
    EXPECT_EQ(keysOf(payload), (std::set<std::string>{"application", "available", "source", "status", "text"}));
    EXPECT_EQ(payload["source"].get<std::string>(), "native_macos_ax_selected_text");
    EXPECT_EQ(world.desktop.element(world.field).selectedRange, (AXTextRange{0, 5})) << "the selection is left alone";
    EXPECT_FALSE(world.desktop.axCalls().empty());
    for (const auto& call : world.desktop.axCalls()) {
        EXPECT_EQ(call.timeout, 0.2f) << call.attribute;
        EXPECT_NE(call.operation, SimAXOperation::setAttribute) << call.attribute;
    }
}

TEST(NativeSelectionBridgeTest, ARefusalCarriesExactlyItsFourKeys) {
    SelectionWorld world;
    const auto payload = world.read();
    EXPECT_EQ(payload, refusal("unavailable", "previous_application_unavailable"));
    EXPECT_EQ(keysOf(payload), (std::set<std::string>{"available", "reason", "source", "status"}));
}

TEST(NativeSelectionBridgeTest, ChecksTheStatusTableInOrder) {
    // Each row also breaks every later check, so only the order gives its
    // answer.
    const struct {
        const char* why;
        std::function<void(SelectionWorld&)> arrange;
        json::Json expected;
    } rows[] = {
        {"not trusted, remembered password manager gone",
         [](SelectionWorld& w) {
             w.launchEditor(710, "com.bitwarden.desktop");
             w.activate(710);
             w.desktop.terminate(710);
             w.desktop.model().accessibilityTrusted = false;
         },
         refusal("denied", "accessibility_permission_missing")},
        {"nothing remembered", [](SelectionWorld&) {}, refusal("unavailable", "previous_application_unavailable")},
        {"remembered password manager quit",
         [](SelectionWorld& w) {
             w.launchEditor(710, "com.bitwarden.desktop");
             w.activate(710);
             w.desktop.terminate(710);
         },
         refusal("unavailable", "previous_application_unavailable")},
        {"password manager without a focused element",
         [](SelectionWorld& w) {
             w.launchEditor(710, "com.bitwarden.desktop");
             w.desktop.setFocusedElement(710, std::nullopt);
             w.activate(710);
         },
         refusal("denied", "sensitive_app")},
        {"no focused element",
         [](SelectionWorld& w) {
             w.desktop.setFocusedElement(kEditorPID, std::nullopt);
             w.activate(kEditorPID);
         },
         refusal("unavailable", "no_focused_element")},
        {"secure field role with nothing selected",
         [](SelectionWorld& w) {
             w.desktop.element(w.field).role = "AXSecureTextField";
             w.select("", AXTextRange{0, 0});
             w.activate(kEditorPID);
         },
         refusal("denied", "secure_field_role")},
        {"secure field subrole with an unreadable selection",
         [](SelectionWorld& w) {
             w.desktop.element(w.field).subrole = "AXSecureTextField";
             w.desktop.element(w.field).selectedRange.reset();
             w.activate(kEditorPID);
         },
         refusal("denied", "secure_field_role")},
        {"selection unreadable",
         [](SelectionWorld& w) {
             w.desktop.element(w.field).selectedRange.reset();
             w.activate(kEditorPID);
         },
         refusal("unavailable", "selection_unavailable")},
        {"selected text not a string",
         [](SelectionWorld& w) {
             w.desktop.element(w.field).attributeOverrides.emplace(std::string(axattr::selectedText),
                                                                   AXAttributeValue(std::int64_t{5}));
             w.activate(kEditorPID);
         },
         refusal("unavailable", "selection_unavailable")},
        {"empty selection",
         [](SelectionWorld& w) {
             w.select("hello", AXTextRange{2, 0});
             w.activate(kEditorPID);
         },
         refusal("empty", "selection_empty")},
        {"too large",
         [](SelectionWorld& w) {
             w.select(repeated("x", 20'001), AXTextRange{0, 20'001});
             w.activate(kEditorPID);
         },
         refusal("too_large", "selection_too_large")},
        {"readable", [](SelectionWorld& w) { w.activate(kEditorPID); }, available("hello")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SelectionWorld world;
        row.arrange(world);
        EXPECT_EQ(world.read(), row.expected);
    }
}

TEST(NativeSelectionBridgeTest, APasswordManagerIsRefusedWithoutAnyAccessibilityCall) {
    const struct {
        const char* bundleIdentifier;
        bool sensitive;
    } rows[] = {
        {"com.BitWarden.desktop", true},   {"COM.BITWARDEN.DESKTOP", true},    {"com.1password.1password", true},
        {"org.keepassxc.KeePassXC", true}, {"com.apple.KeychainAccess", true}, {"com.example.warden", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bundleIdentifier);
        SelectionWorld world;
        world.launchEditor(710, row.bundleIdentifier);
        world.activate(710);
        world.desktop.clearAXCalls();
        if (row.sensitive) {
            EXPECT_EQ(world.read(), refusal("denied", "sensitive_app"));
            EXPECT_TRUE(world.desktop.axCalls().empty());
        } else {
            EXPECT_EQ(world.read(), available("hello"));
        }
    }
}

TEST(NativeSelectionBridgeTest, ALazyTreeIsAskedForOnceAndReadAgainAfterEachPause) {
    SelectionWorld world;
    auto& editor = world.desktop.process(kEditorPID);
    editor.hidesFocusUntilManualAccessibility = true;
    editor.manualAccessibilityResult = axerror::failure;  // the tree stays hidden
    world.activate(kEditorPID);
    const auto start = world.loop.now();

    EXPECT_EQ(world.read(), refusal("unavailable", "no_focused_element"));
    const auto reads = world.callsTo(axattr::focusedUIElement);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].startedAt - start, 0ms);
    EXPECT_EQ(reads[1].startedAt - start, 15ms);
    EXPECT_EQ(reads[2].startedAt - start, 50ms);
    for (const auto& read : reads) EXPECT_EQ(read.error, axerror::noValue);
    const auto requests = world.callsTo(axattr::manualAccessibility);
    ASSERT_EQ(requests.size(), 1u) << "asked once, after the first read only";
    EXPECT_EQ(requests[0].operation, SimAXOperation::setAttribute);
    EXPECT_EQ(requests[0].startedAt, reads[0].startedAt);
    EXPECT_EQ(requests[0].timeout, 0.2f);
}

TEST(NativeSelectionBridgeTest, TheFullTreeIsAskedForOnlyAfterALazyTreeFailure) {
    const struct {
        const char* why;
        AXError firstError;
        bool requested;
    } rows[] = {
        {"no value", axerror::noValue, true},
        {"attribute unsupported", axerror::attributeUnsupported, true},
        {"cannot complete", axerror::cannotComplete, false},
        {"failure", axerror::failure, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SelectionWorld world;
        world.desktop.addFault(
            {.pid = kEditorPID, .attribute = std::string(axattr::focusedUIElement), .error = row.firstError});
        world.activate(kEditorPID);
        const auto start = world.loop.now();
        EXPECT_EQ(world.read(), available("hello")) << "the second read finds the field";
        EXPECT_EQ(world.callsTo(axattr::manualAccessibility).size(), row.requested ? 1u : 0u);
        const auto reads = world.callsTo(axattr::focusedUIElement);
        ASSERT_EQ(reads.size(), 2u);
        EXPECT_EQ(reads[1].startedAt - start, 15ms);
    }
}

TEST(NativeSelectionBridgeTest, AHungApplicationCostsEachCallAtMostItsShortTimeOut) {
    SelectionWorld world;
    world.activate(kEditorPID);
    world.desktop.setMessageCost(kEditorPID, 10s);
    const auto start = world.loop.now();

    EXPECT_EQ(world.read(), refusal("unavailable", "no_focused_element"));
    const auto& calls = world.desktop.axCalls();
    ASSERT_EQ(calls.size(), 3u) << "a timed-out focus read is a failed read; no full-tree request follows it";
    for (const auto& call : calls) {
        EXPECT_EQ(call.timeout, 0.2f);
        EXPECT_EQ(call.error, axerror::cannotComplete);
        EXPECT_LE(call.cost, 201ms);
    }
    EXPECT_LT(world.loop.now() - start, 3 * 201ms + 50ms) << "three bounded reads and the two pauses";
}

TEST(NativeSelectionBridgeTest, ARoleOrTextThatDoesNotAnswerInTimeIsNotRead) {
    const struct {
        std::string_view attribute;
        json::Json expected;
    } rows[] = {
        {axattr::role, refusal("denied", "secure_field_role")},
        {axattr::subrole, refusal("denied", "secure_field_role")},
        {axattr::selectedText, refusal("unavailable", "selection_unavailable")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.attribute);
        SelectionWorld world;
        world.activate(kEditorPID);
        world.desktop.addFault(
            {.pid = kEditorPID, .attribute = std::string(row.attribute), .error = axerror::cannotComplete});
        EXPECT_EQ(world.read(), row.expected);
    }
}

TEST(NativeSelectionBridgeTest, AReusedPidIsNotTheRememberedApplication) {
    const struct {
        const char* why;
        std::function<void(SelectionWorld&)> afterRemembering;
        json::Json expected;
    } rows[] = {
        {"still running", [](SelectionWorld&) {}, available("hello")},
        {"quit", [](SelectionWorld& w) { w.desktop.terminate(kEditorPID); },
         refusal("unavailable", "previous_application_unavailable")},
        {"pid reused by a later application",
         [](SelectionWorld& w) {
             w.desktop.terminate(kEditorPID);
             w.launchEditor(kEditorPID, "com.example.other", 2'000);
         },
         refusal("unavailable", "previous_application_unavailable")},
        {"record no longer readable", [](SelectionWorld& w) { w.desktop.process(kEditorPID).recordReadable = false; },
         refusal("unavailable", "previous_application_unavailable")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SelectionWorld world;
        world.activate(kEditorPID);
        row.afterRemembering(world);
        world.desktop.clearAXCalls();
        const auto payload = world.read();
        EXPECT_EQ(payload, row.expected);
        if (payload["available"] == false) {
            EXPECT_TRUE(world.desktop.axCalls().empty());
        }
    }
}

TEST(NativeSelectionBridgeTest, TheLimitCountsCharactersAsTheUserSeesThem) {
    // "e" and a combining acute accent: one character, two UTF-16 units.
    const std::string accented = "e\xCC\x81";
    const struct {
        std::size_t characters;
        bool fits;
    } rows[] = {{20'000, true}, {20'001, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.characters);
        SelectionWorld world;
        const auto text = repeated(accented, row.characters);
        world.select(text, AXTextRange{0, static_cast<std::int64_t>(2 * row.characters)});
        world.activate(kEditorPID);
        EXPECT_EQ(world.read(), row.fits ? available(text) : refusal("too_large", "selection_too_large"));
    }
}

TEST(NativeSelectionBridgeTest, TheTextKeepsEveryNulCharacter) {
    SelectionWorld world;
    const std::string text("a\0b\0", 4);
    world.select("x " + text + " y", AXTextRange{2, 4});
    world.activate(kEditorPID);
    const auto payload = world.read();
    EXPECT_EQ(payload["text"].get<std::string>(), text);
}

TEST(NativeSelectionBridgeTest, RefusedMessagesAreRejectedInTheApplicationLanguageWithoutReading) {
    const struct {
        const char* why;
        std::optional<std::string_view> body;
        WebFrameInfo frame = kEngineFrame;
        std::string_view handlerName = Bridge::kHandlerName;
    } rows[] = {
        {"extra key", R"({"action":"read","limit":5})"},
        {"extra null key", R"({"action":"read","limit":null})"},
        {"another action", R"({"action":"write"})"},
        {"action in capitals", R"({"action":"Read"})"},
        {"action with a space", R"({"action":"read "})"},
        {"action not a string", R"({"action":1})"},
        {"null action", R"({"action":null})"},
        {"no action", R"({})"},
        {"not an object", R"(["read"])"},
        {"no body", std::nullopt},
        {"subframe at the engine URL", kRead, frameAt("http://localhost:8765/", false)},
        {"another loopback host", kRead, frameAt("http://127.0.0.1:8765/")},
        {"another port", kRead, frameAt("http://localhost:8766/")},
        {"non-loopback host", kRead, frameAt("http://example.com:8765/")},
        {"registered under another name", kRead, kEngineFrame, "murmoSelectionCopy"},
    };
    const struct {
        const char* why;
        NativeAppLanguage stored;
        std::vector<std::string> preferred;
        std::string_view text;
    } languages[] = {
        {"system, English preferred", NativeAppLanguage::system, {"en-US"}, kEnglishRejection},
        {"system, Turkish preferred", NativeAppLanguage::system, {"tr-TR", "en-US"}, kTurkishRejection},
        {"Turkish stored", NativeAppLanguage::turkish, {"en-US"}, kTurkishRejection},
        {"English stored", NativeAppLanguage::english, {"tr-TR"}, kEnglishRejection},
    };
    for (const auto& language : languages) {
        SCOPED_TRACE(language.why);
        SelectionWorld world;
        world.view.addScriptMessageHandlerWithReply("murmoSelectionCopy", world.bridge->handler());
        world.activate(kEditorPID);
        world.preferredLanguages = language.preferred;
        world.bridge->setApplicationLanguage(language.stored);
        world.desktop.clearAXCalls();
        for (const auto& row : rows) {
            SCOPED_TRACE(row.why);
            world.expectError(world.replyTo(world.send(row.body, row.frame, row.handlerName)), language.text);
        }
        EXPECT_TRUE(world.desktop.axCalls().empty());
    }
}

TEST(NativeSelectionBridgeTest, OnlyAnotherRegularApplicationReplacesTheRememberedOne) {
    const struct {
        const char* why;
        std::int32_t pid;
        SimApplicationInfo application;
        std::string_view remembered;
    } rows[] = {
        {"this application", 500, {.bundleIdentifier = "local.murmo.dev", .localizedName = "Murmo"}, "Editor"},
        {"an accessory application",
         720,
         {.bundleIdentifier = "com.example.menu",
          .localizedName = "Menu",
          .activationPolicy = ApplicationActivationPolicy::accessory},
         "Editor"},
        {"a background agent",
         721,
         {.bundleIdentifier = "com.example.agent",
          .localizedName = "Agent",
          .activationPolicy = ApplicationActivationPolicy::prohibited},
         "Editor"},
        {"another regular application",
         722,
         {.bundleIdentifier = "com.example.notes", .localizedName = "Notes"},
         "Notes"},
        {"a regular application without a name", 723, {.bundleIdentifier = "com.example.plain"}, "Application"},
        {"a name that is not UTF-8",
         724,
         {.bundleIdentifier = "com.example.odd", .localizedName = "\xFF"},
         "Application"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SelectionWorld world;
        world.activate(kEditorPID);
        if (row.pid != world.desktop.model().ownPID) {
            world.desktop.launch({.pid = row.pid, .application = row.application});
            const auto window = world.desktop.addWindow(row.pid);
            world.desktop.setFocusedElement(
                row.pid, world.desktop.addElement(
                             window, {.role = "AXTextField", .value = "hello", .selectedRange = AXTextRange{0, 5}}));
        }
        world.activate(row.pid);
        EXPECT_EQ(world.read(), available("hello", row.remembered));
    }
}

TEST(NativeSelectionBridgeTest, AMessageAfterTheBridgeIsGoneIsRejected) {
    SelectionWorld world;
    world.activate(kEditorPID);
    world.bridge.reset();
    const auto& reply = world.replyTo(world.send(kRead));
    EXPECT_EQ(reply.answers, 1);
    EXPECT_EQ(reply.errorMessage, std::string(kEnglishRejection));
}

}  // namespace
}  // namespace murmo
