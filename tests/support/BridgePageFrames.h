#pragma once

// Frames of the engine's page that the tests of its bridges post from: the
// engine's main frame, and the frames no bridge of the page may hear.

#include <optional>
#include <string_view>
#include <vector>

#include "platform/WebView.h"
#include "runtime/URL.h"

namespace murmo::testing {

inline constexpr std::string_view kBridgeEngineURL = "http://127.0.0.1:8765";

inline WebFrameInfo frameAt(const char* url, bool isMainFrame = true) { return {isMainFrame, URL::parse(url)}; }
inline WebFrameInfo engineMainFrame() { return frameAt("http://127.0.0.1:8765/"); }

// Frames no bridge of the engine's page may hear: a subframe of the page,
// another port, scheme or host, a main frame without a URL, and a frame the
// web view could not tell.
inline std::vector<std::optional<WebFrameInfo>> framesNotHeard() {
    return {frameAt("http://127.0.0.1:8765/", false), frameAt("http://127.0.0.1:8766/"),
            frameAt("https://127.0.0.1:8765/"),       frameAt("http://example.org:8765/"),
            WebFrameInfo{true, std::nullopt},         std::nullopt};
}

}  // namespace murmo::testing
