#include "services/InstalledReleaseIdentity.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <charconv>
#include <memory>

#include "runtime/RegularFileRead.h"
#include "runtime/Sha256.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

struct Rule {
    std::size_t maximumBytes;
    const char* pattern;
};

constexpr Rule kVersionRule{32, R"(^[0-9]+(?:\.[0-9]+){1,3}(?:[-+][A-Za-z0-9.-]+)?$)"};
constexpr Rule kBuildRule{9, R"(^[1-9][0-9]{0,8}$)"};
constexpr Rule kIdentifierRule{128, R"(^[A-Za-z0-9]+(?:[.-][A-Za-z0-9]+)+$)"};

// The value under `key` when it is a string that obeys `rule`: the length in
// bytes first, then an ICU match that must cover the whole value. A search
// would not do: ICU's "$" also matches before a final line break, so a search
// finds "1.2.3" in "1.2.3\n".
std::optional<std::string> matching(const json::Json& info, const char* key, const Rule& rule) {
    const auto found = info.find(key);
    if (found == info.end() || !found->is_string()) return std::nullopt;
    const auto& value = found->get_ref<const std::string&>();
    if (value.size() > rule.maximumBytes || !unicode::isValidUTF8(value)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(rule.pattern), 0, status));
    if (U_FAILURE(status)) return std::nullopt;
    const auto text = icu::UnicodeString::fromUTF8(value);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(text, status));
    if (U_FAILURE(status) || !matcher->matches(status) || U_FAILURE(status)) return std::nullopt;
    return value;
}

std::optional<std::string> profile(const json::Json& info) {
    const auto found = info.find("DorvexBuildProfile");
    if (found == info.end() || !found->is_string()) return std::nullopt;
    const auto& value = found->get_ref<const std::string&>();
    if (value != "development" && value != "customer") return std::nullopt;
    return value;
}

}  // namespace

std::optional<InstalledReleaseIdentity> InstalledReleaseIdentity::make(const json::Json& info,
                                                                       const std::optional<std::string>& notes) {
    if (!info.is_object()) return std::nullopt;
    const auto version = matching(info, "CFBundleShortVersionString", kVersionRule);
    if (!version) return std::nullopt;
    const auto buildText = matching(info, "CFBundleVersion", kBuildRule);
    if (!buildText) return std::nullopt;
    std::int64_t build = 0;
    std::from_chars(buildText->data(), buildText->data() + buildText->size(), build);
    const auto identifier = matching(info, "CFBundleIdentifier", kIdentifierRule);
    if (!identifier) return std::nullopt;
    const auto buildProfile = profile(info);
    if (!buildProfile) return std::nullopt;
    const bool hashable = notes && !notes->empty() && notes->size() <= kMaximumNotesBytes;
    return InstalledReleaseIdentity(
        json::Json{{"schema", 1},
                   {"bundle_id", *identifier},
                   {"profile", *buildProfile},
                   {"version", *version},
                   {"build", build},
                   {"notes_sha256", hashable ? json::Json(sha256Hex(*notes)) : json::Json()}});
}

std::optional<InstalledReleaseIdentity> InstalledReleaseIdentity::make(const Bundle& bundle) {
    std::optional<std::string> notes;
    if (auto path = bundle.urlForResource("ReleaseNotes", "json")) {
        auto read = readRegularFile(*path, kMaximumNotesBytes);
        if (read.outcome == RegularFileRead::Outcome::read) notes = std::move(read.bytes);
    }
    return make(bundle.infoDictionary().value_or(json::Json::object()), notes);
}

}  // namespace murmo
