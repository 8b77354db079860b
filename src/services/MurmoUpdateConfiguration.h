#pragma once

// The two Info.plist keys the updater needs, the feed URL and the public
// signing key, validated; or why updates are unavailable.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Bundle.h"
#include "runtime/JsonRead.h"
#include "runtime/URL.h"

namespace murmo {

enum class MurmoUpdateUnavailabilityReason {
    notConfigured,
    incompleteConfiguration,
    invalidFeedURL,
    insecureFeedURL,
    invalidPublicKey,
    startupFailed,
};
std::string_view rawValue(MurmoUpdateUnavailabilityReason reason);
std::optional<MurmoUpdateUnavailabilityReason> updateUnavailabilityReasonFromRawValue(std::string_view text);

struct MurmoUpdateConfiguration {
    static constexpr std::size_t kMaximumKeyBytes = 256;
    static constexpr std::size_t kPublicKeyBytes = 32;

    std::optional<URL> feedURL;
    std::optional<std::string> publicKey;
    std::optional<MurmoUpdateUnavailabilityReason> unavailabilityReason;

    // "SUFeedURL" and "SUPublicEDKey", each trimmed of Unicode white space;
    // the first rule broken decides the reason.
    static MurmoUpdateConfiguration fromInfoDictionary(const json::Json& info);
    // The bundle's Info dictionary, or an empty one.
    static MurmoUpdateConfiguration fromBundle(const Bundle& bundle);

    bool isAvailable() const { return feedURL && publicKey && !unavailabilityReason; }

    bool operator==(const MurmoUpdateConfiguration& other) const;
};

}  // namespace murmo
