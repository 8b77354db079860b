#pragma once

// One request of the dashboard for application icons, read from a script
// message body {"bundle_ids": [...], "size": n}: 1 to 64 distinct bundle
// identifiers, each well formed, and a pixel size the page may ask for. It
// exists only when the whole body conforms; one bad identifier refuses the
// request.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/JsonRead.h"

namespace murmo {

struct NativeApplicationIconsCommand {
    static constexpr std::size_t maximumBatchSize = 64;
    static constexpr std::array<int, 2> supportedPixelSizes{32, 64};
    static constexpr std::size_t maximumIdentifierBytes = 255;

    // In request order, distinct.
    std::vector<std::string> bundleIdentifiers;
    int size = 0;

    static std::optional<NativeApplicationIconsCommand> fromBody(const std::optional<json::Json>& body);

    // Not empty, at most 255 bytes, only ASCII letters, digits, "." and "-",
    // and every "."-separated piece begins and ends with a letter or digit
    // (so no empty piece, no leading, trailing or doubled dot, and hyphens
    // only inside a piece).
    static bool isValidBundleIdentifier(std::string_view identifier);

    bool operator==(const NativeApplicationIconsCommand&) const = default;
};

}  // namespace murmo
