#include "shell/bridges/NativeApplicationIconBridge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "runtime/Base64.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using Bridge = NativeApplicationIconBridge;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kUnavailable(Bridge::kUnavailableText);

const WebFrameInfo kEngineFrame = frameAt("http://127.0.0.1:8765/dashboard");

// A small icon whose bytes tell it apart from others.
PixelImage icon(std::uint8_t shade, int width = 3, int height = 2) {
    const auto bytes = static_cast<std::size_t>(width * height) * PixelImage::kBytesPerPixel;
    return PixelImage{.width = width, .height = height, .rgba = std::vector<std::uint8_t>(bytes, shade)};
}

std::string dataURLOf(const PixelImage& image, int size) {
    return std::string(Bridge::kDataURLPrefix) + encodeBase64(SimIconRenderer::expectedPNG(image, size));
}

std::string request(const std::vector<std::string>& identifiers, int size) {
    return json::Json{{"bundle_ids", identifiers}, {"size", size}}.dump();
}

class NativeApplicationIconBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    NativeApplicationIconBridgeTest() : AnsweringBridgePage(kEngineFrame) {}

    SimDesktop desktop{loop};
    std::shared_ptr<Bridge> bridge =
        Bridge::create(loop, *URL::parse("http://127.0.0.1:8765"), desktop.workspace(), desktop.iconRenderer());
    std::int32_t nextPID = 700;

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
    }

    void launch(const std::string& bundleIdentifier, std::optional<PixelImage> runningIcon) {
        desktop.launch(SimProcessSetup{
            .pid = nextPID++,
            .application = SimApplicationInfo{.bundleIdentifier = bundleIdentifier, .icon = std::move(runningIcon)}});
    }
    void install(const std::string& bundleIdentifier, std::optional<PixelImage> fileIcon) {
        desktop.installApplication(bundleIdentifier, "/opt/apps/" + bundleIdentifier, std::move(fileIcon));
    }

    // The "icons" map of a successful answer, after checking the answer's
    // shape: answered once, no error, exactly the key "icons".
    json::Json icons(const std::vector<std::string>& identifiers, int size) {
        const auto payload = payloadOf(post(request(identifiers, size)));
        EXPECT_TRUE(payload.is_object() && payload.size() == 1 && payload.contains("icons")) << payload.dump();
        return payload.value("icons", json::Json());
    }
    std::size_t renderCount() { return desktop.iconRenderer().renders().size(); }
};

TEST_F(NativeApplicationIconBridgeTest, RefusedMessagesRenderNothingAndAreRejectedOnce) {
    install("com.example.notes", icon(9));
    const auto good = request({"com.example.notes"}, 64);
    const struct {
        const char* why;
        std::optional<std::string> body;
        WebFrameInfo frame = kEngineFrame;
    } rows[] = {
        {"subframe at the engine URL", good, frameAt("http://127.0.0.1:8765/dashboard", false)},
        {"another loopback host", good, frameAt("http://localhost:8765/")},
        {"another port", good, frameAt("http://127.0.0.1:8766/")},
        {"not loopback", good, frameAt("http://example.com:8765/")},
        {"no body", std::nullopt},
        {"surplus key", R"({"bundle_ids":["com.example.notes"],"size":64,"retina":true})"},
        {"size 48", request({"com.example.notes"}, 48)},
        {"one bad identifier", request({"com.example.notes", "com..example"}, 64)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    EXPECT_EQ(renderCount(), 0u);
}

TEST_F(NativeApplicationIconBridgeTest, IconsComeFromTheRunningAppElseItsFileAndUnknownOnesAreLeftOut) {
    const auto runningIcon = icon(1), fileIcon = icon(2), fallbackIcon = icon(3), installedIcon = icon(4, 5, 7);
    launch("com.example.running", runningIcon);
    install("com.example.running", fileIcon);
    launch("com.example.plain", std::nullopt);
    install("com.example.plain", fallbackIcon);
    install("com.example.installed", installedIcon);
    install("com.example.iconless", std::nullopt);
    launch("com.example.vanished", std::nullopt);  // running, neither icon nor installed location

    const auto answer = icons({"com.example.unknown", "com.example.running", "com.example.plain",
                               "com.example.installed", "com.example.iconless", "com.example.vanished"},
                              64);
    EXPECT_EQ(answer, (json::Json{{"com.example.running", dataURLOf(runningIcon, 64)},
                                  {"com.example.plain", dataURLOf(fallbackIcon, 64)},
                                  {"com.example.installed", dataURLOf(installedIcon, 64)}}));
    std::vector<PixelImage> rendered;
    for (const auto& render : desktop.iconRenderer().renders()) {
        EXPECT_EQ(render.pixelSize, 64);
        rendered.push_back(render.image);
    }
    EXPECT_EQ(rendered, (std::vector{runningIcon, fallbackIcon, installedIcon})) << "in request order";
}

TEST_F(NativeApplicationIconBridgeTest, TheDataURLCarriesThePNGBytesInOneLineOfBase64) {
    install("com.example.notes", icon(200, 9, 4));
    const auto url = icons({"com.example.notes"}, 32)["com.example.notes"].get<std::string>();
    ASSERT_TRUE(url.starts_with(Bridge::kDataURLPrefix)) << url;
    const auto bytes = decodeStrictBase64(std::string_view(url).substr(Bridge::kDataURLPrefix.size()));
    EXPECT_EQ(bytes, SimIconRenderer::expectedPNG(icon(200, 9, 4), 32)) << "strict: no line breaks, exact padding";
}

TEST_F(NativeApplicationIconBridgeTest, OnlyAnUnknownApplicationIsAnsweredWithAnEmptyMap) {
    EXPECT_EQ(icons({"com.example.absent"}, 32), json::Json::object());
    EXPECT_EQ(renderCount(), 0u);
}

TEST_F(NativeApplicationIconBridgeTest, ARepeatComesFromTheCacheAndTheOtherSizeRendersAgain) {
    install("com.example.notes", icon(5));
    install("com.example.mail", icon(6));
    const auto first = icons({"com.example.notes"}, 64);
    ASSERT_EQ(renderCount(), 1u);

    // The icon changes; the cached answer stays until it is evicted.
    install("com.example.notes", icon(7));
    EXPECT_EQ(icons({"com.example.notes"}, 64), first);
    EXPECT_EQ(renderCount(), 1u) << "answered from the cache";

    const auto mixed = icons({"com.example.mail", "com.example.notes"}, 32);
    EXPECT_EQ(mixed, (json::Json{{"com.example.mail", dataURLOf(icon(6), 32)},
                                 {"com.example.notes", dataURLOf(icon(7), 32)}}));
    ASSERT_EQ(renderCount(), 3u);
    EXPECT_EQ(desktop.iconRenderer().renders()[2].pixelSize, 32);
}

TEST_F(NativeApplicationIconBridgeTest, AFailedRenderLeavesTheIconOutAndIsNotCached) {
    install("com.example.notes", icon(5));
    desktop.iconRenderer().setFails(true);
    EXPECT_EQ(icons({"com.example.notes"}, 64), json::Json::object());
    desktop.iconRenderer().setFails(false);
    EXPECT_EQ(icons({"com.example.notes"}, 64), (json::Json{{"com.example.notes", dataURLOf(icon(5), 64)}}));
    EXPECT_EQ(renderCount(), 2u);
}

TEST_F(NativeApplicationIconBridgeTest, TheCacheKeepsTheLast256IconsUsed) {
    std::vector<std::vector<std::string>> batches(5);
    for (int i = 0; i < 5 * 64; ++i) {
        const auto identifier = "com.example.app" + std::to_string(i);
        install(identifier, icon(static_cast<std::uint8_t>(i)));
        batches[static_cast<std::size_t>(i / 64)].push_back(identifier);
    }
    for (const auto& batch : batches) EXPECT_EQ(icons(batch, 64).size(), 64u);
    ASSERT_EQ(renderCount(), 320u);

    icons({"com.example.app319", "com.example.app64"}, 64);
    EXPECT_EQ(renderCount(), 320u) << "the 256 most recent are still cached";
    icons({"com.example.app63"}, 64);
    EXPECT_EQ(renderCount(), 321u) << "the oldest were evicted";
}

TEST_F(NativeApplicationIconBridgeTest, AnAcceptedRequestIsAnsweredOnceOnALaterTurn) {
    install("com.example.notes", icon(5));
    const auto index = send(request({"com.example.notes"}, 64));
    EXPECT_EQ(replyTo(index).answers, 0) << "resolved on the loop, not in the callback";
    EXPECT_EQ(renderCount(), 0u);
    loop.runUntilIdle();
    EXPECT_EQ(replyTo(index).answers, 1);
    EXPECT_FALSE(replyTo(index).droppedUnanswered);
    EXPECT_EQ(replyTo(index).errorMessage, std::nullopt);
}

TEST_F(NativeApplicationIconBridgeTest, ABridgeGoneBeforeItsTaskAnswersUnavailable) {
    install("com.example.notes", icon(5));
    const auto pending = send(request({"com.example.notes"}, 64));
    bridge.reset();
    loop.runUntilIdle();
    EXPECT_EQ(replyTo(pending).answers, 1);
    EXPECT_EQ(replyTo(pending).valueJSON, std::nullopt);
    EXPECT_EQ(replyTo(pending).errorMessage, kUnavailable);
    EXPECT_EQ(renderCount(), 0u);
    EXPECT_EQ(post(request({"com.example.notes"}, 64)).errorMessage, kUnavailable) << "the handler itself";
}

}  // namespace
}  // namespace murmo
