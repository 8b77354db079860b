#pragma once

// The general pasteboard (the user's clipboard): an ordered list of items,
// each holding the same content in one or more typed representations, and a
// change count that moves whenever anyone takes the pasteboard over.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// The type of UTF-8 plain text.
inline constexpr std::string_view kPasteboardPlainTextType = "public.utf8-plain-text";

using PasteboardBytes = std::vector<std::uint8_t>;

// One representation of an item: its bytes under one type.
struct PasteboardRepresentation {
    std::string type{};
    PasteboardBytes data{};
    bool operator==(const PasteboardRepresentation&) const = default;
};

// One item with its representations in the order of its types.
struct PasteboardItem {
    std::vector<PasteboardRepresentation> representations{};
    bool operator==(const PasteboardItem&) const = default;

    static PasteboardItem plainText(std::string_view text);
    // The bytes of the first representation of `type`, if any.
    const PasteboardBytes* data(std::string_view type) const;
};

PasteboardBytes pasteboardBytes(std::string_view text);

// An item as the pasteboard lists it: where it sits, the change count it
// belongs to, and its types. Its data is read separately, since the owner
// may provide it only on demand.
struct PasteboardItemReference {
    std::int64_t changeCount = 0;
    std::size_t index = 0;
    std::vector<std::string> types{};
    bool operator==(const PasteboardItemReference&) const = default;
};

// Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    virtual std::int64_t changeCount() = 0;
    // The items on the pasteboard now. Absent when the pasteboard cannot be
    // read at all, which is not the same as an empty pasteboard.
    virtual std::optional<std::vector<PasteboardItemReference>> items() = 0;
    // The bytes of one representation. Absent when its owner cannot provide
    // them, or when the item no longer is on the pasteboard (the change count
    // moved since it was listed).
    virtual std::optional<PasteboardBytes> data(const PasteboardItemReference& item, std::string_view type) = 0;
    // Takes the pasteboard over, emptying it; returns the new change count.
    virtual std::int64_t clearContents() = 0;
    // Adds the items after a clearContents(). False when they could not be
    // written.
    virtual bool writeItems(const std::vector<PasteboardItem>& items) = 0;
    // Takes the pasteboard over with `items` in one step. When it fails, the
    // items and the change count stay as they were: the user's clipboard is
    // never left empty by a write that could not be made.
    virtual bool replaceContents(const std::vector<PasteboardItem>& items) = 0;
};

}  // namespace murmo
