#include "shell/bridges/NativeApplicationIconsCommand.h"

#include <algorithm>
#include <ranges>
#include <set>
#include <span>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

// Byte-wise: every byte of a non-ASCII character is refused on its own.
bool isASCIIAlphanumeric(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

bool isAllowedCharacter(char c) { return isASCIIAlphanumeric(c) || c == '.' || c == '-'; }

bool isValidPiece(std::string_view piece) {
    return !piece.empty() && isASCIIAlphanumeric(piece.front()) && isASCIIAlphanumeric(piece.back());
}

std::optional<std::vector<std::string>> distinctValidIdentifiers(std::span<const json::Json> elements) {
    if (elements.empty() || elements.size() > NativeApplicationIconsCommand::maximumBatchSize) return std::nullopt;
    std::vector<std::string> identifiers;
    std::set<std::string_view> seen;
    for (const auto& element : elements) {
        if (!element.is_string()) return std::nullopt;
        const auto& identifier = element.get_ref<const std::string&>();
        if (!NativeApplicationIconsCommand::isValidBundleIdentifier(identifier)) return std::nullopt;
        if (!seen.insert(identifier).second) return std::nullopt;
        identifiers.push_back(identifier);
    }
    return identifiers;
}

std::optional<int> pixelSize(double number) {
    const auto& sizes = NativeApplicationIconsCommand::supportedPixelSizes;
    const auto found = std::ranges::find_if(sizes, [number](int size) { return number == static_cast<double>(size); });
    if (found == sizes.end()) return std::nullopt;
    return *found;
}

}  // namespace

bool NativeApplicationIconsCommand::isValidBundleIdentifier(std::string_view identifier) {
    if (identifier.empty() || identifier.size() > maximumIdentifierBytes) return false;
    if (!std::ranges::all_of(identifier, isAllowedCharacter)) return false;
    return std::ranges::all_of(identifier | std::views::split('.'),
                               [](auto piece) { return isValidPiece(std::string_view(piece.begin(), piece.end())); });
}

std::optional<NativeApplicationIconsCommand> NativeApplicationIconsCommand::fromBody(
    const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"bundle_ids", "size"})) return std::nullopt;
    const auto elements = object->array("bundle_ids");
    const auto number = object->number("size");
    if (!elements || !number) return std::nullopt;
    auto identifiers = distinctValidIdentifiers(*elements);
    const auto size = pixelSize(*number);
    if (!identifiers || !size) return std::nullopt;
    return NativeApplicationIconsCommand{.bundleIdentifiers = std::move(*identifiers), .size = *size};
}

}  // namespace murmo
