#pragma once

#include "platform/Pasteboard.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// The pasteboard port on the simulated desktop.
class SimPasteboard final : public Pasteboard {
public:
    explicit SimPasteboard(SimDesktop& desktop) : desktop_(desktop) {}

    std::int64_t changeCount() override;
    std::optional<std::vector<PasteboardItemReference>> items() override;
    std::optional<PasteboardBytes> data(const PasteboardItemReference& item, std::string_view type) override;
    std::int64_t clearContents() override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    // Fails on a scripted write fault.
    bool replaceContents(const std::vector<PasteboardItem>& items) override;

private:
    SimDesktop& desktop_;
};

}  // namespace murmo
