// A cold request of the dashboard for 64 application icons at 64 pixels:
// through the icon bridge (body checks, the workspace's icons, Cairo's render
// and PNG, Base64, the JSON answer), beside the same scaled drawing and PNG
// encoding of 64 icons in bare Cairo (the floor of the work).

#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/CairoIconRenderer.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"
#include "shell/bridges/NativeApplicationIconBridge.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;

constexpr int kIcons = 64;
constexpr int kPixelSize = 64;
// What an icon theme or a bundle typically hands out before scaling.
constexpr int kSourceSize = 256;

PixelImage sourceIcon(int seed) {
    PixelImage image{.width = kSourceSize, .height = kSourceSize, .rgba = {}};
    image.rgba.reserve(static_cast<std::size_t>(kSourceSize) * kSourceSize * PixelImage::kBytesPerPixel);
    for (int y = 0; y < kSourceSize; ++y) {
        for (int x = 0; x < kSourceSize; ++x) {
            const bool inside = (x - 128) * (x - 128) + (y - 128) * (y - 128) < 120 * 120;
            image.rgba.insert(image.rgba.end(),
                              {static_cast<std::uint8_t>(x + seed), static_cast<std::uint8_t>(y),
                               static_cast<std::uint8_t>(seed * 3), static_cast<std::uint8_t>(inside ? 255 : 0)});
        }
    }
    return image;
}

std::string identifier(int index) { return "com.example.app" + std::to_string(index); }

void BM_BridgeColdRequest(benchmark::State& state) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    CairoIconRenderer renderer;
    SimWebView view{loop};
    auto identifiers = json::Json::array();
    for (int i = 0; i < kIcons; ++i) {
        desktop.installApplication(identifier(i), "/opt/apps/" + identifier(i), sourceIcon(i));
        identifiers.push_back(identifier(i));
    }
    const auto body = json::Json{{"bundle_ids", identifiers}, {"size", kPixelSize}}.dump();
    const WebFrameInfo frame{true, URL::parse("http://127.0.0.1:8765/")};
    const auto origin = *URL::parse("http://127.0.0.1:8765");
    for (auto _ : state) {
        // A new bridge each time: its cache starts empty.
        auto bridge = NativeApplicationIconBridge::create(loop, origin, desktop.workspace(), renderer);
        view.removeScriptMessageHandler(NativeApplicationIconBridge::kHandlerName);
        view.addScriptMessageHandlerWithReply(NativeApplicationIconBridge::kHandlerName, bridge->handler());
        const auto index = view.postMessage(NativeApplicationIconBridge::kHandlerName, frame, body);
        loop.runUntilIdle();
        const auto& reply = *view.messages()[index].reply;
        if (!reply.valueJSON || reply.valueJSON->size() < kIcons * 100) state.SkipWithError("no icons answered");
        benchmark::DoNotOptimize(reply.valueJSON->data());
    }
}
BENCHMARK(BM_BridgeColdRequest)->Unit(benchmark::kMillisecond);

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

// The icons as Cairo takes them, premultiplied once outside the timing.
Surface premultipliedSurface(const PixelImage& image) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height));
    auto* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const auto* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            const std::uint32_t a = p[3];
            const std::uint32_t pixel = a << 24 | (p[0] * a / 255) << 16 | (p[1] * a / 255) << 8 | (p[2] * a / 255);
            std::memcpy(data + y * stride + x * 4, &pixel, sizeof pixel);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(closure);
    bytes.insert(bytes.end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

void BM_BareCairoFloor(benchmark::State& state) {
    std::vector<Surface> sources;
    for (int i = 0; i < kIcons; ++i) sources.push_back(premultipliedSurface(sourceIcon(i)));
    for (auto _ : state) {
        for (const auto& source : sources) {
            Surface square(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPixelSize, kPixelSize));
            auto* cr = cairo_create(square.get());
            cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
            cairo_paint(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            cairo_scale(cr, static_cast<double>(kPixelSize) / kSourceSize,
                        static_cast<double>(kPixelSize) / kSourceSize);
            cairo_set_source_surface(cr, source.get(), 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
            cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
            cairo_rectangle(cr, 0, 0, kSourceSize, kSourceSize);
            cairo_fill(cr);
            cairo_destroy(cr);
            std::vector<std::uint8_t> png;
            cairo_surface_write_to_png_stream(square.get(), append, &png);
            benchmark::DoNotOptimize(png.data());
        }
    }
}
BENCHMARK(BM_BareCairoFloor)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_BridgeColdRequest", "BM_BareCairoFloor")) {
            std::printf("BridgeColdRequest: %.2fx bare Cairo scaling and PNG encoding of the same %d icons\n", *ratio,
                        kIcons);
        }
    });
}
