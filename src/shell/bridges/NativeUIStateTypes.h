#pragma once

// What the dashboard page reports of its layout under "murmoUIState": whether
// the sidebar is expanded, the sidebar's width, and which sidebar cards the
// user dismissed. Each message body has exactly one key, and each command
// reads only its own.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/JsonRead.h"

namespace murmo {

enum class NativeSidebarPreference { expanded, collapsed };

// "expanded" or "collapsed".
std::string_view rawValue(NativeSidebarPreference preference);
// Exact, case-sensitive.
std::optional<NativeSidebarPreference> nativeSidebarPreferenceFromRawValue(std::string_view rawValue);

// {"sidebar": "expanded" | "collapsed"}
struct NativeUIStateCommand {
    NativeSidebarPreference sidebar = NativeSidebarPreference::expanded;

    static std::optional<NativeUIStateCommand> fromBody(const std::optional<json::Json>& body);
    bool operator==(const NativeUIStateCommand&) const = default;
};

// {"sidebarWidth": points}, a finite JSON number (never a boolean) from 0 to
// 640 inclusive, passed on unrounded.
struct NativeSidebarWidthCommand {
    static constexpr double maximumWidth = 640;

    double width = 0;

    static std::optional<NativeSidebarWidthCommand> fromBody(const std::optional<json::Json>& body);
    bool operator==(const NativeSidebarWidthCommand&) const = default;
};

// {"dismissCard": identifier}, one of the cards that may be dismissed.
struct NativeSidebarCardDismissCommand {
    static constexpr std::array<std::string_view, 1> allowedIDs{"email-workflow-v1"};
    static bool isAllowed(std::string_view cardID);

    std::string cardID;

    static std::optional<NativeSidebarCardDismissCommand> fromBody(const std::optional<json::Json>& body);
    bool operator==(const NativeSidebarCardDismissCommand&) const = default;
};

}  // namespace murmo
