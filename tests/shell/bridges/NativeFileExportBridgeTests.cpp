#include "shell/bridges/NativeFileExportBridge.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "runtime/AtomicFileWrite.h"
#include "shell/bridges/PageBridgeTexts.h"
#include "support/AnsweringBridgePage.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using Bridge = NativeFileExportBridge;
using testing::bodyWith;
using testing::engineMainFrame;
using testing::fileContents;
using testing::fileNamesIn;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
constexpr std::string_view kSaved = R"({"saved":true})";
constexpr std::string_view kCancelled = R"({"cancelled":true,"saved":false})";

// A family of four: seven code points, one user-perceived character.
constexpr std::string_view kFamily = "\U0001F469\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t index = 0; index < count; ++index) text += piece;
    return text;
}

class NativeFileExportBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    SimDesktop desktop{loop};
    SimChrome& panels = desktop.chrome();
    std::shared_ptr<Bridge> bridge =
        Bridge::create(loop, *URL::parse(testing::kBridgeEngineURL), desktop.ports().savePanel);
    testing::TemporaryDirectory folder;
    int exports = 0;

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
        bridge->onSuccessfulExport = [this] { ++exports; };
    }

    std::size_t sendExport(std::string_view name, std::string_view text) {
        return send(bodyWith({{"name", name}, {"text", text}}));
    }
    // Posts, lets the panel open, and returns the index of the panel.
    std::size_t openPanelFor(std::string_view name, std::string_view text) {
        sendExport(name, text);
        loop.runUntilIdle();
        EXPECT_FALSE(panels.openSavePanels().empty());
        return panels.openSavePanels().back();
    }
    void save(std::size_t panel, const fs::path& path) {
        ASSERT_TRUE(panels.chooseSaveLocation(panel, path));
        loop.runUntilIdle();
    }
    static void expectAnsweredOnce(const SimReplyRecord& reply, std::string_view value) {
        EXPECT_EQ(reply.answers, 1);
        EXPECT_FALSE(reply.errorMessage);
        EXPECT_EQ(reply.valueJSON, value);
    }
};

TEST_F(NativeFileExportBridgeTest, RefusedExportsAreRejectedOnceAndOpenNoPanel) {
    const std::string longest = repeated(kFamily, 125) + ".txt";
    const struct {
        const char* why;
        std::optional<std::string> body;
        std::optional<WebFrameInfo> frame = engineMainFrame();
    } rows[] = {
        {"subframe", bodyWith({{"name", "a.txt"}, {"text", "x"}}), frameAt("http://127.0.0.1:8765/", false)},
        {"host in capitals", bodyWith({{"name", "a.txt"}, {"text", "x"}}), frameAt("http://LOCALHOST:8765/")},
        {"another port", bodyWith({{"name", "a.txt"}, {"text", "x"}}), frameAt("http://127.0.0.1:8766/")},
        {"unknown frame", bodyWith({{"name", "a.txt"}, {"text", "x"}}), std::nullopt},
        {"no body", std::nullopt},
        {"not an object", R"(["a.txt","x"])"},
        {"missing text", R"({"name":"a.txt"})"},
        {"surplus key", R"({"name":"a.txt","text":"x","folder":"/tmp"})"},
        {"null text", R"({"name":"a.txt","text":null})"},
        {"name not a string", R"({"name":1,"text":"x"})"},
        {"text not a string", R"({"name":"a.txt","text":["x"]})"},
        {"129 characters", bodyWith({{"name", longest}, {"text", "x"}})},
        {"upper-case extension", bodyWith({{"name", "notes.TXT"}, {"text", "x"}})},
        {"mixed-case extension", bodyWith({{"name", "notes.Json"}, {"text", "x"}})},
        {"another extension", bodyWith({{"name", "notes.md"}, {"text", "x"}})},
        {"an extension after ours", bodyWith({{"name", "notes.txt.sh"}, {"text", "x"}})},
        {"no extension", bodyWith({{"name", "notes"}, {"text", "x"}})},
        {"slash inside", bodyWith({{"name", "notes/a.txt"}, {"text", "x"}})},
        {"slash first", bodyWith({{"name", "/a.txt"}, {"text", "x"}})},
        {"backslash inside", bodyWith({{"name", "notes\\a.txt"}, {"text", "x"}})},
        {"backslash last", bodyWith({{"name", "a.txt\\"}, {"text", "x"}})},
        {"U+0000 before the extension", bodyWith({{"name", std::string("notes.sh\0.txt", 13)}, {"text", "x"}})},
        {"U+0000 at the end of the stem", bodyWith({{"name", std::string("a\0.json", 7)}, {"text", "x"}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const auto index = send(row.body, row.frame);
        loop.runUntilIdle();
        expectError(replyTo(index), kRejected);
    }
    EXPECT_TRUE(panels.savePanels().empty());
    EXPECT_EQ(exports, 0);
}

TEST_F(NativeFileExportBridgeTest, AcceptedNamesOpenAFreeStandingPanelForTheirContentType) {
    const struct {
        std::string name;
        SaveContentType type;
    } rows[] = {
        {repeated(kFamily, 124) + ".txt", SaveContentType::plainText},  // 128 characters, 3,104 bytes
        {"notes.txt", SaveContentType::plainText},
        {".txt", SaveContentType::plainText},
        {"Ünïcödé notes.json", SaveContentType::json},
        {"data.txt.json", SaveContentType::json},
        {"data.json.txt", SaveContentType::plainText},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto before = panels.savePanels().size();
        sendExport(row.name, "x");
        EXPECT_EQ(panels.savePanels().size(), before) << "the panel opens on a later turn, not in the callback";
        loop.runUntilIdle();
        ASSERT_EQ(panels.savePanels().size(), before + 1);
        EXPECT_EQ(
            panels.savePanels().back().request,
            (SavePanelRequest{
                .suggestedName = row.name, .contentType = row.type, .canCreateFolders = true, .freeStanding = true}));
    }
}

TEST_F(NativeFileExportBridgeTest, ASavedFileHoldsTheTextByteForByteAndIsReportedBeforeTheAnswer) {
    const std::string rows[] = {"", "Line one\nline \"two\" \\ three\r\n", std::string("before\0after\0", 13)};
    int row = 0;
    for (const auto& text : rows) {
        SCOPED_TRACE(row);
        const auto path = folder.path() / ("export-" + std::to_string(row++) + ".txt");
        const auto message = sendExport(path.filename().string(), text);
        loop.runUntilIdle();
        int answersSeenByCallback = -1;
        bridge->onSuccessfulExport = [&] { answersSeenByCallback = replyTo(message).answers; };
        save(panels.openSavePanels().back(), path);
        expectAnsweredOnce(replyTo(message), kSaved);
        EXPECT_EQ(answersSeenByCallback, 0);
        ASSERT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fileContents(path), text);
    }
    EXPECT_EQ(fileNamesIn(folder.path()), (std::vector<std::string>{"export-0.txt", "export-1.txt", "export-2.txt"}))
        << "no temporary file is left behind";
}

TEST_F(NativeFileExportBridgeTest, ASavedFileGetsTheModeOfAnyNewFile) {
    // Set here on purpose and restored at once: the write itself never
    // reads or changes the process's umask.
    const struct {
        mode_t umask;
        bool replacesAFile;
    } rows[] = {{022, false}, {077, true}, {0, true}, {027, false}};
    int row = 0;
    for (const auto& [mask, replacesAFile] : rows) {
        SCOPED_TRACE(row);
        const auto path = folder.path() / ("mode-" + std::to_string(row++) + ".json");
        if (replacesAFile) folder.writeFile(path.filename(), "old");  // owner read and write only
        const auto panel = openPanelFor(path.filename().string(), "{}");
        const auto previous = ::umask(mask);
        save(panel, path);
        ::umask(previous);
        struct stat status {};
        ASSERT_EQ(::stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0666 & ~mask);
        EXPECT_EQ(fileContents(path), "{}");
    }
}

TEST_F(NativeFileExportBridgeTest, ACancelledPanelAnswersCancelledAndWritesNothing) {
    const auto message = sendExport("notes.txt", "kept to myself");
    loop.runUntilIdle();
    ASSERT_TRUE(panels.cancelSavePanel(panels.openSavePanels().back()));
    EXPECT_EQ(replyTo(message).answers, 0) << "the panel's completion runs on the loop";
    loop.runUntilIdle();
    expectAnsweredOnce(replyTo(message), kCancelled);
    EXPECT_EQ(exports, 0);
    EXPECT_TRUE(fileNamesIn(folder.path()).empty());
}

TEST_F(NativeFileExportBridgeTest, AFailedWriteAnswersItsErrorAndLeavesTheTargetUntouched) {
    const auto inTheWay = folder.makeDirectory("in the way.txt");
    folder.writeFile("in the way.txt/kept", "kept");
    const fs::path rows[] = {folder.path() / "missing folder" / "notes.txt", inTheWay};
    for (const auto& path : rows) {
        SCOPED_TRACE(path);
        const auto message = sendExport(path.filename().string(), "new text");
        loop.runUntilIdle();
        save(panels.openSavePanels().back(), path);
        const auto expected = writeFileAtomically(path, "new text", NewFileMode::ordinary);
        ASSERT_FALSE(expected);
        EXPECT_EQ(replyTo(message).answers, 1);
        EXPECT_FALSE(replyTo(message).valueJSON);
        EXPECT_EQ(replyTo(message).errorMessage, expected.error().message);
        EXPECT_NE(expected.error().message.find(path.filename().string()), std::string::npos);
    }
    EXPECT_EQ(exports, 0);
    EXPECT_EQ(fileNamesIn(folder.path()), (std::vector<std::string>{"in the way.txt"})) << "no temporary file is left";
    EXPECT_EQ(fileNamesIn(inTheWay), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(fileContents(inTheWay / "kept"), "kept");
}

TEST_F(NativeFileExportBridgeTest, TheLargestTextIsSavedAndOneByteMoreIsRejected) {
    const auto& largest = testing::largestBridgeText();
    const auto tooLarge = sendExport("large.txt", largest + "!");
    loop.runUntilIdle();
    EXPECT_EQ(replyTo(tooLarge).errorMessage, kRejected);
    EXPECT_TRUE(panels.savePanels().empty());

    const auto path = folder.path() / "large.txt";
    const auto message = sendExport("large.txt", largest);
    loop.runUntilIdle();
    save(panels.openSavePanels().back(), path);
    expectAnsweredOnce(replyTo(message), kSaved);
    EXPECT_EQ(fs::file_size(path), largest.size());
    EXPECT_TRUE(fileContents(path) == largest);
}

TEST_F(NativeFileExportBridgeTest, PendingExportsAreEachAnsweredOnceWhateverHappensToThePage) {
    const auto first = sendExport("first.txt", "one");
    const auto second = sendExport("second.json", "[2]");
    const auto third = sendExport("third.txt", "three");
    loop.runUntilIdle();
    ASSERT_EQ(panels.openSavePanels().size(), 3u);

    // The page moves on, its process ends, the window removes its handlers and
    // lets the bridge go: the open panels still finish their exports.
    view.navigate({URL::parse("http://127.0.0.1:8765/other"), NavigationTarget::mainFrame});
    view.beginProvisionalLoad();
    view.finishLoad();
    view.terminateWebProcess(WebProcessTermination::crashed);
    view.removeScriptMessageHandler(Bridge::kHandlerName);
    const std::weak_ptr<Bridge> weak = bridge;
    bridge.reset();
    EXPECT_FALSE(weak.expired()) << "an open panel keeps its bridge";

    save(2, folder.path() / "third.txt");
    ASSERT_TRUE(panels.cancelSavePanel(0));
    save(1, folder.path() / "second.json");
    loop.advance(std::chrono::seconds(1));
    expectAnsweredOnce(replyTo(first), kCancelled);
    expectAnsweredOnce(replyTo(second), kSaved);
    expectAnsweredOnce(replyTo(third), kSaved);
    EXPECT_EQ(fileContents(folder.path() / "second.json"), "[2]");
    EXPECT_EQ(fileContents(folder.path() / "third.txt"), "three");
    EXPECT_EQ(exports, 2);
    EXPECT_TRUE(weak.expired()) << "released once every panel has closed";
    EXPECT_FALSE(panels.cancelSavePanel(0)) << "a closed panel cannot complete again";
}

// A save panel that goes away with its panels still open, dropping their
// completions.
class VanishingSavePanel final : public SavePanel {
public:
    void beginSavePanel(const SavePanelRequest&, SavePanelCompletion completion) override {
        open.push_back(std::move(completion));
    }
    std::vector<SavePanelCompletion> open;
};

TEST(NativeFileExportBridgeLifetimeTest, APanelThatNeverCompletesAnswersCancelledWhenItGoesAway) {
    testing::AnsweringBridgePage<Bridge> page;
    VanishingSavePanel savePanel;
    auto bridge = Bridge::create(page.loop, *URL::parse(testing::kBridgeEngineURL), savePanel);
    ASSERT_TRUE(page.view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
    const auto message = page.send(R"({"name":"a.txt","text":"x"})");
    page.loop.runUntilIdle();
    ASSERT_EQ(savePanel.open.size(), 1u);
    savePanel.open.clear();
    const auto& reply = page.replyTo(message);
    EXPECT_EQ(reply.answers, 1);
    EXPECT_FALSE(reply.droppedUnanswered);
    EXPECT_EQ(reply.valueJSON, kCancelled);
}

TEST(NativeFileExportBridgeLifetimeTest, AMessageReachingAGoneBridgeIsRejected) {
    testing::AnsweringBridgePage<Bridge> page;
    VanishingSavePanel savePanel;
    auto bridge = Bridge::create(page.loop, *URL::parse(testing::kBridgeEngineURL), savePanel);
    ASSERT_TRUE(page.view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
    bridge.reset();
    const auto message = page.send(R"({"name":"a.txt","text":"x"})");
    page.loop.runUntilIdle();
    EXPECT_EQ(page.replyTo(message).answers, 1);
    EXPECT_EQ(page.replyTo(message).errorMessage, kRejected);
    EXPECT_TRUE(savePanel.open.empty());
}

}  // namespace
}  // namespace murmo
