#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimAppWindow.h"
#include "platform/sim/SimChrome.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

AlertRequest withButtons(std::size_t count) {
    AlertRequest request{.messageText = "Launch at Login could not be changed",
                         .informativeText = "Check settings and try again"};
    for (std::size_t index = 0; index < count; ++index) {
        request.buttons.push_back({.title = "Button " + std::to_string(index)});
    }
    return request;
}

struct ButtonCase {
    std::size_t buttons = 0;
    std::size_t chosen = 0;
    // Absent: the choice is refused and the alert stays open.
    std::optional<AlertResponse> expected;
};

TEST(SimChromeAlertTest, TheAnswerNamesTheChosenButtonAndComesLaterOnTheLoop) {
    const std::vector<ButtonCase> cases{
        {2, 0, kAlertFirstButtonReturn},
        {2, 1, kAlertSecondButtonReturn},
        {3, 2, kAlertThirdButtonReturn},
        {2, 2, std::nullopt},
        // No buttons of its own: the platform's single OK button.
        {0, 0, kAlertFirstButtonReturn},
        {0, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.buttons << " buttons, choosing " << c.chosen);
        ManualLoop loop;
        SimDesktop desktop{loop};
        SimChrome& chrome = desktop.chrome();
        std::vector<AlertResponse> answers;
        desktop.ports().alerts.showAlert(withButtons(c.buttons),
                                         [&](AlertResponse response) { answers.push_back(response); });
        ASSERT_EQ(chrome.openAlerts(), (std::vector<std::size_t>{0}));
        EXPECT_EQ(chrome.alerts()[0].request, withButtons(c.buttons));
        EXPECT_FALSE(chrome.alerts()[0].sheetWindow) << "free-standing";

        EXPECT_EQ(chrome.chooseAlertButton(0, c.chosen), c.expected.has_value());
        EXPECT_TRUE(answers.empty()) << "never inside the user's action";
        loop.runUntilIdle();
        if (!c.expected) {
            EXPECT_TRUE(answers.empty());
            EXPECT_EQ(chrome.openAlerts(), (std::vector<std::size_t>{0}));
            continue;
        }
        EXPECT_EQ(answers, (std::vector<AlertResponse>{*c.expected}));
        EXPECT_EQ(chrome.alerts()[0].response, c.expected);
        EXPECT_FALSE(chrome.chooseAlertButton(0, 0)) << "answered once";
        loop.runUntilIdle();
        EXPECT_EQ(answers.size(), 1u);
    }
}

TEST(SimChromeAlertTest, ReturnOnASheetChoosesTheDestructiveFirstButton) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    auto window = desktop.ports().windows.makeWindow({.title = "Dashboard"});
    const AlertRequest confirm{
        .messageText = "Discard the draft?",
        .buttons = {{.title = "Confirm", .destructive = true}, {.title = "Cancel"}},
    };
    std::optional<AlertResponse> answer;
    window->beginSheet(confirm, [&](AlertResponse response) { answer = response; });
    // The loop keeps running while the sheet waits for the user.
    bool loopRan = false;
    loop.post([&] { loopRan = true; });
    loop.runUntilIdle();
    EXPECT_TRUE(loopRan);
    EXPECT_FALSE(answer);

    ASSERT_EQ(chrome.openAlerts(), (std::vector<std::size_t>{0}));
    EXPECT_EQ(chrome.alerts()[0].sheetWindow, chrome.windows().front()->id());
    EXPECT_TRUE(chrome.alerts()[0].request.buttons[0].destructive);
    EXPECT_TRUE(chrome.pressReturnOnAlert(0));
    loop.runUntilIdle();
    EXPECT_EQ(answer, kAlertFirstButtonReturn);
}

TEST(SimChromeAlertTest, ASheetGoesWithItsWindowUnanswered) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    auto window = desktop.ports().windows.makeWindow({.title = "Dashboard"});
    int answers = 0;
    window->beginSheet(withButtons(2), [&](AlertResponse) { ++answers; });
    desktop.ports().alerts.showAlert(withButtons(1), [&](AlertResponse) { ++answers; });
    window.reset();

    EXPECT_EQ(chrome.openAlerts(), (std::vector<std::size_t>{1})) << "the free-standing alert stays";
    EXPECT_FALSE(chrome.pressReturnOnAlert(0));
    loop.runUntilIdle();
    EXPECT_EQ(answers, 0);
    EXPECT_FALSE(chrome.alerts()[0].response);
}

}  // namespace
}  // namespace murmo
