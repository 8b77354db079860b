#pragma once

// The build that is installed, as the engine is told of it: bundle
// identifier, build profile, version, build number and a digest of the
// release notes shipped with it. It exists only when every part is well
// formed.

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Bundle.h"
#include "runtime/JsonRead.h"

namespace murmo {

class InstalledReleaseIdentity {
public:
    // Notes longer than this are not hashed.
    static constexpr std::size_t kMaximumNotesBytes = 131072;

    // Absent when any required Info value fails its rule. Notes that are
    // absent, empty or over the bound give a null digest.
    static std::optional<InstalledReleaseIdentity> make(const json::Json& info,
                                                        const std::optional<std::string>& notes);
    // The bundle's Info dictionary and its "ReleaseNotes.json" resource, read
    // with a bound (a larger file, a FIFO or an unreadable one gives a null
    // digest; the reader never goes past the bound).
    static std::optional<InstalledReleaseIdentity> make(const Bundle& bundle);

    // {"schema": 1, "bundle_id", "profile", "version", "build" (an integer),
    // "notes_sha256" (lower-case hex, or null)}.
    const json::Json& payload() const { return payload_; }

private:
    explicit InstalledReleaseIdentity(json::Json payload) : payload_(std::move(payload)) {}

    json::Json payload_;
};

}  // namespace murmo
