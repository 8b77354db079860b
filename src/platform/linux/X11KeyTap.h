#pragma once

// The key-tap facility on X11. Listening needs XInput2 2.2 (raw key events
// of every device); telling the application's own posted keys apart needs
// XTest. X11 asks the user for neither: both permissions are what the server
// offers, read once when the facility opens.

#include <memory>
#include <string>

#include "platform/KeyTap.h"
#include "runtime/Error.h"

namespace murmo {

class X11KeyTap final : public KeyTap {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached.
    static Result<std::shared_ptr<X11KeyTap>> open(const std::string& displayName = {});

    X11KeyTap(Passkey, std::string displayName, bool rawEventsOffered, bool xtestOffered);

    bool listenEventAccessGranted() const override { return rawEventsOffered_; }
    bool accessibilityTrusted() const override { return xtestOffered_; }
    // Each tap has connections of its own; null when they cannot be opened.
    std::shared_ptr<KeyEventTap> createTap(KeyTapCallback callback) override;
    // There is nothing to ask the user for.
    bool requestListenEventAccess() override { return rawEventsOffered_; }

private:
    const std::string displayName_;
    const bool rawEventsOffered_;
    const bool xtestOffered_;
};

}  // namespace murmo
