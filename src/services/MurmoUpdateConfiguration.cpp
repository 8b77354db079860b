#include "services/MurmoUpdateConfiguration.h"

#include <array>

#include "runtime/Base64.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

using Reason = MurmoUpdateUnavailabilityReason;

constexpr std::array kReasonNames{"not_configured",    "incomplete_configuration", "invalid_feed_url",
                                  "insecure_feed_url", "invalid_public_key",       "startup_failed"};

std::string trimmedString(const json::Json& info, const char* key) {
    const auto found = info.find(key);
    if (found == info.end() || !found->is_string()) return {};
    return unicode::trimWhitespaceAndNewlines(found->get_ref<const std::string&>());
}

MurmoUpdateConfiguration unavailable(Reason reason) { return MurmoUpdateConfiguration{{}, {}, reason}; }

}  // namespace

std::string_view rawValue(Reason reason) { return kReasonNames[static_cast<std::size_t>(reason)]; }

std::optional<Reason> updateUnavailabilityReasonFromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < kReasonNames.size(); ++i) {
        if (text == kReasonNames[i]) return static_cast<Reason>(i);
    }
    return std::nullopt;
}

MurmoUpdateConfiguration MurmoUpdateConfiguration::fromInfoDictionary(const json::Json& info) {
    const auto object = info.is_object() ? info : json::Json::object();
    const auto feed = trimmedString(object, "SUFeedURL");
    const auto key = trimmedString(object, "SUPublicEDKey");
    if (feed.empty()) return unavailable(key.empty() ? Reason::notConfigured : Reason::incompleteConfiguration);
    if (key.empty()) return unavailable(Reason::incompleteConfiguration);
    auto url = URL::parseResource(feed);
    if (!url) return unavailable(Reason::invalidFeedURL);
    if (url->scheme() != "https") return unavailable(Reason::insecureFeedURL);
    if (key.size() > kMaximumKeyBytes) return unavailable(Reason::invalidPublicKey);
    const auto decoded = decodeStrictBase64(key);
    if (!decoded || decoded->size() != kPublicKeyBytes) return unavailable(Reason::invalidPublicKey);
    return MurmoUpdateConfiguration{std::move(url), key, std::nullopt};
}

MurmoUpdateConfiguration MurmoUpdateConfiguration::fromBundle(const Bundle& bundle) {
    return fromInfoDictionary(bundle.infoDictionary().value_or(json::Json::object()));
}

bool MurmoUpdateConfiguration::operator==(const MurmoUpdateConfiguration& other) const {
    const auto feedText = [](const std::optional<URL>& url) { return url ? std::optional(url->text()) : std::nullopt; };
    return feedText(feedURL) == feedText(other.feedURL) && publicKey == other.publicKey &&
           unavailabilityReason == other.unavailabilityReason;
}

}  // namespace murmo
