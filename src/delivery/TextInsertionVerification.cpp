#include "delivery/TextInsertionVerification.h"

#include "runtime/Unicode.h"

namespace murmo {

namespace {

std::int64_t lengthOf(const std::u16string& text) { return static_cast<std::int64_t>(text.size()); }

}  // namespace

std::optional<std::string> TextInsertionVerification::boundedValue(std::optional<std::string> value) {
    if (!value) return std::nullopt;
    auto length = unicode::utf16Length(*value);
    if (!length || static_cast<std::int64_t>(*length) > maximumValueUTF16Length) return std::nullopt;
    return value;
}

std::optional<std::string> TextInsertionVerification::expectedValue(const std::optional<std::string>& original,
                                                                    const AXTextRange& range, std::string_view text) {
    if (!original) return std::nullopt;
    auto value = unicode::toUTF16(*original);
    auto inserted = unicode::toUTF16(text);
    if (!value || !inserted) return std::nullopt;
    const auto originalLength = lengthOf(*value);
    if (range.location < 0 || range.length < 0 || originalLength < range.location ||
        originalLength - range.location < range.length) {
        return std::nullopt;
    }
    if (originalLength - range.length + lengthOf(*inserted) > maximumValueUTF16Length) return std::nullopt;
    value->replace(static_cast<std::size_t>(range.location), static_cast<std::size_t>(range.length), *inserted);
    // A range that splits a surrogate pair leaves no text to compare with.
    return unicode::fromUTF16(*value);
}

std::optional<AXTextRange> TextInsertionVerification::expectedCaret(const AXTextRange& original,
                                                                    std::int64_t insertedUTF16Count) {
    if (original.location < 0 || original.length < 0 || insertedUTF16Count < 0) return std::nullopt;
    std::int64_t location = 0;
    if (__builtin_add_overflow(original.location, insertedUTF16Count, &location)) return std::nullopt;
    return AXTextRange{location, 0};
}

bool TextInsertionVerification::insertionObserved(std::string_view inserted, std::string_view before,
                                                  std::string_view after) {
    if (before == after || inserted.empty()) return false;
    auto insertedUnits = unicode::toUTF16(inserted);
    auto beforeUnits = unicode::toUTF16(before);
    auto afterUnits = unicode::toUTF16(after);
    if (!insertedUnits || !beforeUnits || !afterUnits) return false;
    const std::u16string_view added(*insertedUnits);
    const std::u16string_view old(*beforeUnits);
    const std::u16string_view now(*afterUnits);
    if (now.size() != old.size() + added.size()) return false;
    std::size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) ++prefix;
    return now.substr(prefix, added.size()) == added && now.substr(prefix + added.size()) == old.substr(prefix);
}

bool TextInsertionVerification::isVerifiedInsertion(const std::optional<std::string>& expectedValue,
                                                    const std::optional<std::string>& valueBefore,
                                                    const std::optional<std::string>& valueAfter,
                                                    const std::optional<AXTextRange>& originalRange,
                                                    const std::optional<AXTextRange>& currentRange,
                                                    std::int64_t insertedUTF16Count, std::string_view insertedText) {
    if (expectedValue && valueAfter) {
        // A field that already read as the expected text proves nothing.
        return valueBefore && *valueAfter == *expectedValue && *valueBefore != *expectedValue;
    }
    if (!expectedValue && valueBefore && valueAfter) {
        return insertionObserved(insertedText, *valueBefore, *valueAfter);
    }
    if (!originalRange || !currentRange) return false;
    auto caret = expectedCaret(*originalRange, insertedUTF16Count);
    if (!caret) return false;
    return *currentRange != *originalRange && currentRange->location == caret->location && currentRange->length == 0;
}

}  // namespace murmo
