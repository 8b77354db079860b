#pragma once

// Reads the text the user has selected in another application through the
// accessibility interface, for the dashboard's selection bridge. The read
// blocks the main thread: every call carries a short messaging time-out, so a
// hung application costs at most a few fifths of a second, and the pauses
// between the focus reads are taken through an injected hook (virtual time in
// tests). Nothing here changes the other application's text or selection.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "platform/Accessibility.h"
#include "platform/ProcessInfo.h"
#include "platform/Workspace.h"
#include "runtime/Clock.h"
#include "runtime/JsonRead.h"

namespace murmo {

struct NativeSelectionReaderPorts {
    Accessibility& accessibility;
    Workspace& workspace;
    ProcessInfo& processInfo;
    // Blocks the calling thread for a pause between two focus reads.
    std::function<void(Duration)> block = [](Duration pause) { std::this_thread::sleep_for(pause); };
};

// The application whose selection the dashboard may read: the last other
// regular application that was active. Its kernel record tells it from a
// later process that reuses its pid.
struct NativeSelectionTarget {
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier;
    std::string applicationName;
    // Absent when it could not be read when the application was remembered.
    std::optional<ProcessRecord> processRecord;

    bool operator==(const NativeSelectionTarget&) const = default;
};

enum class NativeSelectionStatus { available, denied, unavailable, empty, tooLarge };

struct NativeSelectionOutcome {
    NativeSelectionStatus status = NativeSelectionStatus::unavailable;
    // Why the text is not available; empty when it is.
    std::string_view reason;
    // The selected text, U+0000 included, and the application's name: only
    // when available.
    std::string text;
    std::string application;

    // The page's object: {"available", "status", "text", "source",
    // "application"} when available, else {"available", "status", "reason",
    // "source"}.
    json::Json payload() const;
};

class NativeSelectionReader {
public:
    static constexpr std::string_view kSource = "native_macos_ax_selected_text";
    // User-perceived characters (extended grapheme clusters).
    static constexpr std::size_t kMaximumCharacters = 20000;
    // The bound of the key-press reservation's calls, which block the main
    // thread the same way.
    static constexpr AXMessagingTimeout kMessagingTimeout =
        AXManualAccessibilityRetryPolicy::mainThreadMessagingTimeoutSeconds;

    explicit NativeSelectionReader(NativeSelectionReaderPorts ports);

    // Checks in order: trust, the application still being the one
    // remembered, a sensitive bundle identifier (before any accessibility
    // call), the focused element, a secure field, the selected text.
    NativeSelectionOutcome read(const std::optional<NativeSelectionTarget>& target);

    // Whether the bundle identifier, lower-cased, contains the fragment of a
    // password manager or keychain.
    static bool isSensitiveBundle(const std::optional<std::string>& bundleIdentifier);

private:
    bool isStillRunning(const NativeSelectionTarget& target);
    std::optional<AXElement> focusedElement(const AXElement& application);
    bool mayBeSecureField(const AXElement& element);
    NativeSelectionOutcome selection(const AXElement& element, const std::string& applicationName);

    NativeSelectionReaderPorts ports_;
};

}  // namespace murmo
