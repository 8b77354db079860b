#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "platform/StatusItem.h"

namespace murmo {

class SimChrome;

// A status item of the simulated menu bar. Tests find the live ones through
// SimChrome::statusItems() and play the user at its menu. The simulated
// desktop outlives every item it made.
class SimStatusItem final : public StatusItem {
public:
    explicit SimStatusItem(SimChrome& chrome) : chrome_(chrome) {}
    ~SimStatusItem() override;
    SimStatusItem(const SimStatusItem&) = delete;
    SimStatusItem& operator=(const SimStatusItem&) = delete;

    std::optional<std::size_t> setImage(const StatusItemImage& image) override;
    void setAppearsDisabled(bool appearsDisabled) override { appearsDisabled_ = appearsDisabled; }
    void setMenu(Menu menu) override;
    void setHandlers(StatusItemHandlers handlers) override { handlers_ = std::move(handlers); }

    // The user clicks the item: the will-open notice runs first, then the
    // menu shows the model set last. None, and nothing opens, without a menu.
    std::optional<Menu> openMenu();
    // The user chooses the item at `path` in the open menu; the menu closes.
    // False, and nothing happens, when no menu is open or the item cannot be
    // chosen (a separator, a label, a disabled item).
    bool chooseItem(const std::vector<std::size_t>& path);
    void closeMenu() { menuOpen_ = false; }

    bool isMenuOpen() const { return menuOpen_; }
    const std::optional<Menu>& menu() const { return menu_; }
    // How many models were set, and how many times the menu opened.
    int menuUpdates() const { return menuUpdates_; }
    int menuOpenings() const { return menuOpenings_; }
    const std::optional<StatusItemImage>& image() const { return image_; }
    // The candidate shown, as setImage() answered.
    std::optional<std::size_t> shownCandidate() const { return shownCandidate_; }
    bool appearsDisabled() const { return appearsDisabled_; }

private:
    SimChrome& chrome_;
    std::optional<StatusItemImage> image_;
    std::optional<std::size_t> shownCandidate_;
    bool appearsDisabled_ = false;
    std::optional<Menu> menu_;
    StatusItemHandlers handlers_;
    bool menuOpen_ = false;
    int menuUpdates_ = 0;
    int menuOpenings_ = 0;
};

}  // namespace murmo
