#include "shell/bridges/NativeSelectionBridge.h"

#include <utility>

#include "runtime/Unicode.h"
#include "services/NativeStringCatalog.h"
#include "shell/bridges/NativeSelectionCommand.h"

namespace murmo {

namespace {

// A name the page could not receive counts as none.
std::string applicationName(const RunningApplication& application) {
    const auto& name = application.localizedName;
    if (name && unicode::isValidUTF8(*name)) return *name;
    return std::string(NativeSelectionBridge::kUnnamedApplication);
}

}  // namespace

std::shared_ptr<NativeSelectionBridge> NativeSelectionBridge::create(NativeSelectionBridgePorts ports,
                                                                     URL trustedOrigin,
                                                                     NativeAppLanguage applicationLanguage) {
    return std::shared_ptr<NativeSelectionBridge>(
        new NativeSelectionBridge(std::move(ports), std::move(trustedOrigin), applicationLanguage));
}

NativeSelectionBridge::NativeSelectionBridge(NativeSelectionBridgePorts ports, URL trustedOrigin,
                                             NativeAppLanguage applicationLanguage)
    : ports_(std::move(ports)),
      rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(trustedOrigin)),
      reader_(ports_.reader),
      applicationLanguage_(applicationLanguage) {}

void NativeSelectionBridge::rememberExternalApplication(const RunningApplication& application) {
    if (application.processIdentifier == ports_.reader.workspace.ownProcessIdentifier()) return;
    if (application.activationPolicy != ApplicationActivationPolicy::regular) return;
    NativeSelectionTarget target{
        .pid = application.processIdentifier,
        .bundleIdentifier = application.bundleIdentifier,
        .applicationName = applicationName(application),
        .processRecord = ports_.reader.processInfo.processRecord(application.processIdentifier)};
    const std::scoped_lock lock(stateMutex_);
    target_ = std::move(target);
}

void NativeSelectionBridge::setApplicationLanguage(NativeAppLanguage language) {
    const std::scoped_lock lock(stateMutex_);
    applicationLanguage_ = language;
}

std::optional<NativeSelectionTarget> NativeSelectionBridge::target() const {
    const std::scoped_lock lock(stateMutex_);
    return target_;
}

std::string NativeSelectionBridge::rejectedText() const {
    const auto language = [this] {
        const std::scoped_lock lock(stateMutex_);
        return applicationLanguage_;
    }();
    const auto preferred = ports_.preferredLanguages ? ports_.preferredLanguages() : std::vector<std::string>{};
    return NativeLocalizedStrings(language, preferred).selectionRequestRejected();
}

ScriptMessageHandlerWithReply NativeSelectionBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(NativeLocalizedStrings(NativeAppLanguage::english, {}).selectionRequestRejected());
    };
}

void NativeSelectionBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    if (!rules_.admits(message) || !NativeSelectionCommand::fromBody(message.body)) {
        reply.returnError(rejectedText());
        return;
    }
    reply.returnValue(reader_.read(target()).payload());
}

}  // namespace murmo
