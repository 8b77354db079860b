#include "input/hud/HUDController.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHUDSurface.h"
#include "runtime/ManualLoop.h"
#include "services/NativeStringCatalog.h"

namespace murmo {
namespace {

using Kind = HUDMode::Kind;
using namespace std::chrono_literals;

Duration seconds(double value) { return std::chrono::duration_cast<Duration>(HUDSeconds(value)); }

class HUDControllerTest : public ::testing::Test {
protected:
    HUDControllerTest() {
        hud = HUDController::create(loop, desktop.hud(), desktop.textMeasure(), desktop.pasteboard(),
                                    [] { return std::vector<std::string>{"en"}; });
        mark();
    }

    // Forgets the log so far; events() lists what came after.
    void mark() {
        logStart = model().log.size();
        startedAt = loop.now();
    }
    SimHUDModel& model() { return desktop.model().hud; }
    // "+0.18 announce …": each event with its time since mark().
    std::vector<std::string> events() const {
        std::vector<std::string> listed;
        const auto& log = desktop.model().hud.log;
        for (std::size_t i = logStart; i < log.size(); ++i) {
            const double at = std::chrono::duration<double>(log[i].at - startedAt).count();
            listed.push_back(fmt::format("+{:.2f} {}", at, log[i].event));
        }
        return listed;
    }
    bool logged(std::string_view fragment) const {
        for (const auto& event : events()) {
            if (event.find(fragment) != std::string::npos) return true;
        }
        return false;
    }
    void advance(double value) { loop.advance(seconds(value)); }
    bool shows(Kind kind) const { return hud->currentMode() == HUDMode::of(kind) && desktop.model().hud.panel.visible; }
    HUDRect panelFrame() { return desktop.hud().panelFrame(); }
    HUDPoint panelCentre() {
        const auto frame = panelFrame();
        return {frame.x + frame.width / 2, frame.y + frame.height / 2};
    }
    // A point of the panel's content, in global points.
    HUDPoint onPanel(const HUDRect& view) {
        const auto frame = panelFrame();
        return {frame.x + view.x + view.width / 2, frame.y + view.y + view.height / 2};
    }
    // Brings up the idle capsule, so that the next mode morphs.
    void showIdleCapsule() {
        hud->setIdleState(HUDIdleState::idle);
        hud->setAlwaysVisible(true);
        advance(1);
        mark();
    }
    static bool drawsIcon(const HUDDisplayList& list, const std::string& symbol) {
        for (const auto& item : list.items) {
            if (const auto* icon = std::get_if<hud_scene::Icon>(&item); icon && icon->symbol == symbol) return true;
        }
        return false;
    }
    static std::vector<hud_scene::Bar> bars(const HUDDisplayList& list) {
        std::vector<hud_scene::Bar> found;
        for (const auto& item : list.items) {
            if (const auto* bar = std::get_if<hud_scene::Bar>(&item)) found.push_back(*bar);
        }
        return found;
    }

    ManualLoop loop;
    SimDesktop desktop{loop};
    std::shared_ptr<HUDController> hud;
    std::size_t logStart = 0;
    MonotonicTime startedAt{};
    NativeLocalizedStrings strings{NativeAppLanguage::english, std::vector<std::string>{"en"}};
};

TEST_F(HUDControllerTest, SuccessFadesInAnnouncesAndHides) {
    hud->showSuccess(HUDSuccessKind::inserted);
    advance(0.18);
    advance(0.65);
    advance(0.14);
    // Centred on the screen under the pointer, 20 points above its bottom.
    const std::vector<std::string> expected = {
        "+0.00 alpha 1",
        "+0.00 alpha 0",
        "+0.00 frame 697.5 14 45 37",
        "+0.00 front",
        "+0.00 animate frame 697.5 20 45 37 alpha 1 0.18s",
        "+0.18 announce " + strings.hudInsertedAnnouncement() + " (50)",
        "+0.83 animate frame 697.5 16 45 37 alpha 0 0.14s",
        "+0.97 out",
        "+0.97 alpha 1",
        "+0.97 frame 697.5 20 45 37",
    };
    EXPECT_EQ(events(), expected);
    EXPECT_FALSE(hud->currentMode());
}

TEST_F(HUDControllerTest, AMorphWithinItsContentFadeDrawsNoListeningContent) {
    showIdleCapsule();
    hud->showListening(HUDOperationPurpose::dictation);
    advance(0.05);
    hud->showProcessing(HUDOperationPurpose::dictation);
    for (int step = 0; step < 40; ++step) {
        const auto scene = desktop.hudSurface().sceneAt(loop.now());
        EXPECT_FALSE(drawsIcon(scene, "mic.fill")) << "at step " << step;
        EXPECT_TRUE(bars(scene).empty()) << "at step " << step;
        advance(0.01);
    }
    EXPECT_TRUE(shows(Kind::processing));
    EXPECT_EQ(panelFrame().width, 54);
    EXPECT_TRUE(logged("announce " + strings.hudProcessingAnnouncement()));
    EXPECT_FALSE(logged("announce " + strings.hudListeningAnnouncement()));
}

TEST_F(HUDControllerTest, AShowDuringTheDismissFadeKeepsThePanel) {
    hud->showSuccess(HUDSuccessKind::inserted);
    advance(0.18 + 0.65 + 0.07);
    ASSERT_TRUE(logged("alpha 0 0.14s"));
    hud->showError();
    advance(2);
    EXPECT_TRUE(model().panel.visible);
    EXPECT_EQ(hud->currentMode(), HUDMode::of(Kind::error));
    // The error's own hide: 2.6 s after its morph settled (0.08 + 0.13 s).
    advance(0.81 + 0.15);
    EXPECT_FALSE(model().panel.visible);
}

TEST_F(HUDControllerTest, ReducedMotionIsImmediateAndShutdownLeavesItInert) {
    desktop.setDisplayOptions({.reduceMotion = true});
    hud->showSuccess(HUDSuccessKind::copied);
    EXPECT_FALSE(logged("animate"));
    EXPECT_TRUE(logged("+0.00 announce " + strings.hudCopiedAnnouncement()));
    advance(0.65);
    EXPECT_FALSE(model().panel.visible);
    EXPECT_FALSE(logged("animate"));

    hud->shutdown();
    mark();
    hud->showError();
    hud->showAgentAnswer("Hello", "", "Confirm", "Cancel", nullptr, nullptr);
    hud->setAlwaysVisible(true);
    hud->shutdown();
    advance(5);
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(hud->isShuttingDown());
}

TEST_F(HUDControllerTest, AnswersHideByLengthAndNeverWithAButton) {
    struct Row {
        std::size_t characters;
        double hidesAfter;
    };
    for (const auto& row : {Row{180, 12}, Row{420, 22}, Row{612, 30}, Row{2000, 30}}) {
        SCOPED_TRACE(row.characters);
        hud->showAgentAnswer(std::string(row.characters, 'a'), "", "Confirm", "Cancel", nullptr, nullptr);
        advance(0.18 + row.hidesAfter - 0.01);
        EXPECT_TRUE(hud->policy().transientMode) << "still shown";
        advance(0.02);
        EXPECT_FALSE(hud->policy().transientMode) << "hidden";
        advance(1);
    }
    int cancelled = 0;
    hud->showAgentAnswer(
        "Send it?", "This sends an email.", "Confirm", "Cancel", [] {}, [&] { ++cancelled; });
    advance(60);
    EXPECT_TRUE(shows(Kind::agentAnswer));
    EXPECT_EQ(cancelled, 0);
}

TEST_F(HUDControllerTest, TheClipboardOfferPausesWhileThePointerRestsOnIt) {
    struct Row {
        double leftWhenEntering;
        double hidesAfterLeaving;
    };
    for (const auto& row : {Row{1.3, 1.3}, Row{0.05, 0.1}}) {
        SCOPED_TRACE(row.leftWhenEntering);
        desktop.movePointer({100, 500});
        hud->showClipboard("words", HUDClipboardFailure::paste, 4s, nullptr);
        advance(0.18 + 4 - row.leftWhenEntering);
        desktop.movePointer(panelCentre());
        // A clock set back an hour neither stretches nor cuts the pause.
        loop.shiftWallTime(-1h);
        advance(10);
        EXPECT_TRUE(shows(Kind::clipboard));
        desktop.movePointer({100, 500});
        advance(row.hidesAfterLeaving - 0.01);
        EXPECT_TRUE(hud->policy().transientMode);
        advance(0.02);
        EXPECT_FALSE(hud->policy().transientMode);
        advance(1);
    }
}

TEST_F(HUDControllerTest, OddClipboardDurations) {
    hud->showClipboard("words", HUDClipboardFailure::paste, HUDSeconds(std::numeric_limits<double>::infinity()),
                       nullptr);
    advance(3600);
    EXPECT_TRUE(shows(Kind::clipboard)) << "+∞ never hides";
    for (const double odd : {std::nan(""), -1.0, 0.0}) {
        SCOPED_TRACE(odd);
        hud->showClipboard("words", HUDClipboardFailure::paste, HUDSeconds(odd), nullptr);
        advance(0.3);
        EXPECT_FALSE(hud->policy().transientMode) << "hides at once";
        advance(1);
    }
}

TEST_F(HUDControllerTest, PlacementFollowsThePointerTheMainScreenOrStays) {
    desktop.setScreens({{{0, 0, 1440, 900}, {0, 0, 1440, 875}}, {{1440, 0, 1920, 1080}, {1440, 40, 1920, 1040}}}, 0);
    desktop.movePointer({2000, 500});
    hud->showShortcutCapture();
    EXPECT_EQ(panelFrame().x, 1440 + 960 - 96);
    EXPECT_EQ(model().panel.frame.y, 60);

    hud->hide();
    advance(1);
    desktop.setScreens({{{0, 0, 1440, 900}, {0, 0, 1440, 875}}, {{1440, 0, 1920, 1080}, {1440, 40, 1920, 1040}}}, 1);
    desktop.movePointer({-500, -500});
    hud->showShortcutCapture();
    EXPECT_EQ(model().panel.frame.x, 1440 + 960 - 96) << "outside every screen: the main screen";

    hud->hide();
    advance(1);
    const auto before = model().panel.frame;
    desktop.setScreens({}, std::nullopt);
    hud->showSuccess(HUDSuccessKind::inserted);
    advance(0.2);
    EXPECT_EQ(model().panel.frame.x, before.x + before.width / 2 - 45.0 / 2) << "no screen: the panel stays";
    EXPECT_EQ(model().panel.frame.y, before.y);
}

TEST_F(HUDControllerTest, ACopyTheClipboardRefusesLeavesTheUsersItemsAndOffersAgain) {
    desktop.userCopies({PasteboardItem::plainText("the user's own")});
    const auto items = desktop.pasteboardItems();
    const auto count = desktop.model().pasteboard.changeCount;
    int copied = 0;
    hud->showClipboard("dictated words", HUDClipboardFailure::paste, 4s, [&] { ++copied; });
    advance(0.2);
    desktop.addPasteboardFault({.operation = SimPasteboardOperation::write});
    desktop.userClicksAt(onPanel(hud->state().content.copyButton.frame));
    advance(0.3);
    EXPECT_EQ(desktop.pasteboardItems(), items);
    EXPECT_EQ(desktop.model().pasteboard.changeCount, count);
    EXPECT_EQ(hud->state().content.primaryLabel.text, strings.hudCopyFailed());
    EXPECT_EQ(copied, 0);
    advance(30);
    EXPECT_TRUE(shows(Kind::clipboard)) << "a failed copy no longer hides by itself";

    desktop.userClicksAt(onPanel(hud->state().content.copyButton.frame));
    EXPECT_EQ(desktop.pasteboardItems(), std::vector{PasteboardItem::plainText("dictated words")});
    EXPECT_EQ(copied, 1);
    desktop.userClicksAt(onPanel(hud->state().content.copyButton.frame));
    EXPECT_EQ(copied, 1) << "a second click does nothing";
    advance(0.3);
    EXPECT_TRUE(shows(Kind::success));
}

TEST_F(HUDControllerTest, ClicksOnAndAroundTheAnswer) {
    int confirmed = 0;
    int cancelled = 0;
    hud->showAgentAnswer(
        "Send it?", "", "Confirm", "Cancel", [&] { ++confirmed; }, [&] { ++cancelled; });
    advance(0.2);
    desktop.userClicksAt(panelCentre());
    advance(0.2);
    EXPECT_TRUE(shows(Kind::agentAnswer)) << "a click inside the panel does nothing";

    const auto before = desktop.model().counters.leftMouseDown;
    desktop.userClicksAt({100, 800}, HUDMouseButton::right);
    advance(0.2);
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(confirmed, 0);
    EXPECT_FALSE(hud->policy().transientMode);
    EXPECT_EQ(desktop.model().counters.leftMouseDown, before) << "one event: a right press";
    EXPECT_EQ(desktop.model().counters.rightMouseDown, 1u);

    hud->showAgentAnswer(
        "Send it?", "", "Confirm", "Cancel", [&] { ++confirmed; }, [&] { ++cancelled; });
    advance(0.2);
    desktop.userClicksAt(onPanel(hud->state().content.agentConfirmButton.frame));
    advance(0.2);
    EXPECT_EQ(confirmed, 1);
    EXPECT_EQ(cancelled, 1) << "the button's press is no outside click";
}

TEST_F(HUDControllerTest, APressSeenBeforeTheAnswerWasReplacedDoesNothing) {
    int firstCancelled = 0;
    int secondCancelled = 0;
    hud->showAgentAnswer(
        "First", "", "Confirm", "Cancel", [] {}, [&] { ++firstCancelled; });
    advance(0.2);
    desktop.userClicksAt({100, 800});
    hud->showAgentAnswer(
        "Second", "", "Confirm", "Cancel", [] {}, [&] { ++secondCancelled; });
    advance(1);
    EXPECT_EQ(firstCancelled, 0) << "replaced, never called";
    EXPECT_EQ(secondCancelled, 0);
    EXPECT_TRUE(shows(Kind::agentAnswer));
    EXPECT_EQ(hud->state().content.agentAnswerScroll.text, "Second");
}

TEST_F(HUDControllerTest, ALongAnswerScrollsToItsLastLine) {
    hud->showAgentAnswer(std::string(60'000, 'w'), "", "Confirm", "Cancel", nullptr, nullptr);
    advance(0.2);
    const auto& content = hud->state().content;
    EXPECT_TRUE(content.agentAnswerShowsScroller);
    EXPECT_GT(content.agentAnswerTextFrame.height, 10'000);
    EXPECT_EQ(hud->state().answerScrollOffset, 0) << "starts at the top";
    desktop.movePointer(panelCentre());
    desktop.userScrolls(1e9);
    EXPECT_EQ(hud->state().answerScrollOffset,
              content.agentAnswerTextFrame.height - content.agentAnswerScroll.frame.height);
    desktop.userScrolls(-1e12);
    EXPECT_EQ(hud->state().answerScrollOffset, 0);
}

TEST_F(HUDControllerTest, OddLevelsDrawBarsWithinTheirRange) {
    hud->showListening(HUDOperationPurpose::dictation);
    for (const double level :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 2.5, -1.0}) {
        hud->updateLevel(level);
        advance(0.034);
        for (const auto& bar : bars(desktop.hudSurface().sceneAt(loop.now()))) {
            EXPECT_GE(bar.rect.height, 2) << level;
            EXPECT_LE(bar.rect.height, 11) << level;
        }
    }
}

TEST_F(HUDControllerTest, TheIdleCapsuleFollowsThePreferences) {
    hud->setIdleState(HUDIdleState::offline);
    hud->setAlwaysVisible(true);
    advance(0.2);
    EXPECT_EQ(hud->currentMode(), HUDMode::idle(HUDIdleState::offline));
    EXPECT_EQ(hud->state().content.iconSymbol, "bolt.slash.fill");

    hud->showProcessing(HUDOperationPurpose::dictation);
    hud->setIdleState(HUDIdleState::idle);
    advance(0.5);
    EXPECT_TRUE(shows(Kind::processing)) << "the transient mode owns the panel";
    hud->hide();
    advance(0.5);
    EXPECT_EQ(hud->currentMode(), HUDMode::idle(HUDIdleState::idle));

    mark();
    hud->setAlwaysVisible(false);
    advance(0.2);
    EXPECT_TRUE(logged("alpha 0 0.14s"));
    EXPECT_FALSE(model().panel.visible);
}

TEST_F(HUDControllerTest, AppearanceAndLanguageChanges) {
    hud->showClipboard("words", HUDClipboardFailure::copy, 4s, nullptr);
    advance(0.2);
    mark();
    hud->setAppearancePreference("dark", "dark");
    hud->setAppearancePreference("bogus", "bogus");
    EXPECT_EQ(events(), std::vector<std::string>{"+0.00 appearance dark"}) << "an unknown preference is ignored";

    hud->setApplicationLanguage(NativeAppLanguage::turkish);
    const NativeLocalizedStrings turkish(NativeAppLanguage::turkish, std::vector<std::string>{"en"});
    EXPECT_EQ(hud->state().content.primaryLabel.text, turkish.hudCopyFailed());
    EXPECT_EQ(hud->state().content.copyButton.text, turkish.hudCopy());
    mark();
    hud->setApplicationLanguage(NativeAppLanguage::turkish);
    EXPECT_TRUE(events().empty()) << "the same language changes nothing";
}

}  // namespace
}  // namespace murmo
