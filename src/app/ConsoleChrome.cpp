#include "app/ConsoleChrome.h"

#include <cstdio>

namespace murmo {

namespace {

class ConsoleStatusItem final : public StatusItem {
public:
    ConsoleStatusItem(std::unique_ptr<StatusItem> inner, ConsoleChrome::Print print)
        : inner_(std::move(inner)), print_(std::move(print)) {}

    std::optional<std::size_t> setImage(const StatusItemImage& image) override { return inner_->setImage(image); }
    void setAppearsDisabled(bool appearsDisabled) override { inner_->setAppearsDisabled(appearsDisabled); }
    void setHandlers(StatusItemHandlers handlers) override { inner_->setHandlers(std::move(handlers)); }

    // The first line of the menu is its state line.
    void setMenu(Menu menu) override {
        if (!menu.items.empty() && !menu.items.front().title.empty() && menu.items.front().title != stateLine_) {
            stateLine_ = menu.items.front().title;
            print_("Murmo: " + stateLine_);
        }
        inner_->setMenu(std::move(menu));
    }

private:
    std::unique_ptr<StatusItem> inner_;
    ConsoleChrome::Print print_;
    std::string stateLine_;
};

// The dashboard is loaded once its loading view is hidden.
class ConsoleAppWindow final : public AppWindow {
public:
    ConsoleAppWindow(std::unique_ptr<AppWindow> inner, ConsoleChrome::Print print)
        : inner_(std::move(inner)), print_(std::move(print)) {}

    void setTitle(std::string title) override { inner_->setTitle(std::move(title)); }
    void showAndMakeKey() override { inner_->showAndMakeKey(); }
    void orderOut() override { inner_->orderOut(); }
    bool isVisible() const override { return inner_->isVisible(); }
    bool isKey() const override { return inner_->isKey(); }
    bool isMiniaturized() const override { return inner_->isMiniaturized(); }
    bool isOcclusionVisible() const override { return inner_->isOcclusionVisible(); }
    void setHandlers(AppWindowHandlers handlers) override { inner_->setHandlers(std::move(handlers)); }
    WebView& webView() override { return inner_->webView(); }
    void beginSheet(const AlertRequest& request, AlertCompletion completion) override {
        inner_->beginSheet(request, std::move(completion));
    }
    void setAppearance(WindowAppearance appearance, const WindowColors& colors) override {
        inner_->setAppearance(appearance, colors);
    }
    void setSidebarStripWidth(double points) override { inner_->setSidebarStripWidth(points); }
    void setSidebarButtonLabel(std::string text) override { inner_->setSidebarButtonLabel(std::move(text)); }

    void setLoadingView(const WindowLoadingView& loadingView) override {
        if (loadingView.shown != loadingShown_) {
            loadingShown_ = loadingView.shown;
            print_(loadingView.shown ? "Murmo: dashboard loading" : "Murmo: dashboard loaded");
        }
        inner_->setLoadingView(loadingView);
    }

private:
    std::unique_ptr<AppWindow> inner_;
    ConsoleChrome::Print print_;
    std::optional<bool> loadingShown_;
};

}  // namespace

class ConsoleChrome::Bar final : public StatusBar {
public:
    Bar(StatusBar& inner, Print print) : inner_(inner), print_(std::move(print)) {}

    std::unique_ptr<StatusItem> makeSquareStatusItem() override {
        return std::make_unique<ConsoleStatusItem>(inner_.makeSquareStatusItem(), print_);
    }

private:
    StatusBar& inner_;
    Print print_;
};

class ConsoleChrome::Windows final : public AppWindowFactory {
public:
    Windows(AppWindowFactory& inner, Print print) : inner_(inner), print_(std::move(print)) {}

    std::unique_ptr<AppWindow> makeWindow(const WindowRequest& request) override {
        return std::make_unique<ConsoleAppWindow>(inner_.makeWindow(request), print_);
    }

private:
    AppWindowFactory& inner_;
    Print print_;
};

ConsoleChrome::ConsoleChrome(StatusBar& statusBar, AppWindowFactory& windows, Print print)
    : bar_(std::make_unique<Bar>(statusBar, print)), windows_(std::make_unique<Windows>(windows, std::move(print))) {}

ConsoleChrome::~ConsoleChrome() = default;

StatusBar& ConsoleChrome::statusBar() { return *bar_; }

AppWindowFactory& ConsoleChrome::windows() { return *windows_; }

void ConsoleChrome::printToStandardOutput(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace murmo
