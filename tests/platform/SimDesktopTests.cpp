#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

class SimDesktopTest : public ::testing::Test {
protected:
    ManualLoop loop;
    SimDesktop desktop{loop};
    Accessibility& ax = desktop.accessibility();
};

TEST_F(SimDesktopTest, MessagesCostVirtualTimeAndASlowAnswerTimesOut) {
    auto app = desktop.launch(SimProcessSetup{.pid = 10});
    desktop.setMessageCost(10, 30ms);
    const auto start = loop.now();

    auto slow = ax.copyAttributeValue(desktop.axElement(app), "AXRole", 0.025f);
    EXPECT_EQ(slow.error, axerror::cannotComplete);
    EXPECT_FALSE(slow.value);
    EXPECT_EQ(loop.now() - start, 25ms);

    auto answered = ax.copyAttributeValue(desktop.axElement(app), "AXRole", 0.2f);
    EXPECT_EQ(answered.error, axerror::success);
    EXPECT_EQ(std::get<std::string>(*answered.value), "AXApplication");
    EXPECT_EQ(loop.now() - start, 55ms);

    ASSERT_EQ(desktop.axCalls().size(), 2u);
    EXPECT_EQ(desktop.axCalls()[0].timeout, 0.025f);
    EXPECT_EQ(desktop.axCalls()[0].error, axerror::cannotComplete);
    EXPECT_EQ(desktop.axCalls()[1].cost, 30ms);
    EXPECT_EQ(desktop.axCalls()[1].pid, 10);
}

TEST_F(SimDesktopTest, ScriptedFaultsAnswerTheirCountOfCallsThenTheModelAnswers) {
    auto app = desktop.launch(SimProcessSetup{.pid = 10});
    auto field = desktop.addElement(app, SimElementSetup{.role = "AXTextField"});
    desktop.setFocusedElement(10, field);
    desktop.setFrontmost(10);
    desktop.addFault(
        SimAXFault{.pid = 10, .attribute = "AXFocusedUIElement", .error = axerror::noValue, .remaining = 2});
    // The system-wide element asks the frontmost application, so its
    // failures show through there too.
    EXPECT_EQ(ax.copyAttributeValue(desktop.axElement(app), "AXFocusedUIElement", 1).error, axerror::noValue);
    EXPECT_EQ(ax.copyAttributeValue(ax.systemWideElement(), "AXFocusedUIElement", 1).error, axerror::noValue);
    auto found = ax.copyAttributeValue(desktop.axElement(app), "AXFocusedUIElement", 1);
    ASSERT_EQ(found.error, axerror::success);
    EXPECT_EQ(std::get<AXElement>(*found.value), desktop.axElement(field));
}

TEST_F(SimDesktopTest, APidReusedByANewProcessInvalidatesTheOldElements) {
    auto app = desktop.launch(SimProcessSetup{.pid = 10, .startSeconds = 5});
    auto field = desktop.addElement(app, SimElementSetup{.role = "AXTextField"});
    auto oldApplication = ax.applicationElement(10);
    desktop.launch(SimProcessSetup{.pid = 10, .startSeconds = 9});

    EXPECT_EQ(ax.copyAttributeValue(desktop.axElement(field), "AXRole", 1).error, axerror::invalidUIElement);
    EXPECT_NE(ax.applicationElement(10), oldApplication);
    EXPECT_EQ(desktop.processInfo().processRecord(10)->startSeconds, 9u);
    EXPECT_EQ(ax.copyAttributeValue(ax.applicationElement(11), "AXRole", 1).error, axerror::invalidUIElement);
}

TEST_F(SimDesktopTest, SelectedTextWritesReplaceTheSelectionInUTF16Units) {
    auto app = desktop.launch(SimProcessSetup{.pid = 10});
    // "😀" is two UTF-16 units: the selection covers "b".
    auto field = desktop.addElement(
        app,
        SimElementSetup{
            .role = "AXTextField", .value = "a😀bc", .selectedRange = AXTextRange{3, 1}, .selectedTextSettable = true});
    EXPECT_EQ(ax.setAttributeValue(desktop.axElement(field), "AXSelectedText", AXAttributeValue(std::string("é!")), 1),
              axerror::success);
    EXPECT_EQ(desktop.element(field).value, "a😀é!c");
    EXPECT_EQ(desktop.element(field).selectedRange, (AXTextRange{5, 0}));
}

TEST_F(SimDesktopTest, CanonicalPathsFollowLinksAndDropDotsAndTrailingSlashes) {
    desktop.model().symbolicLinks["/Links/App.app"] = "/Applications/App.app";
    desktop.model().symbolicLinks["/Loop/a"] = "/Loop/b";
    desktop.model().symbolicLinks["/Loop/b"] = "/Loop/a";
    auto& processes = desktop.processInfo();
    EXPECT_EQ(processes.canonicalPath("/Links/App.app/Contents/./Helper.app/"),
              "/Applications/App.app/Contents/Helper.app");
    EXPECT_EQ(processes.canonicalPath("/Applications/Other.app/../App.app"), "/Applications/App.app");
    // A link loop ends instead of spinning.
    auto looped = processes.canonicalPath("/Loop/a/x");
    EXPECT_TRUE(looped == "/Loop/a/x" || looped == "/Loop/b/x");
}

TEST_F(SimDesktopTest, TheUserActivatingAnApplicationIsToldToWorkspaceObservers) {
    desktop.launch({.pid = 700, .application = SimApplicationInfo{.localizedName = "Editor"}});
    desktop.launch({.pid = 701, .application = std::nullopt});
    std::vector<std::int32_t> told;
    auto handle = desktop.workspace().observeActivations(
        [&told](const RunningApplication& app) { told.push_back(app.processIdentifier); });
    desktop.userActivatesApplication(700);
    // A helper process becomes frontmost without being an application.
    desktop.userActivatesApplication(701);
    EXPECT_EQ(desktop.model().frontmostPID, 701);
    handle.reset();
    desktop.userActivatesApplication(700);
    EXPECT_EQ(told, std::vector<std::int32_t>{700});
}

}  // namespace
}  // namespace murmo
