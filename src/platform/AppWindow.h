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
#include "platform/WindowAppearance.h"

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
    // Empty: none. Otherwise the window's frame is kept under this name: a
    // frame saved earlier is restored when the window is made, else the
    // window comes up centred.
    std::string frameAutosaveName{};

    bool operator==(const WindowRequest&) const = default;
};

// What covers the web view while its page is not there: a running spinner
// above a one-line label, in the window chrome colour.
struct WindowLoadingView {
    // Hidden, the web view shows; shown, the spinner runs.
    bool shown = true;
    std::string label{};

    bool operator==(const WindowLoadingView&) const = default;
};

// The colours the window paints itself in.
struct WindowColors {
    // The window's background, the loading view's and what the web view
    // shows beyond its page.
    RGBAColor chrome{};
    // The strip along the leading edge, under the transparent title bar,
    // beside the page's own sidebar.
    RGBAColor sidebar{};

    bool operator==(const WindowColors&) const = default;
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
    // The user pressed the toolbar's sidebar button.
    std::function<void()> onSidebarButtonPressed{};
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

    // ---- What the dashboard window shows around its page -------------------------
    // Shown at creation, with an empty label.
    virtual void setLoadingView(const WindowLoadingView& loadingView) = 0;
    // Follow the system at creation, in transparent colours.
    virtual void setAppearance(WindowAppearance appearance, const WindowColors& colors) = 0;
    // The width of the sidebar strip in points, from 0 up to the window's
    // width (more is cut to it, less than 0 is 0).
    virtual void setSidebarStripWidth(double points) = 0;
    // The title bar's toolbar holds one button, which shows or hides the
    // page's sidebar (AppWindowHandlers::onSidebarButtonPressed); this text
    // is its label, tool tip and accessibility label.
    virtual void setSidebarButtonLabel(std::string text) = 0;
};

class AppWindowFactory {
public:
    virtual ~AppWindowFactory() = default;

    // A new window, hidden until shown, with its web view.
    virtual std::unique_ptr<AppWindow> makeWindow(const WindowRequest& request) = 0;
};

}  // namespace murmo
