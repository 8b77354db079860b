#pragma once

// The application's icon in the menu bar (the system tray): a square item
// with an image and a menu. Shaped for a StatusNotifierItem: the image is an
// icon name or pixmap, "appears disabled" its passive status, and the menu a
// D-Bus menu rendered from the `Menu` model. Main thread only; the handlers
// run on the main loop.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Menu.h"

namespace murmo {

// Where an image comes from.
struct ImageSource {
    enum class Kind {
        // A named image among the bundle's resources ("MenuBarIcon").
        bundleResource,
        // An image file, such as the application's own image in resources/.
        file,
        // A system symbol or theme icon name ("waveform.circle.fill").
        symbol,
    };

    Kind kind = Kind::bundleResource;
    // The resource or symbol name; empty for a file.
    std::string name{};
    std::filesystem::path path{};

    static ImageSource bundleResource(std::string name) { return {Kind::bundleResource, std::move(name), {}}; }
    static ImageSource file(std::filesystem::path path) { return {Kind::file, {}, std::move(path)}; }
    static ImageSource symbol(std::string name) { return {Kind::symbol, std::move(name), {}}; }

    bool operator==(const ImageSource&) const = default;
};

struct StatusItemImage {
    // Tried in order; the first that loads is shown.
    std::vector<ImageSource> candidates{};
    // Points; absent: the image's own size.
    std::optional<double> sidePoints{};
    // Drawn in the menu bar's own colour from the image's alpha.
    bool isTemplate = true;
    std::string accessibilityDescription{};

    bool operator==(const StatusItemImage&) const = default;
};

struct StatusItemHandlers {
    // Just before the menu shows; the menu shown is the model set last,
    // after this returns.
    std::function<void()> menuWillOpen{};
    // The user chose an item that has an action.
    std::function<void(MenuAction)> onChoose{};
};

class StatusItem {
public:
    // Removes the item from the menu bar.
    virtual ~StatusItem() = default;

    // The index of the candidate shown; none when no candidate loads (the
    // item then shows no image).
    virtual std::optional<std::size_t> setImage(const StatusItemImage& image) = 0;
    virtual void setAppearsDisabled(bool appearsDisabled) = 0;
    // The model the menu shows from now on; set again after every change.
    virtual void setMenu(Menu menu) = 0;
    virtual void setHandlers(StatusItemHandlers handlers) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;

    // A new square item, without image or menu.
    virtual std::unique_ptr<StatusItem> makeSquareStatusItem() = 0;
};

}  // namespace murmo
