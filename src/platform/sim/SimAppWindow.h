#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/AppWindow.h"
#include "platform/sim/SimWebView.h"
#include "runtime/ObserverList.h"

namespace murmo {

class SimChrome;

// A window of the simulated desktop with its SimWebView. The user's actions
// (the test's calls) are told to the owner at once; what the application's
// own calls cause is told on the main loop. Every notice the owner was given
// is recorded in `deliveredEvents()`. The simulated desktop outlives every
// window it made.
class SimAppWindow final : public AppWindow {
public:
    // What the owner can observe, compared before and after each change.
    struct Observed {
        bool key = false;
        bool miniaturized = false;
        bool occlusionVisible = false;
    };

    SimAppWindow(SimChrome& chrome, MainLoop& loop, std::size_t id, const WindowRequest& request);
    ~SimAppWindow() override;
    SimAppWindow(const SimAppWindow&) = delete;
    SimAppWindow& operator=(const SimAppWindow&) = delete;

    void setTitle(std::string title) override { title_ = std::move(title); }
    void showAndMakeKey() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    bool isKey() const override;
    bool isMiniaturized() const override { return miniaturized_; }
    bool isOcclusionVisible() const override { return visible_ && !miniaturized_ && !occluded_; }
    void setHandlers(AppWindowHandlers handlers) override;
    WebView& webView() override { return *webView_; }
    void beginSheet(const AlertRequest& request, AlertCompletion completion) override;
    void setLoadingView(const WindowLoadingView& loadingView) override;
    void setAppearance(WindowAppearance appearance, const WindowColors& colors) override;
    void setSidebarStripWidth(double points) override { sidebarStripWidth_ = points; }
    void setSidebarButtonLabel(std::string text) override { sidebarButtonLabel_ = std::move(text); }

    // The user presses the close button: the owner's should-close decides.
    // True when the window closed (it is then hidden).
    bool userCloses();
    // The user clicks into the window: the application becomes active and
    // this window key.
    void userFocuses();
    void userMiniaturizes();
    void userDeminiaturizes();
    // Other windows cover all of it, or uncover it.
    void setCoveredByOtherWindows(bool covered);
    // The user presses the toolbar's sidebar button.
    void userPressesSidebarButton();

    std::size_t id() const { return id_; }
    const WindowRequest& request() const { return request_; }
    const std::string& title() const { return title_; }
    SimWebView& simWebView() { return *webView_; }
    int closeRequests() const { return closeRequests_; }
    const std::vector<WindowEvent>& deliveredEvents() const { return *delivered_; }
    const WindowLoadingView& loadingView() const { return loadingView_; }
    // Told at once of every change of the loading view, as it is then.
    ObserverHandle observeLoadingView(std::function<void(const WindowLoadingView&)> onChange) {
        return loadingViewObservers_.add(std::move(onChange));
    }
    WindowAppearance appearance() const { return appearance_; }
    const WindowColors& colors() const { return colors_; }
    // As last set (drawing cuts it to the window).
    double sidebarStripWidth() const { return sidebarStripWidth_; }
    const std::string& sidebarButtonLabel() const { return sidebarButtonLabel_; }

    // For SimChrome, which sequences changes across windows.
    Observed observed() const { return {isKey(), miniaturized_, isOcclusionVisible()}; }
    void tellChanges(const Observed& before, bool onTheLoop);
    void loseKey() { keyHolder_ = false; }
    bool holdsKey() const { return keyHolder_; }

private:
    void orderOutByUser();
    void tell(WindowEvent event, bool onTheLoop);

    SimChrome& chrome_;
    MainLoop& loop_;
    std::size_t id_;
    WindowRequest request_;
    std::string title_;
    bool visible_ = false;
    // The window the application's key focus goes to while it is active.
    bool keyHolder_ = false;
    bool miniaturized_ = false;
    bool occluded_ = false;
    int closeRequests_ = 0;
    WindowLoadingView loadingView_{};
    ObserverList<const WindowLoadingView&> loadingViewObservers_;
    WindowAppearance appearance_ = WindowAppearance::followSystem;
    WindowColors colors_{.chrome = {0, 0, 0, 0}, .sidebar = {0, 0, 0, 0}};
    double sidebarStripWidth_ = 0;
    std::string sidebarButtonLabel_;
    // Shared with posted notices, which outlive neither.
    std::shared_ptr<AppWindowHandlers> handlers_ = std::make_shared<AppWindowHandlers>();
    std::shared_ptr<std::vector<WindowEvent>> delivered_ = std::make_shared<std::vector<WindowEvent>>();
    std::unique_ptr<SimWebView> webView_;
};

}  // namespace murmo
