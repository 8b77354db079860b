#include "delivery/LiveDictationWriter.h"

#include <array>
#include <chrono>
#include <utility>

#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

// Calls on the written element must never hold the main thread long.
constexpr AXMessagingTimeout kElementTimeout = 0.1f;
constexpr AXMessagingTimeout kSystemTimeout = kAXDefaultMessagingTimeoutSeconds;
constexpr auto kFocusWatchInterval = std::chrono::milliseconds(150);
constexpr std::string_view kSecureTextField = "AXSecureTextField";
constexpr std::array<std::string_view, 5> kUntypeableRoles{"AXButton", "AXCheckBox", "AXRadioButton", "AXMenuItem",
                                                           "AXSecureTextField"};

std::optional<std::string> stringValue(Accessibility& accessibility, const AXElement& element,
                                       std::string_view attribute, AXMessagingTimeout timeout) {
    auto result = accessibility.copyAttributeValue(element, attribute, timeout);
    if (result.error != axerror::success || !result.value) return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&*result.value)) return *text;
    return std::nullopt;
}

std::optional<AXTextRange> selection(Accessibility& accessibility, const AXElement& element,
                                     AXMessagingTimeout timeout) {
    auto result = accessibility.copyAttributeValue(element, axattr::selectedTextRange, timeout);
    if (result.error != axerror::success || !result.value) return std::nullopt;
    if (const auto* range = std::get_if<AXTextRange>(&*result.value)) return *range;
    return std::nullopt;
}

bool hasControlCharacter(std::u32string_view scalars) {
    for (const auto scalar : scalars) {
        if (scalar < 32 || scalar == 127) return true;
    }
    return false;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

const char* backendName(bool accessibility) { return accessibility ? "accessibility" : "unicode_event"; }

}  // namespace

// ---- Capture ----------------------------------------------------------------------

std::shared_ptr<LiveDictationWriter> LiveDictationWriter::capture(const LiveDictationWriterPorts& ports) {
    if (!ports.accessibility.isProcessTrusted() || ports.inputActivity.isSecureEventInputEnabled()) return nullptr;
    auto host = ports.workspace.frontmostApplication();
    if (!host || host->processIdentifier == ports.workspace.ownProcessIdentifier()) return nullptr;
    const auto pid = host->processIdentifier;

    std::optional<AXElement> focused;
    auto read = ports.accessibility.copyAttributeValue(ports.accessibility.systemWideElement(),
                                                       axattr::focusedUIElement, kSystemTimeout);
    if (read.error == axerror::success && read.value) {
        if (const auto* element = std::get_if<AXElement>(&*read.value); element && *element) focused = *element;
    }
    if (focused && stringValue(ports.accessibility, *focused, axattr::subrole, kSystemTimeout) == kSecureTextField) {
        return nullptr;
    }
    if (focused) {
        if (auto writer = captureAX(ports, *focused, pid)) return writer;
    }

    if (!ports.eventPoster.preflightPostEventAccess()) return nullptr;
    auto window = frontWindow(ports.workspace, pid);
    if (!window) return nullptr;
    if (focused) {
        // Typed text would replace a selection, or land on a control.
        auto range = selection(ports.accessibility, *focused, kSystemTimeout);
        if (range && range->length != 0) return nullptr;
        auto role = stringValue(ports.accessibility, *focused, axattr::role, kSystemTimeout).value_or("");
        for (auto untypeable : kUntypeableRoles) {
            if (role == untypeable) return nullptr;
        }
    }
    return watching(std::shared_ptr<LiveDictationWriter>(
        new LiveDictationWriter(ports, std::nullopt, pid, std::string(), AXTextRange{0, 0}, window,
                                FocusInputEpoch::read(ports.inputActivity))));
}

std::shared_ptr<LiveDictationWriter> LiveDictationWriter::captureAX(const LiveDictationWriterPorts& ports,
                                                                    const AXElement& element, std::int32_t hostPID) {
    auto& accessibility = ports.accessibility;
    auto owner = accessibility.ownerPID(element);
    if (owner.error != axerror::success || owner.value != hostPID) return nullptr;
    auto role = stringValue(accessibility, element, axattr::role, kSystemTimeout);
    if (role != "AXTextField" && role != "AXTextArea") return nullptr;
    if (stringValue(accessibility, element, axattr::subrole, kSystemTimeout) == kSecureTextField) return nullptr;
    auto value = stringValue(accessibility, element, axattr::value, kSystemTimeout);
    if (!value) return nullptr;
    auto length = unicode::utf16Length(*value);
    auto range = selection(accessibility, element, kSystemTimeout);
    if (!length || !range || range->length != 0 || range->location < 0 ||
        range->location > static_cast<std::int64_t>(*length)) {
        return nullptr;
    }
    auto settable = accessibility.isAttributeSettable(element, axattr::selectedText, kSystemTimeout);
    if (settable.error != axerror::success || !settable.value.value_or(false)) return nullptr;
    return watching(std::shared_ptr<LiveDictationWriter>(
        new LiveDictationWriter(ports, element, hostPID, std::move(*value), AXTextRange{range->location, 0},
                                std::nullopt, FocusInputEpoch::read(ports.inputActivity))));
}

std::shared_ptr<LiveDictationWriter> LiveDictationWriter::watching(std::shared_ptr<LiveDictationWriter> writer) {
    if (!writer->startWatching()) return nullptr;
    return writer;
}

std::optional<std::uint32_t> LiveDictationWriter::frontWindow(Workspace& workspace, std::int32_t pid) {
    for (const auto& window : workspace.onScreenWindows()) {
        if (window.ownerPID == pid && window.layer == 0) return window.windowNumber;
    }
    return std::nullopt;
}

LiveDictationWriter::LiveDictationWriter(const LiveDictationWriterPorts& ports, std::optional<AXElement> element,
                                         std::int32_t pid, std::string value, AXTextRange selection,
                                         std::optional<std::uint32_t> windowID, FocusInputEpoch inputEpoch)
    : ports_(ports),
      element_(std::move(element)),
      pid_(pid),
      windowID_(windowID),
      inputEpoch_(inputEpoch),
      log_("live-dictation", ports.logSink),
      expectedValue_(std::move(value)),
      expectedSelection_(selection) {}

LiveDictationWriter::~LiveDictationWriter() { stop(); }

bool LiveDictationWriter::startWatching() {
    std::weak_ptr<LiveDictationWriter> weak = weak_from_this();
    monitor_ = ports_.userInputWatch.addGlobalMonitor([weak, &loop = ports_.loop](const UserInputEvent& event) {
        // The writer's own key events carry the marker.
        if (MurmoSyntheticKeyboardEventPolicy::isMarked(event)) return;
        auto pauseForUserInput = [weak] {
            if (auto self = weak.lock()) self->pause("user_input");
        };
        // On the main thread at once: an append already queued behind this
        // event must find the writer paused.
        if (loop.isCurrentThread()) {
            pauseForUserInput();
        } else {
            loop.post(std::move(pauseForUserInput));
        }
    });
    if (!monitor_) return false;
    timer_ = ports_.loop.every(kFocusWatchInterval, [weak] {
        auto self = weak.lock();
        if (self && !self->paused_ && !self->matches()) self->pause("focus_changed");
    });
    log_.info("Live capture ready backend={}", logPublic(backendName(hasElement())));
    return true;
}

void LiveDictationWriter::stop() {
    timer_.cancel();
    monitor_.reset();
}

// ---- Target checks --------------------------------------------------------------------

std::optional<AXElement> LiveDictationWriter::systemFocusedElement() {
    auto& accessibility = ports_.accessibility;
    auto read =
        accessibility.copyAttributeValue(accessibility.systemWideElement(), axattr::focusedUIElement, kSystemTimeout);
    if (read.error != axerror::success || !read.value) return std::nullopt;
    const auto* element = std::get_if<AXElement>(&*read.value);
    if (!element || !*element) return std::nullopt;
    return *element;
}

bool LiveDictationWriter::matches() {
    if (FocusInputEpoch::read(ports_.inputActivity) != inputEpoch_) return false;
    if (ports_.inputActivity.isSecureEventInputEnabled()) return false;
    auto host = ports_.workspace.frontmostApplication();
    if (!host || host->processIdentifier != pid_) return false;
    auto& accessibility = ports_.accessibility;
    auto focused = systemFocusedElement();
    if (element_) {
        if (!focused || !(*focused == *element_)) return false;
        if (stringValue(accessibility, *element_, axattr::value, kElementTimeout) != expectedValue_) return false;
        auto range = selection(accessibility, *element_, kElementTimeout);
        return range && range->location == expectedSelection_.location && range->length == 0;
    }
    if (focused && stringValue(accessibility, *focused, axattr::subrole, kSystemTimeout) == kSecureTextField) {
        return false;
    }
    return windowID_ && frontWindow(ports_.workspace, pid_) == windowID_;
}

void LiveDictationWriter::pause(std::string_view reason) {
    if (!paused_) log_.notice("Live writing paused reason={}", logPublic(reason));
    paused_ = true;
}

// ---- Appending --------------------------------------------------------------------------

bool LiveDictationWriter::append(std::string_view text) {
    // Prefix and delta by code units, never by user-perceived characters: a
    // skin-tone modifier or joiner that extends a written emoji makes one
    // character of two, yet its code units are new and must be typed.
    // (For valid UTF-8 a byte prefix is a UTF-16 code-unit prefix.)
    if (!text.starts_with(committed_)) {
        pause("non_append_revision");
        return false;
    }
    if (text.size() == committed_.size()) return !paused_;
    if (paused_ || !matches()) {
        pause("target_changed");
        return false;
    }
    const auto delta = text.substr(committed_.size());
    if (element_) return appendAX(text, delta);
    if (!postUnicode(delta)) {
        pause("keyboard_dispatch_failed");
        return false;
    }
    committed_ = std::string(text);
    log_.info("Live append dispatched backend=keyboard verified=false");
    return true;
}

bool LiveDictationWriter::appendAX(std::string_view text, std::string_view delta) {
    auto value = unicode::toUTF16(expectedValue_);
    auto inserted = unicode::toUTF16(delta);
    const auto location = expectedSelection_.location;
    std::optional<std::string> newValue;
    if (value && inserted && location >= 0 && location <= static_cast<std::int64_t>(value->size())) {
        value->insert(static_cast<std::size_t>(location), *inserted);
        newValue = unicode::fromUTF16(*value);
    }
    if (!newValue) {
        pause("ax_write_unverified");
        return false;
    }
    const std::int64_t newCaret = location + static_cast<std::int64_t>(inserted->size());

    auto& accessibility = ports_.accessibility;
    touched_ = true;
    const auto error = accessibility.setAttributeValue(*element_, axattr::selectedText,
                                                       AXAttributeValue(std::string(delta)), kElementTimeout);
    const bool confirmed = error == axerror::success &&
                           stringValue(accessibility, *element_, axattr::value, kElementTimeout) == newValue &&
                           selection(accessibility, *element_, kElementTimeout) == AXTextRange{newCaret, 0};
    if (!confirmed) {
        pause("ax_write_unverified");
        return false;
    }
    expectedValue_ = std::move(*newValue);
    expectedSelection_ = AXTextRange{newCaret, 0};
    committed_ = std::string(text);
    return true;
}

std::vector<std::u16string> LiveDictationWriter::unicodeChunks(std::u16string_view text) {
    std::vector<std::u16string> chunks;
    std::u16string current;
    for (std::size_t index = 0; index < text.size();) {
        const std::size_t scalarLength =
            index + 1 < text.size() && isHighSurrogate(text[index]) && isLowSurrogate(text[index + 1]) ? 2 : 1;
        if (current.size() + scalarLength > kUnicodeChunkLength) chunks.push_back(std::exchange(current, {}));
        current.append(text.substr(index, scalarLength));
        index += scalarLength;
    }
    if (!current.empty()) chunks.push_back(std::move(current));
    return chunks;
}

bool LiveDictationWriter::postUnicode(std::string_view delta) {
    auto scalars = unicode::codePoints(delta);
    auto units = unicode::toUTF16(delta);
    // A newline or tab typed into a field could submit a form or move focus.
    if (!scalars || !units || hasControlCharacter(*scalars)) return false;
    const auto chunks = unicodeChunks(*units);
    auto& poster = ports_.eventPoster;
    if (!poster.preflightPostEventAccess()) return false;
    auto source = poster.makeEventSource();
    if (!source) return false;
    for (const auto& chunk : chunks) {
        if (paused_ || !matches()) return false;
        auto keyDown = source->makeKeyboardEvent(virtual_key::unicodeCarrier, true);
        auto keyUp = source->makeKeyboardEvent(virtual_key::unicodeCarrier, false);
        if (!keyDown || !keyUp) return false;
        for (auto* event : {&*keyDown, &*keyUp}) {
            event->flags = 0;
            event->unicodeString = chunk;
            MurmoSyntheticKeyboardEventPolicy::mark(*event);
        }
        touched_ = true;
        poster.post(*keyDown);
        poster.post(*keyUp);
    }
    return true;
}

}  // namespace murmo
