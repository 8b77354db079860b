#pragma once

// The door through which the dashboard reads the text the user selected in
// the application they used before switching to it ("murmoSelection"). The
// window tells the bridge of every application that becomes active; the
// bridge remembers the last other regular one and, on an accepted message,
// reads its selection synchronously inside the message callback and answers
// there: with the text, or with a status and reason (a refusal is no error).
// A refused message is answered with the catalog's rejection text in the
// application language. Held by the dashboard window in a shared_ptr for its
// own life. Main thread only, as its ports are; the remembered application
// and the language are still kept under a lock, held only to copy or store
// them.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WebView.h"
#include "platform/Workspace.h"
#include "runtime/URL.h"
#include "services/NativeAppLanguage.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativeSelectionReader.h"

namespace murmo {

struct NativeSelectionBridgePorts {
    NativeSelectionReaderPorts reader;
    // The system's preferred language identifiers, most preferred first,
    // read afresh at every refusal.
    std::function<std::vector<std::string>()> preferredLanguages = currentPreferredLanguages;
};

class NativeSelectionBridge : public std::enable_shared_from_this<NativeSelectionBridge> {
public:
    static constexpr std::string_view kHandlerName = "murmoSelection";
    // The name given for an application that has none.
    static constexpr std::string_view kUnnamedApplication = "Application";

    // `trustedOrigin` is the engine URL the dashboard is loaded from.
    static std::shared_ptr<NativeSelectionBridge> create(NativeSelectionBridgePorts ports, URL trustedOrigin,
                                                         NativeAppLanguage applicationLanguage);
    NativeSelectionBridge(const NativeSelectionBridge&) = delete;
    NativeSelectionBridge& operator=(const NativeSelectionBridge&) = delete;

    const URL& trustedOrigin() const { return rules_.origin(); }

    // An application became active. This process and applications that are
    // not regular (menu-bar items, background agents) leave the remembered
    // one in place.
    void rememberExternalApplication(const RunningApplication& application);
    void setApplicationLanguage(NativeAppLanguage language);
    // The rejection text in the language the stored one resolves to now.
    std::string rejectedText() const;

    // Answers before it returns.
    void handle(const ScriptMessage& message, ScriptMessageReply reply);
    // For addScriptMessageHandlerWithReply(kHandlerName, ...): holds the
    // bridge weakly; once it is gone a message is rejected in English.
    ScriptMessageHandlerWithReply handler();

private:
    NativeSelectionBridge(NativeSelectionBridgePorts ports, URL trustedOrigin, NativeAppLanguage applicationLanguage);

    std::optional<NativeSelectionTarget> target() const;

    NativeSelectionBridgePorts ports_;
    BridgeMessageRules rules_;
    NativeSelectionReader reader_;
    // Held only to copy or store the two fields below.
    mutable std::mutex stateMutex_;
    std::optional<NativeSelectionTarget> target_;
    NativeAppLanguage applicationLanguage_;
};

}  // namespace murmo
