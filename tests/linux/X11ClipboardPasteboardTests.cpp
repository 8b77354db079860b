// The pasteboard over the X clipboard against another application (the
// clipboard owner program): a snapshot of its text and image comes back byte
// for byte, also after it has gone; large data in INCR chunks is read whole
// and served whole; a hung owner or one that stops mid-transfer reads as
// nothing within the bounds; the change count follows every owner change;
// and on the way out our content goes to a clipboard manager when one runs.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delivery/ClipboardPaster.h"
#include "platform/Pasteboard.h"
#include "platform/linux/X11ClipboardPasteboard.h"
#include "platform/linux/X11ClipboardSession.h"
#include "support/ClipboardOwnerProcess.h"
#include "support/x11/PrivateXServer.h"

namespace murmo {
namespace {

using testing::ClipboardOwnerProcess;
using testing::PrivateXServer;
using Clock = std::chrono::steady_clock;

constexpr auto kHangSlack = std::chrono::seconds(3);
const std::string kText = "Grüße, naïve café — dictated 👋🏽";
const PasteboardBytes kPNG{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0x0d, 'I', 'H', 'D', 'R', 0, 0xff, 0};
const PasteboardBytes kLatin1{'c', 'a', 'f', 0xe9};

class X11ClipboardPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = X11ClipboardPasteboard::open();
        ASSERT_TRUE(opened) << opened.error().message;
        pasteboard = std::move(*opened);
    }

    std::unique_ptr<ClipboardOwnerProcess> launchOwner() {
        auto launched = ClipboardOwnerProcess::launch(MURMO_CLIPBOARD_OWNER_PATH);
        EXPECT_TRUE(launched) << launched.error().message;
        return launched ? std::move(*launched) : nullptr;
    }

    // Another application owning text (also as Latin-1 STRING) and an image.
    std::unique_ptr<ClipboardOwnerProcess> launchTextAndImageOwner() {
        auto owner = launchOwner();
        if (!owner) return nullptr;
        EXPECT_TRUE(owner->offer("UTF8_STRING", pasteboardBytes(kText)));
        EXPECT_TRUE(owner->offer("STRING", kLatin1));
        EXPECT_TRUE(owner->offer("image/png", kPNG));
        EXPECT_TRUE(owner->own());
        return owner;
    }

    std::unique_ptr<X11ClipboardPasteboard> pasteboard;
};

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::ranges::sort(names);
    return names;
}

TEST_F(X11ClipboardPasteboardTest, SnapshotOfAnotherOwnerIsRestoredByteForByteAlsoAfterItExits) {
    auto owner = launchTextAndImageOwner();
    ASSERT_TRUE(owner);

    const auto listed = pasteboard->items();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ(sorted(listed->front().types),
              sorted({std::string(kPasteboardPlainTextType), "STRING", "image/png"}));

    const auto snapshot = PasteboardSnapshot::capture(*pasteboard, 3);
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(snapshot->items.size(), 1u);
    const auto& saved = snapshot->items.front();
    ASSERT_TRUE(saved.data(kPasteboardPlainTextType));
    EXPECT_EQ(*saved.data(kPasteboardPlainTextType), pasteboardBytes(kText));
    ASSERT_TRUE(saved.data("image/png"));
    EXPECT_EQ(*saved.data("image/png"), kPNG);
    ASSERT_TRUE(saved.data("STRING"));
    EXPECT_EQ(*saved.data("STRING"), kLatin1);

    // Our text, as the other application reads it.
    pasteboard->clearContents();
    ASSERT_TRUE(pasteboard->writeItems({PasteboardItem::plainText("dictated ✓")}));
    EXPECT_TRUE(owner->waitForNotice("lost"));
    EXPECT_EQ(owner->read("UTF8_STRING"), pasteboardBytes("dictated ✓"));
    EXPECT_EQ(owner->read("text/plain;charset=utf-8"), pasteboardBytes("dictated ✓"));
    EXPECT_EQ(owner->read("STRING"), std::nullopt) << "the check mark has no Latin-1 code";
    EXPECT_EQ(owner->read("image/png"), std::nullopt);

    // The restore, while the first owner still runs and after it has gone.
    ASSERT_TRUE(pasteboard->replaceContents(snapshot->items));
    const auto expectRestored = [&](ClipboardOwnerProcess& reader) {
        EXPECT_EQ(reader.read("UTF8_STRING"), pasteboardBytes(kText));
        EXPECT_EQ(reader.read("STRING"), kLatin1);
        EXPECT_EQ(reader.read("image/png"), kPNG);
        const auto targets = reader.targets();
        ASSERT_TRUE(targets);
        for (const auto* name : {"TARGETS", "UTF8_STRING", "STRING", "image/png"}) {
            EXPECT_NE(std::ranges::find(*targets, name), targets->end()) << name;
        }
    };
    expectRestored(*owner);
    ASSERT_TRUE(owner->quit());
    auto laterReader = launchOwner();
    ASSERT_TRUE(laterReader);
    expectRestored(*laterReader);

    // Read back from our own memory, every item as written.
    const auto ours = pasteboard->items();
    ASSERT_TRUE(ours);
    ASSERT_EQ(ours->size(), 1u);
    EXPECT_EQ(pasteboard->data(ours->front(), "image/png"), kPNG);
    EXPECT_EQ(pasteboard->data(ours->front(), kPasteboardPlainTextType), pasteboardBytes(kText));
}

TEST_F(X11ClipboardPasteboardTest, OneMultipleRequestGetsEveryTargetItAsksForAndRefusalsForTheRest) {
    PasteboardItem item = PasteboardItem::plainText("über");
    item.representations.push_back({"image/png", kPNG});
    ASSERT_TRUE(pasteboard->replaceContents({item}));
    auto reader = launchOwner();
    ASSERT_TRUE(reader);
    const auto read = reader->readMultiple({"UTF8_STRING", "application/x-absent", "image/png", "STRING"});
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (std::vector<std::optional<PasteboardBytes>>{
                         pasteboardBytes("über"), std::nullopt, kPNG, PasteboardBytes{0xfc, 'b', 'e', 'r'}}));
}

TEST_F(X11ClipboardPasteboardTest, ChangeCountFollowsEveryOwnerChange) {
    const auto start = pasteboard->changeCount();
    auto owner = launchOwner();
    ASSERT_TRUE(owner);
    ASSERT_TRUE(owner->offer("UTF8_STRING", pasteboardBytes("theirs")));
    ASSERT_TRUE(owner->own());
    // No waiting: the round trip makes the other client's change visible.
    EXPECT_EQ(pasteboard->changeCount(), start + 1);

    const auto listed = pasteboard->items();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ(listed->front().changeCount, start + 1);

    const auto cleared = pasteboard->clearContents();
    EXPECT_EQ(cleared, start + 2);
    EXPECT_EQ(pasteboard->items(), std::vector<PasteboardItemReference>{});
    ASSERT_TRUE(pasteboard->writeItems({PasteboardItem::plainText("ours")}));
    EXPECT_EQ(pasteboard->changeCount(), cleared) << "a write after a clear is the same ownership";
    EXPECT_EQ(pasteboard->data(listed->front(), kPasteboardPlainTextType), std::nullopt)
        << "an item listed before the change is gone";

    ASSERT_TRUE(pasteboard->replaceContents({PasteboardItem::plainText("again")}));
    EXPECT_EQ(pasteboard->changeCount(), start + 3);

    // The other client takes it back: our content is no longer served, and
    // a write into our lost ownership fails.
    ASSERT_TRUE(owner->own());
    EXPECT_EQ(pasteboard->changeCount(), start + 4);
    EXPECT_FALSE(pasteboard->writeItems({PasteboardItem::plainText("late")}));
    const auto theirs = pasteboard->items();
    ASSERT_TRUE(theirs);
    ASSERT_EQ(theirs->size(), 1u);
    EXPECT_EQ(pasteboard->data(theirs->front(), kPasteboardPlainTextType), pasteboardBytes("theirs"));

    // Its client going away is an owner change too; the clipboard is empty.
    ASSERT_TRUE(owner->quit());
    // The server learns of the exit on its own schedule.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pasteboard->changeCount() == start + 4 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(pasteboard->changeCount(), start + 5);
    EXPECT_EQ(pasteboard->items(), std::vector<PasteboardItemReference>{});
}

TEST_F(X11ClipboardPasteboardTest, LargeDataTravelsWholeInIncrementalChunksBothWays) {
    constexpr std::size_t kSize = 3'000'000;
    auto owner = launchOwner();
    ASSERT_TRUE(owner);
    ASSERT_TRUE(owner->serveIncrementallyAbove(64 * 1024));
    ASSERT_TRUE(owner->offerPattern("image/png", kSize));
    ASSERT_TRUE(owner->own());

    const auto listed = pasteboard->items();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    const auto read = pasteboard->data(listed->front(), "image/png");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), kSize);
    EXPECT_TRUE(*read == ClipboardOwnerProcess::pattern(kSize)) << "the data differ";

    // Ours, above our own chunk size, as the other application reads it.
    PasteboardItem large{{{"image/png", ClipboardOwnerProcess::pattern(kSize)}}};
    large.representations.push_back({std::string(kPasteboardPlainTextType), pasteboardBytes("caption")});
    ASSERT_TRUE(pasteboard->replaceContents({large}));
    const auto seen = owner->read("image/png");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->size(), kSize);
    EXPECT_TRUE(*seen == ClipboardOwnerProcess::pattern(kSize)) << "the data differ";
    EXPECT_EQ(owner->read("UTF8_STRING"), pasteboardBytes("caption"));
}

TEST_F(X11ClipboardPasteboardTest, OwnerThatStopsMidTransferOrHangsReadsAsNothingWithinTheBound) {
    const auto bound = X11ClipboardPasteboard::kLimits.conversionTimeout + kHangSlack;
    auto owner = launchOwner();
    ASSERT_TRUE(owner);
    ASSERT_TRUE(owner->serveIncrementallyAbove(64 * 1024));
    ASSERT_TRUE(owner->stallAfter(3));
    ASSERT_TRUE(owner->offerPattern("image/png", 1'000'000));
    ASSERT_TRUE(owner->offer("UTF8_STRING", pasteboardBytes("small")));
    ASSERT_TRUE(owner->own());

    const auto listed = pasteboard->items();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    auto started = Clock::now();
    EXPECT_EQ(pasteboard->data(listed->front(), "image/png"), std::nullopt) << "never a part reported as whole";
    EXPECT_LT(Clock::now() - started, bound);
    EXPECT_EQ(pasteboard->data(listed->front(), kPasteboardPlainTextType), pasteboardBytes("small"))
        << "a read after a stalled one is not confused by it";
    EXPECT_EQ(PasteboardSnapshot::capture(*pasteboard, 2), std::nullopt);

    // A hung owner: the listing itself fails, never an empty clipboard.
    ASSERT_EQ(::kill(owner->pid(), SIGSTOP), 0);
    started = Clock::now();
    EXPECT_EQ(pasteboard->items(), std::nullopt);
    EXPECT_LT(Clock::now() - started, bound);
    ::kill(owner->pid(), SIGCONT);
}

TEST_F(X11ClipboardPasteboardTest, ContentGoesToAClipboardManagerOnTheWayOut) {
    auto manager = launchOwner();
    ASSERT_TRUE(manager);
    ASSERT_TRUE(manager->manage());
    PasteboardItem item = PasteboardItem::plainText(kText);
    item.representations.push_back({"image/png", kPNG});
    ASSERT_TRUE(pasteboard->replaceContents({item}));

    pasteboard.reset();
    EXPECT_TRUE(manager->waitForNotice("saved"));
    auto reader = launchOwner();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->read("UTF8_STRING"), pasteboardBytes(kText));
    EXPECT_EQ(reader->read("image/png"), kPNG);
}

TEST_F(X11ClipboardPasteboardTest, WithoutAClipboardManagerTheWayOutIsPrompt) {
    ASSERT_TRUE(pasteboard->replaceContents({PasteboardItem::plainText("going")}));
    const auto started = Clock::now();
    pasteboard.reset();
    EXPECT_LT(Clock::now() - started, X11ClipboardSession::kManagerTimeout);
    auto reader = launchOwner();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->targets(), std::nullopt) << "the content went with its owner";
}

TEST(X11ClipboardPasteboardServerLoss, EveryCallFailsPromptlyOnceTheServerIsGone) {
    auto server = PrivateXServer::start();
    ASSERT_TRUE(server) << server.error().message;
    auto opened = X11ClipboardPasteboard::open((*server)->displayName());
    ASSERT_TRUE(opened) << opened.error().message;
    auto& pasteboard = **opened;
    ASSERT_TRUE(pasteboard.replaceContents({PasteboardItem::plainText("held")}));
    const auto listed = pasteboard.items();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    const auto count = pasteboard.changeCount();

    (*server)->kill();
    const auto started = Clock::now();
    EXPECT_EQ(pasteboard.items(), std::nullopt);
    EXPECT_EQ(pasteboard.data(listed->front(), kPasteboardPlainTextType), std::nullopt);
    EXPECT_FALSE(pasteboard.writeItems({PasteboardItem::plainText("more")}));
    EXPECT_FALSE(pasteboard.replaceContents({PasteboardItem::plainText("new")}));
    EXPECT_EQ(pasteboard.changeCount(), count);
    EXPECT_EQ(pasteboard.clearContents(), count);
    opened->reset();
    EXPECT_LT(Clock::now() - started, kHangSlack) << "no call waits for a server that is gone";
}

}  // namespace
}  // namespace murmo
