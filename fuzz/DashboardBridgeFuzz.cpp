// Feeds arbitrary frames and bodies through the checks every dashboard bridge
// makes before it acts: the handler name, the main frame, the engine-origin
// and page-origin rules on an arbitrary frame URL, and each bridge's command
// reader on an arbitrary body. Nothing may crash or misbehave, and what the
// rules admit must honour their promises: only a known main frame, only a
// loopback host for the engine, only the exact page origin for the page.
//
// Input: one byte choosing the frame (main, subframe, unknown, main without a
// URL), the frame's URL up to the first line feed, then the body as JSON text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WebView.h"
#include "runtime/AsciiText.h"
#include "runtime/JsonRead.h"
#include "runtime/URL.h"
#include "shell/bridges/BridgeMessageRules.h"
#include "shell/bridges/NativeApplicationIconBridge.h"
#include "shell/bridges/NativeApplicationIconsCommand.h"
#include "shell/bridges/NativeAudioBridge.h"
#include "shell/bridges/NativeFileExportBridge.h"
#include "shell/bridges/NativePermissionBridge.h"
#include "shell/bridges/NativePermissionCommand.h"
#include "shell/bridges/NativePreferencesBridge.h"
#include "shell/bridges/NativePreferencesCommand.h"
#include "shell/bridges/NativeSelectionBridge.h"
#include "shell/bridges/NativeSelectionCommand.h"
#include "shell/bridges/NativeSettingsBridge.h"
#include "shell/bridges/NativeThemeBridge.h"
#include "shell/bridges/NativeUIStateBridge.h"
#include "shell/bridges/NativeUIStateTypes.h"
#include "shell/bridges/NativeUpdateBridge.h"
#include "shell/bridges/NativeUpdateCommand.h"
#include "shell/bridges/NativeWritingCopyBridge.h"

using namespace murmo;

namespace {

constexpr std::string_view kEngineURL = "http://127.0.0.1:8765";

void require(bool condition) {
    if (!condition) std::abort();
}

std::optional<WebFrameInfo> frameFrom(std::uint8_t kind, std::string_view url) {
    switch (kind % 4) {
        case 0: return WebFrameInfo{true, URL::parse(url)};
        case 1: return WebFrameInfo{false, URL::parse(url)};
        case 2: return std::nullopt;
        default: return WebFrameInfo{true, std::nullopt};
    }
}

bool isLoopbackName(std::string_view host) {
    const auto lower = asciiLowercased(host);
    return lower == "127.0.0.1" || lower == "localhost" || lower == "::1";
}

// Checks one handler's rules under both origin rules against the frame.
void checkRules(std::string_view handlerName, const ScriptMessage& message, const URL& origin) {
    for (const auto rule : {BridgeOriginRule::engine, BridgeOriginRule::page}) {
        const BridgeMessageRules rules(std::string(handlerName), rule, origin);
        if (!rules.admits(message)) continue;
        require(message.handlerName == handlerName);
        require(message.frame && message.frame->isMainFrame && message.frame->requestURL);
        const auto& url = *message.frame->requestURL;
        if (rule == BridgeOriginRule::engine) {
            require(isLoopbackName(url.host()));
            require(effectivePort(url) == effectivePort(origin));
        } else {
            require(url.scheme() == origin.scheme() && url.host() == origin.host() && url.port() == origin.port());
        }
    }
}

template <class Command>
void readBody(const std::optional<json::Json>& body) {
    if (const auto command = Command::fromBody(body)) require(body && body->is_object());
}

// An icon request is whole or absent: within the batch size, distinct valid
// identifiers, a supported size.
void readIconRequest(const std::optional<json::Json>& body) {
    const auto command = NativeApplicationIconsCommand::fromBody(body);
    if (!command) return;
    const auto& identifiers = command->bundleIdentifiers;
    require(!identifiers.empty() && identifiers.size() <= NativeApplicationIconsCommand::maximumBatchSize);
    for (std::size_t i = 0; i < identifiers.size(); ++i) {
        require(NativeApplicationIconsCommand::isValidBundleIdentifier(identifiers[i]));
        for (std::size_t j = 0; j < i; ++j) require(identifiers[i] != identifiers[j]);
    }
    require(command->size == 32 || command->size == 64);
}

// An export names a plain file of one of the two kinds, never a path, and
// carries its text whole.
void readExport(const std::optional<json::Json>& body) {
    const auto command = NativeFileExportCommand::fromBody(body);
    if (!command) return;
    const std::string_view name = command->name;
    require(name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos);
    require(name.ends_with(".txt") || name.ends_with(".json"));
    require(command->text.size() <= NativeFileExportBridge::kMaximumTextBytes);
    require(command->text == body->at("text").get_ref<const std::string&>());
}

// A copied text is the body's own, untrimmed and never empty.
void readCopy(const std::optional<json::Json>& body, const std::optional<WebFrameInfo>& frame, const URL& origin) {
    if (!frame) return;
    const auto text = NativeWritingCopyBridge::text(body, frame->requestURL, origin, frame->isMainFrame);
    if (!text) return;
    require(frame->isMainFrame && !text->empty());
    require(*text == body->at("text").get_ref<const std::string&>());
}

// The page's operation reaches the coordinator as lower-case UUID text.
void readAudioCommand(const std::optional<json::Json>& body) {
    const auto command = NativeAudioBridge::commandFromBody(body);
    if (!command) return;
    require(command->operationID.size() == 36);
    for (const char c : command->operationID) require(!(c >= 'A' && c <= 'Z'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto lineEnd = input.find('\n');
    const auto frameURL = input.substr(0, lineEnd);
    const auto bodyText = lineEnd == std::string_view::npos ? std::string_view{} : input.substr(lineEnd + 1);

    std::optional<json::Json> body;
    if (auto parsed = json::parse(bodyText)) body = std::move(*parsed);

    static const URL engine = *URL::parse(kEngineURL);
    for (const auto name :
         {NativePreferencesBridge::kHandlerName, NativePermissionBridge::kHandlerName,
          NativeSettingsBridge::kHandlerName, NativeThemeBridge::kHandlerName, NativeUIStateBridge::kHandlerName,
          NativeApplicationIconBridge::kHandlerName, NativeUpdateBridge::kHandlerName, NativeAudioBridge::kHandlerName,
          NativeSelectionBridge::kHandlerName, NativeFileExportBridge::kHandlerName,
          NativeWritingCopyBridge::kHandlerName}) {
        const ScriptMessage message{
            .handlerName = std::string(name), .frame = frameFrom(data[0], frameURL), .body = body};
        checkRules(name, message, engine);
    }

    readBody<NativePreferencesCommand>(body);
    readBody<NativePermissionCommand>(body);
    readBody<NativeSettingsCommand>(body);
    readBody<NativeThemeCommand>(body);
    readBody<NativeUIStateCommand>(body);
    readBody<NativeSidebarWidthCommand>(body);
    readBody<NativeSidebarCardDismissCommand>(body);
    readBody<NativeUpdateCommand>(body);
    readBody<NativeSelectionCommand>(body);
    readIconRequest(body);
    readExport(body);
    readCopy(body, frameFrom(data[0], frameURL), engine);
    readAudioCommand(body);
    return 0;
}
