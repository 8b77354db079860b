#pragma once

// One of the application's own windows, hosting the dashboard's web view.
// Shaped for a GTK application window whose child is the web view: key is
// "is-active", miniaturized "minimized", occlusion visible "mapped and not
// obscured", should-close "close-request". Main thread only; notices and
// completions run on the main loop, never inside the call that caused them.

#include <functional>
#include <memory>
#include <string>

#include "platform/Alert.h"
#include "platform/WebView.h"

namespace murmo {

struct WindowSize {
    double width = 0;
    double height = 0;

    bool operator==(const WindowSize&) const = default;
};

struct WindowStyle {
    bool titled = true;
    bool closable = true;
    bool miniaturizable = true;
    bool resizable = true;
    // The content runs under a transparent title bar.
    bool fullSizeContent = false;

    bool operator==(const WindowStyle&) const = default;
};

struct WindowRequest {
    std::string title{};
    // Of the content, in points.
    WindowSize contentSize{};
    WindowSize minimumSize{};
    WindowStyle style{};

    bool operator==(const WindowRequest&) const = default;
};

enum class WindowEvent {
    becameKey,
    resignedKey,
    occlusionChanged,
    miniaturized,
    deminiaturized,
};

struct AppWindowHandlers {
    std::function<void(WindowEvent)> onEvent{};
    // The user asks to close the window; true lets it close. Absent: it
    // closes.
    std::function<bool()> shouldClose{};
};

class AppWindow {
public:
    // Closes the window without asking.
    virtual ~AppWindow() = default;

    virtual void setTitle(std::string title) = 0;
    // Shows the window in front and makes it key (the application's key
    // window once the application is active); a miniaturized one comes back.
    virtual void showAndMakeKey() = 0;
    // Hides the window; showAndMakeKey() brings it back.
    virtual void orderOut() = 0;

    virtual bool isVisible() const = 0;
    virtual bool isKey() const = 0;
    virtual bool isMiniaturized() const = 0;
    // Some of it can be seen on a screen.
    virtual bool isOcclusionVisible() const = 0;

    virtual void setHandlers(AppWindowHandlers handlers) = 0;
    // The web view that fills the window's content; it lives as long as the
    // window.
    virtual WebView& webView() = 0;
    // An alert attached to this window; as Alerts::showAlert otherwise.
    virtual void beginSheet(const AlertRequest& request, AlertCompletion completion) = 0;
};

class AppWindowFactory {
public:
    virtual ~AppWindowFactory() = default;

    // A new window, hidden until shown, with its web view.
    virtual std::unique_ptr<AppWindow> makeWindow(const WindowRequest& request) = 0;
};

}  // namespace murmo
