#include "shell/bridges/NativeUIStateStore.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDefaultsStore.h"

namespace murmo {
namespace {

TEST(NativeUIStateStoreTest, StoredSidebarTable) {
    struct Case {
        std::optional<nlohmann::json> stored;
        NativeSidebarPreference reads;
    };
    const Case cases[] = {
        {std::nullopt, NativeSidebarPreference::expanded},
        {"collapsed", NativeSidebarPreference::collapsed},
        {"expanded", NativeSidebarPreference::expanded},
        {"Collapsed", NativeSidebarPreference::expanded},
        {"collapsed ", NativeSidebarPreference::expanded},
        {true, NativeSidebarPreference::expanded},
        {nlohmann::json::array({"collapsed"}), NativeSidebarPreference::expanded},
    };
    for (const auto& c : cases) {
        SimDefaultsStore defaults;
        if (c.stored) defaults.preset(NativeUIStateStore::sidebarKey, *c.stored);
        EXPECT_EQ(NativeUIStateStore(defaults).sidebar(), c.reads) << (c.stored ? c.stored->dump() : "(none)");
    }
}

TEST(NativeUIStateStoreTest, SidebarIsStoredAsItsRawValue) {
    SimDefaultsStore defaults;
    NativeUIStateStore store(defaults);
    store.setSidebar(NativeSidebarPreference::collapsed);
    EXPECT_EQ(store.sidebar(), NativeSidebarPreference::collapsed);
    store.setSidebar(NativeSidebarPreference::expanded);
    EXPECT_EQ(store.sidebar(), NativeSidebarPreference::expanded);
    const std::vector<SimDefaultsStore::Change> expected = {
        {"Murmo.UI.sidebar", nlohmann::json("collapsed")},
        {"Murmo.UI.sidebar", nlohmann::json("expanded")},
    };
    EXPECT_EQ(defaults.changes(), expected);
}

TEST(NativeUIStateStoreTest, StoredCardsTable) {
    struct Case {
        std::optional<nlohmann::json> stored;
        std::vector<std::string> reads;
    };
    const Case cases[] = {
        {std::nullopt, {}},
        {nlohmann::json::array(), {}},
        {nlohmann::json::array({"email-workflow-v1"}), {"email-workflow-v1"}},
        {nlohmann::json::array({"a-card", "email-workflow-v1", "z-card"}), {"email-workflow-v1"}},
        {nlohmann::json::array({"EMAIL-WORKFLOW-V1"}), {}},
        // Not an array of strings: nothing was dismissed.
        {nlohmann::json::array({"email-workflow-v1", 3}), {}},
        {"email-workflow-v1", {}},
        {nlohmann::json::object({{"email-workflow-v1", true}}), {}},
    };
    for (const auto& c : cases) {
        SimDefaultsStore defaults;
        if (c.stored) defaults.preset(NativeUIStateStore::dismissedCardsKey, *c.stored);
        EXPECT_EQ(NativeUIStateStore(defaults).dismissedCards(), c.reads) << (c.stored ? c.stored->dump() : "(none)");
    }
}

TEST(NativeUIStateStoreTest, DismissingStoresEachAllowedCardOnce) {
    SimDefaultsStore defaults;
    defaults.preset(NativeUIStateStore::dismissedCardsKey, nlohmann::json::array({"old-card", 7}));
    NativeUIStateStore store(defaults);

    store.dismissCard("unknown-card");
    store.dismissCard("Email-workflow-v1");
    EXPECT_TRUE(defaults.changes().empty());

    store.dismissCard("email-workflow-v1");
    store.dismissCard("email-workflow-v1");
    EXPECT_EQ(defaults.value(NativeUIStateStore::dismissedCardsKey), nlohmann::json({"email-workflow-v1"}));
    EXPECT_EQ(store.dismissedCards(), std::vector<std::string>{"email-workflow-v1"});
}

}  // namespace
}  // namespace murmo
