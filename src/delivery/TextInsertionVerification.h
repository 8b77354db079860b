#pragma once

// Pure checks that tell whether inserted text really arrived in a field.
// Lengths, ranges and offsets are in UTF-16 code units, as the platform
// counts text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

namespace murmo {

struct TextInsertionVerification {
    // Values longer than this are not compared (reading and copying them
    // costs too much); such fields are checked by their caret alone.
    static constexpr std::int64_t maximumValueUTF16Length = 1'000'000;

    // `value` when it is valid text of at most the maximum length; absent
    // otherwise.
    static std::optional<std::string> boundedValue(std::optional<std::string> value);

    // The original with `range` replaced by `text`; absent when there is no
    // original, the range does not lie inside it, or the result would be too
    // long to compare.
    static std::optional<std::string> expectedValue(const std::optional<std::string>& original,
                                                    const AXTextRange& range, std::string_view text);
    // Where the caret must be after inserting `insertedUTF16Count` units at
    // the original range; absent for negative values or an overflow.
    static std::optional<AXTextRange> expectedCaret(const AXTextRange& original, std::int64_t insertedUTF16Count);
    // Whether `after` is `before` with `inserted` added at one place.
    static bool insertionObserved(std::string_view inserted, std::string_view before, std::string_view after);
    static bool isVerifiedInsertion(const std::optional<std::string>& expectedValue,
                                    const std::optional<std::string>& valueBefore,
                                    const std::optional<std::string>& valueAfter,
                                    const std::optional<AXTextRange>& originalRange,
                                    const std::optional<AXTextRange>& currentRange, std::int64_t insertedUTF16Count,
                                    std::string_view insertedText);
};

}  // namespace murmo
