#include "shell/bridges/NativeWritingCopyBridge.h"

#include <utility>
#include <vector>

#include "runtime/Unicode.h"
#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

std::shared_ptr<NativeWritingCopyBridge> NativeWritingCopyBridge::create(MainLoop& loop, URL origin,
                                                                         Pasteboard& pasteboard) {
    return std::shared_ptr<NativeWritingCopyBridge>(new NativeWritingCopyBridge(loop, std::move(origin), pasteboard));
}

NativeWritingCopyBridge::NativeWritingCopyBridge(MainLoop& loop, URL origin, Pasteboard& pasteboard)
    : writeText([&pasteboard](std::string_view text) { return write(text, pasteboard); }),
      loop_(loop),
      rules_(std::string(kHandlerName), BridgeOriginRule::page, std::move(origin)) {}

std::optional<std::string> NativeWritingCopyBridge::text(const std::optional<json::Json>& body,
                                                         const std::optional<URL>& url, const URL& origin,
                                                         bool mainFrame) {
    if (!isSamePageOrigin(WebFrameInfo{mainFrame, url}, origin)) return std::nullopt;
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"text"})) return std::nullopt;
    const auto text = object->string("text");
    if (!text) return std::nullopt;
    // White space by its Unicode property: a text of no-break or ideographic
    // spaces or line separators alone is as blank as one of ASCII spaces.
    if (unicode::trimWhitespaceAndNewlines(*text).empty()) return std::nullopt;
    if (text->size() > kMaximumTextBytes) return std::nullopt;
    return std::string(*text);
}

bool NativeWritingCopyBridge::write(std::string_view text, Pasteboard& pasteboard) {
    // An item that cannot hold the text is refused before the pasteboard is
    // touched.
    if (!unicode::isValidUTF8(text)) return false;
    return pasteboard.replaceContents(std::vector<PasteboardItem>{PasteboardItem::plainText(text)});
}

ScriptMessageHandlerWithReply NativeWritingCopyBridge::handler() {
    return [weak = weak_from_this()](const ScriptMessage& message, ScriptMessageReply reply) {
        if (auto self = weak.lock()) return self->handle(message, std::move(reply));
        reply.returnError(std::string(kRejectedText));
    };
}

void NativeWritingCopyBridge::handle(const ScriptMessage& message, ScriptMessageReply reply) {
    std::optional<std::string> accepted;
    if (message.handlerName == rules_.handlerName()) {
        const auto url = message.frame ? message.frame->requestURL : std::nullopt;
        accepted = text(message.body, url, rules_.origin(), message.isFromMainFrame());
    }
    if (!accepted) {
        reply.returnError(std::string(kRejectedText));
        return;
    }
    // Shared so the posted action stays cheap to copy whatever the text's size.
    auto shared = std::make_shared<const std::string>(std::move(*accepted));
    rules_.post(
        loop_, shared_from_this(),
        [shared, reply](NativeWritingCopyBridge& bridge) mutable { bridge.copy(*shared, reply); }, [] {});
}

void NativeWritingCopyBridge::copy(const std::string& text, ScriptMessageReply& reply) {
    // Copies: the owner may replace either callback from inside one.
    const auto write = writeText;
    if (!write || !write(text)) {
        reply.returnError(std::string(kNotCopiedText));
        return;
    }
    if (const auto notify = onSuccessfulCopy) notify();
    reply.returnValue(json::Json{{"copied", true}});
}

}  // namespace murmo
