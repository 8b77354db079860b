#include "platform/sim/SimStatusItem.h"

#include <utility>

#include "platform/sim/SimChrome.h"
#include "platform/sim/SimMenuChoice.h"

namespace murmo {

SimStatusItem::~SimStatusItem() { chrome_.forgetStatusItem(*this); }

std::optional<std::size_t> SimStatusItem::setImage(const StatusItemImage& image) {
    image_ = image;
    shownCandidate_.reset();
    for (std::size_t index = 0; index < image.candidates.size(); ++index) {
        if (chrome_.imageLoads(image.candidates[index])) {
            shownCandidate_ = index;
            break;
        }
    }
    return shownCandidate_;
}

void SimStatusItem::setMenu(Menu menu) {
    menu_ = std::move(menu);
    ++menuUpdates_;
}

std::optional<Menu> SimStatusItem::openMenu() {
    if (!menu_) return std::nullopt;
    // The owner refreshes the model here; what shows is read afterwards.
    if (handlers_.menuWillOpen) handlers_.menuWillOpen();
    if (!menu_) return std::nullopt;
    menuOpen_ = true;
    ++menuOpenings_;
    return menu_;
}

bool SimStatusItem::chooseItem(const std::vector<std::size_t>& path) {
    if (!menuOpen_ || !menu_) return false;
    const MenuItem* item = choosableMenuItem(*menu_, path);
    if (!item) return false;
    const auto action = *item->action;
    menuOpen_ = false;
    if (handlers_.onChoose) handlers_.onChoose(action);
    return true;
}

}  // namespace murmo
