#include "platform/sim/SimChrome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using Location = std::optional<std::filesystem::path>;

TEST(SimChromeSavePanelTest, PanelsAreListedWithTheirRequestsAndCompleteOnceOnTheLoop) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SavePanel& port = desktop.ports().savePanel;
    SimChrome& chrome = desktop.chrome();
    std::vector<std::pair<int, Location>> completed;
    const SavePanelRequest text{.suggestedName = "a.txt"};
    const SavePanelRequest json{
        .suggestedName = "b.json", .contentType = SaveContentType::json, .canCreateFolders = false};
    for (int panel = 0; panel < 3; ++panel) {
        port.beginSavePanel(panel == 1 ? json : text,
                            [&completed, panel](Location location) { completed.emplace_back(panel, location); });
    }
    ASSERT_EQ(chrome.openSavePanels(), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(chrome.savePanels()[1].request, json);

    const std::filesystem::path withNul(std::string("/tmp/x\0y.txt", 12));
    EXPECT_TRUE(chrome.chooseSaveLocation(1, withNul));
    EXPECT_TRUE(chrome.cancelSavePanel(2));
    EXPECT_TRUE(completed.empty()) << "completions run on the loop, never inside the user's action";
    EXPECT_FALSE(chrome.cancelSavePanel(1)) << "a closed panel stays closed";
    EXPECT_FALSE(chrome.chooseSaveLocation(7, "/tmp/none.txt"));
    loop.runUntilIdle();

    EXPECT_EQ(completed, (std::vector<std::pair<int, Location>>{{1, withNul}, {2, std::nullopt}}));
    EXPECT_EQ(completed[0].second->native().size(), 12u) << "the path keeps its length";
    EXPECT_EQ(chrome.openSavePanels(), (std::vector<std::size_t>{0}));
    EXPECT_EQ(chrome.savePanels()[1].location, withNul);
    EXPECT_FALSE(chrome.savePanels()[2].open);
}

}  // namespace
}  // namespace murmo
