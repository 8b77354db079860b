#include "runtime/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace murmo::unicode {

std::optional<std::u32string> codePoints(std::string_view utf8) {
    std::u32string result;
    result.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t offset = 0;
    while (offset < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        if (c < 0) return std::nullopt;
        result.push_back(static_cast<char32_t>(c));
    }
    return result;
}

bool isValidUTF8(std::string_view text) {
    // Large lengths would not fit ICU's int32 offsets.
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    return codePoints(text).has_value();
}

std::string encodeUTF8(char32_t codePoint) {
    char buffer[4];
    int32_t offset = 0;
    UBool error = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buffer), offset, 4, static_cast<UChar32>(codePoint), error);
    if (error) return {};
    return std::string(buffer, static_cast<std::size_t>(offset));
}

std::optional<std::u16string> toUTF16(std::string_view utf8) {
    auto points = codePoints(utf8);
    if (!points) return std::nullopt;
    std::u16string result;
    result.reserve(points->size());
    for (char32_t c : *points) {
        if (c >= 0x10000) {
            result.push_back(static_cast<char16_t>(U16_LEAD(c)));
            result.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        } else {
            result.push_back(static_cast<char16_t>(c));
        }
    }
    return result;
}

std::optional<std::string> fromUTF16(std::u16string_view utf16) {
    std::string result;
    result.reserve(utf16.size());
    const auto length = static_cast<int32_t>(utf16.size());
    int32_t offset = 0;
    while (offset < length) {
        UChar32 c = 0;
        U16_NEXT(utf16.data(), offset, length, c);
        if (U_IS_SURROGATE(c)) return std::nullopt;  // unpaired surrogate
        result += encodeUTF8(static_cast<char32_t>(c));
    }
    return result;
}

std::optional<std::size_t> utf16Length(std::string_view utf8) {
    auto points = codePoints(utf8);
    if (!points) return std::nullopt;
    std::size_t units = 0;
    for (char32_t c : *points) units += c >= 0x10000 ? 2 : 1;
    return units;
}

std::optional<std::size_t> graphemeCount(std::string_view utf8) {
    if (!isValidUTF8(utf8)) return std::nullopt;
    if (utf8.empty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return std::nullopt;
    const auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    iterator->setText(text);
    std::size_t count = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE) ++count;
    return count;
}

std::optional<std::string> nfc(std::string_view utf8) {
    if (!isValidUTF8(utf8)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const auto* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::nullopt;
    const auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    const auto normalized = normalizer->normalize(text, status);
    if (U_FAILURE(status)) return std::nullopt;
    std::string result;
    normalized.toUTF8String(result);
    return result;
}

std::optional<std::string> lowercased(std::string_view utf8) {
    if (!isValidUTF8(utf8)) return std::nullopt;
    auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    // The root locale: the same text lower-cases the same way under every
    // interface language (no Turkish dotless i for codes from the engine).
    text.toLower(icu::Locale::getRoot());
    std::string result;
    text.toUTF8String(result);
    return result;
}

bool isWhitespace(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_WHITE_SPACE);
}

namespace {

template <class Predicate>
std::string trimWhere(std::string_view utf8, Predicate shouldTrim) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !shouldTrim(static_cast<char32_t>(c))) break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, 0, previous, c);
        if (c < 0 || !shouldTrim(static_cast<char32_t>(c))) break;
        end = previous;
    }
    return std::string(utf8.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace

std::string trimWhitespaceAndNewlines(std::string_view utf8) { return trimWhere(utf8, isWhitespace); }

std::string trimWhitespace(std::string_view utf8) {
    return trimWhere(utf8,
                     [](char32_t c) { return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR; });
}

bool isLetter(char32_t codePoint) { return u_isalpha(static_cast<UChar32>(codePoint)); }

bool isMark(char32_t codePoint) {
    switch (u_charType(static_cast<UChar32>(codePoint))) {
        case U_NON_SPACING_MARK:
        case U_COMBINING_SPACING_MARK:
        case U_ENCLOSING_MARK: return true;
        default: return false;
    }
}

bool isDecimalDigit(char32_t codePoint) {
    return u_charType(static_cast<UChar32>(codePoint)) == U_DECIMAL_DIGIT_NUMBER;
}

bool isControl(char32_t codePoint) { return u_charType(static_cast<UChar32>(codePoint)) == U_CONTROL_CHAR; }

bool isFormat(char32_t codePoint) { return u_charType(static_cast<UChar32>(codePoint)) == U_FORMAT_CHAR; }

bool isOtherCategory(char32_t codePoint) {
    switch (u_charType(static_cast<UChar32>(codePoint))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED: return true;
        default: return false;
    }
}

}  // namespace murmo::unicode
