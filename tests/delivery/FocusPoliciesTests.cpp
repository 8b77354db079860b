#include <gtest/gtest.h>

#include <map>

#include "delivery/FocusPolicies.h"

namespace murmo {
namespace {

using Role = std::optional<std::string>;

TEST(FocusEditableTargetPolicyTest, PasteCapability) {
    struct Row {
        bool hasRange, selectedTextSettable, valueSettable;
        Role role;
        bool expected;
    };
    const Row rows[] = {
        {true, false, false, std::nullopt, true},   {false, true, false, "AXButton", true},
        {false, false, false, std::nullopt, false}, {false, false, false, "AXTextField", true},
        {false, false, false, "AXTextArea", true},  {false, false, false, "AXComboBox", true},
        {false, false, false, "AXWebArea", false},  {false, false, true, "AXWebArea", true},
        {false, false, true, "AXGroup", true},      {false, false, true, "AXGenericElement", true},
        {false, false, true, "AXButton", false},    {false, false, true, "AXScrollArea", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FocusEditableTargetPolicy::isPasteCapable(row.hasRange, row.selectedTextSettable, row.valueSettable,
                                                            row.role),
                  row.expected)
            << row.role.value_or("<none>") << " settable=" << row.valueSettable;
    }
}

TEST(FocusCandidatePolicyTest, PartialTreesAreWorthWaitingFor) {
    using D = FocusCandidateDisposition;
    const std::pair<Role, D> notPasteCapable[] = {
        {std::nullopt, D::retryablePartialTree},   {"", D::retryablePartialTree},
        {"AXUnknown", D::retryablePartialTree},    {"AXGenericElement", D::retryablePartialTree},
        {"AXWebArea", D::retryablePartialTree},    {"AXGroup", D::retryablePartialTree},
        {"AXScrollArea", D::retryablePartialTree}, {"AXButton", D::terminalNotEditable},
        {"AXStaticText", D::terminalNotEditable},
    };
    for (const auto& [role, expected] : notPasteCapable) {
        EXPECT_EQ(FocusCandidatePolicy::disposition(role, false), expected) << role.value_or("<none>");
    }
    EXPECT_EQ(FocusCandidatePolicy::disposition("AXButton", true), D::ready);
    EXPECT_EQ(FocusCandidatePolicy::disposition(std::nullopt, true), D::ready);
}

TEST(FocusSelectionRevalidationPolicyTest, Dispositions) {
    using D = FocusSelectionDisposition;
    EXPECT_EQ(FocusSelectionRevalidationPolicy::disposition(std::nullopt, std::nullopt), D::exact);
    EXPECT_EQ(FocusSelectionRevalidationPolicy::disposition(AXTextRange{3, 0}, std::nullopt), D::transient);
    EXPECT_EQ(FocusSelectionRevalidationPolicy::disposition(AXTextRange{3, 1}, AXTextRange{3, 1}), D::exact);
    EXPECT_EQ(FocusSelectionRevalidationPolicy::disposition(AXTextRange{3, 1}, AXTextRange{3, 0}), D::changed);
    EXPECT_EQ(FocusSelectionRevalidationPolicy::disposition(AXTextRange{3, 0}, AXTextRange{4, 0}), D::changed);
}

TEST(FocusApplicationFamilyPolicyTest, OwnerAcceptance) {
    // "/Links/Host.app" is another name of the host bundle.
    const std::map<std::string, std::string> links{{"/Links/Host.app", "/Applications/Host.app"}};
    auto canonical = [&](const std::filesystem::path& path) {
        auto normal = path.lexically_normal().string();
        if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
        for (const auto& [link, target] : links) {
            if (normal == link || normal.starts_with(link + "/")) normal = target + normal.substr(link.size());
        }
        return std::filesystem::path(normal);
    };
    using Path = std::optional<std::filesystem::path>;
    const Path host = "/Applications/Host.app";
    struct Row {
        std::int32_t hostPID, ownerPID;
        Path hostURL, ownerURL;
        bool descendant, expected;
        const char* what;
    };
    const Row rows[] = {
        {10, 10, std::nullopt, std::nullopt, false, true, "same process"},
        {10, 11, std::nullopt, std::nullopt, true, true, "descendant"},
        {0, 0, host, host, true, false, "no host pid"},
        {10, -1, host, host, true, false, "negative owner pid"},
        {10, 11, host, std::nullopt, false, false, "owner without bundle"},
        {10, 11, std::nullopt, host, false, false, "host without bundle"},
        {10, 11, host, "/Applications/Host.app/", false, true, "same bundle, trailing slash"},
        {10, 11, host, "/Applications/Host.app/Contents", false, true, "the Contents folder"},
        {10, 11, host, "/Applications/Host.app/Contents/Frameworks/Helper.app", false, true, "nested helper"},
        {10, 11, host, "/Links/Host.app/Contents/Helper.app", false, true, "helper through a link"},
        {10, 11, host, "/Applications/Host.app/Contents/../../Other.app", false, false, "escapes the bundle"},
        {10, 11, host, "/Applications/Host.app/ContentsX/Helper.app", false, false, "look-alike folder"},
        {10, 11, host, "/Applications/Host.appx", false, false, "look-alike bundle"},
        {10, 11, host, "/Applications/Other.app", false, false, "unrelated application"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FocusApplicationFamilyPolicy::permitsElementOwner(row.hostPID, row.ownerPID, row.hostURL,
                                                                    row.ownerURL, row.descendant, canonical),
                  row.expected)
            << row.what;
    }
}

}  // namespace
}  // namespace murmo
