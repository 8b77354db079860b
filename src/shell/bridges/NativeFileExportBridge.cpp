#include "shell/bridges/NativeFileExportBridge.h"

#include <utility>

#include "runtime/AtomicFileWrite.h"
#include "runtime/Unicode.h"
#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

bool isAcceptableName(std::string_view name) {
    const auto characters = unicode::graphemeCount(name);
    if (!characters || *characters > NativeFileExportBridge::kMaximumNameCharacters) return false;
    if (name.contains('/') || name.contains('\\')) return false;
    // A file-system call would read the name only up to its first U+0000,
    // past the extension checked below.
    if (name.contains('\0')) return false;
    return name.ends_with(".txt") || name.ends_with(".json");
}

json::Json cancelledPayload() { return json::Json{{"saved", false}, {"cancelled", true}}; }

}  // namespace

std::optional<NativeFileExportCommand> NativeFileExportCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"name", "text"})) return std::nullopt;
    const auto name = object->string("name");
    const auto text = object->string("text");
    if (!name || !text) return std::nullopt;
    if (!isAcceptableName(*name)) return std::nullopt;
    if (text->size() > NativeFileExportBridge::kMaximumTextBytes) return std::nullopt;
    return NativeFileExportCommand{.name = std::string(*name), .text = std::string(*text)};
}

SaveContentType NativeFileExportCommand::contentType() const {
    return name.ends_with(".json") ? SaveContentType::json : SaveContentType::plainText;
}

// One accepted export from the message to its answer. It keeps the bridge
// alive while the panel is open, and answers "cancelled" if the panel goes
// away without ever completing, so the page is answered whichever way the
// export ends.
class NativeFileExportBridge::PendingExport {
public:
    PendingExport(std::shared_ptr<NativeFileExportBridge> bridge, NativeFileExportCommand command,
                  ScriptMessageReply reply)
        : bridge(std::move(bridge)), command(std::move(command)), reply(std::move(reply)) {}
    PendingExport(const PendingExport&) = delete;
    PendingExport& operator=(const PendingExport&) = delete;
    ~PendingExport() {
        if (!reply.isAnswered()) reply.returnValue(cancelledPayload());
    }

    const std::shared_ptr<NativeFileExportBridge> bridge;
    const NativeFileExportCommand command;
    ScriptMessageReply reply;
};

std::shared_ptr<NativeFileExportBridge> NativeFileExportBridge::create(MainLoop& loop, URL origin,
                                                                       SavePanel& savePanel) {
    return std::shared_ptr<NativeFileExportBridge>(new NativeFileExportBridge(loop, std::move(origin), savePanel));
}

NativeFileExportBridge::NativeFileExportBridge(MainLoop& loop, URL origin, SavePanel& savePanel)
    : loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::page, std::move(origin)),
      savePanel_(savePanel) {}

ScriptMessageHandlerWithReply NativeFileExportBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kRejectedText));
    };
}

void NativeFileExportBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    auto command = rules_.admits(message) ? NativeFileExportCommand::fromBody(message.body) : std::nullopt;
    if (!command) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    auto pending = std::make_shared<PendingExport>(shared_from_this(), std::move(*command), std::move(reply));
    rules_.post(
        loop_, shared_from_this(), [pending](NativeFileExportBridge& bridge) { bridge.showPanel(pending); }, [] {});
}

void NativeFileExportBridge::showPanel(std::shared_ptr<PendingExport> pending) {
    const SavePanelRequest request{.suggestedName = pending->command.name,
                                   .contentType = pending->command.contentType(),
                                   .canCreateFolders = true,
                                   .freeStanding = true};
    savePanel_.beginSavePanel(request, [pending = std::move(pending)](std::optional<std::filesystem::path> location) {
        pending->bridge->finish(*pending, location);
    });
}

void NativeFileExportBridge::finish(PendingExport& pending, const std::optional<std::filesystem::path>& location) {
    if (!location) {
        pending.reply.returnValue(cancelledPayload());
        return;
    }
    // The text's bytes as they came, U+0000 included; the file gets the
    // permissions of any new file the user makes.
    const auto written = writeFileAtomically(*location, pending.command.text, NewFileMode::ordinary);
    if (!written) {
        pending.reply.returnError(written.error().message);
        return;
    }
    if (const auto notify = onSuccessfulExport) notify();
    pending.reply.returnValue(json::Json{{"saved", true}});
}

}  // namespace murmo
