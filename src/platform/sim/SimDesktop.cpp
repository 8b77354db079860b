#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <stdexcept>

#include "platform/KeyTap.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimEventPoster.h"
#include "platform/sim/SimHUDSurface.h"
#include "platform/sim/SimInputActivity.h"
#include "platform/sim/SimPasteboard.h"
#include "platform/sim/SimProcessInfo.h"
#include "platform/sim/SimUserInputWatch.h"
#include "platform/sim/SimWorkspace.h"
#include "runtime/ManualLoop.h"
#include "runtime/Unicode.h"

namespace murmo {

SimDesktop::SimDesktop(const Clock& clock, std::function<void(Duration)> spendTime, MainLoop* loop)
    : clock_(clock),
      spendTime_(std::move(spendTime)),
      loop_(loop),
      accessibility_(std::make_unique<SimAccessibility>(*this)),
      workspace_(std::make_unique<SimWorkspace>(*this)),
      processInfo_(std::make_unique<SimProcessInfo>(*this)),
      inputActivity_(std::make_unique<SimInputActivity>(*this)),
      pasteboard_(std::make_unique<SimPasteboard>(*this)),
      eventPoster_(std::make_unique<SimEventPoster>(*this)),
      userInputWatch_(std::make_shared<SimUserInputWatch>(*this)),
      chrome_(loop),
      hudSurface_(std::make_unique<SimHUDSurface>(*this)) {}

DesktopPorts SimDesktop::ports() {
    return DesktopPorts{
        .accessibility = accessibility(),
        .workspace = workspace(),
        .processInfo = processInfo(),
        .inputActivity = inputActivity(),
        .pasteboard = pasteboard(),
        .eventPoster = eventPoster(),
        .userInputWatch = userInputWatch(),
        .defaults = defaults_,
        .chrome = chrome_,
        .savePanel = chrome_,
        .alerts = chrome_,
        .statusBar = chrome_,
        .windows = chrome_,
        .loginItem = loginItem_,
        .speechSynthesizer = speechSynthesizer_,
        .hud = *hudSurface_,
        .textMeasure = textMeasure_,
        .iconRenderer = iconRenderer_,
        .keyTap = keyTap_,
        .audioEngines = audioEngines_,
        .audioDevices = audioDevices_,
        .microphonePermission = microphonePermission_,
        .cuePlayers = cuePlayers_,
    };
}

SimDesktop::SimDesktop(ManualLoop& loop)
    : SimDesktop(
          loop.clock(), [&loop](Duration duration) { loop.advanceClockOnly(duration); }, &loop) {}

SimDesktop::~SimDesktop() = default;

Accessibility& SimDesktop::accessibility() { return *accessibility_; }
Workspace& SimDesktop::workspace() { return *workspace_; }
ProcessInfo& SimDesktop::processInfo() { return *processInfo_; }
InputActivity& SimDesktop::inputActivity() { return *inputActivity_; }
Pasteboard& SimDesktop::pasteboard() { return *pasteboard_; }
EventPoster& SimDesktop::eventPoster() { return *eventPoster_; }
UserInputWatch& SimDesktop::userInputWatch() { return *userInputWatch_; }
HUDSurface& SimDesktop::hud() { return *hudSurface_; }

SimElementID SimDesktop::launch(const SimProcessSetup& setup) {
    terminate(setup.pid);
    SimElement applicationElement;
    applicationElement.id = model_.nextElementID++;
    applicationElement.pid = setup.pid;
    applicationElement.role = "AXApplication";
    model_.elements.emplace(applicationElement.id, applicationElement);

    SimProcess process;
    process.pid = setup.pid;
    process.parentPID = setup.parentPID;
    process.startSeconds = setup.startSeconds;
    process.startMicroseconds = setup.startMicroseconds;
    process.application = setup.application;
    process.applicationElement = applicationElement.id;
    model_.processes[setup.pid] = process;
    return applicationElement.id;
}

void SimDesktop::terminate(std::int32_t pid) {
    if (model_.processes.erase(pid) == 0) return;
    std::erase_if(model_.elements, [pid](const auto& entry) { return entry.second.pid == pid; });
    std::erase_if(model_.windows, [pid](const SimWindow& window) { return window.ownerPID == pid; });
    if (model_.frontmostPID == pid) model_.frontmostPID.reset();
}

void SimDesktop::installApplication(std::string bundleIdentifier, std::filesystem::path location,
                                    std::optional<PixelImage> fileIcon) {
    auto& workspace = model_.workspace;
    if (fileIcon) {
        workspace.fileIcons.insert_or_assign(location, std::move(*fileIcon));
    } else {
        workspace.fileIcons.erase(location);
    }
    workspace.installedApplications.insert_or_assign(std::move(bundleIdentifier), std::move(location));
}

SimProcess& SimDesktop::process(std::int32_t pid) {
    auto found = model_.processes.find(pid);
    if (found == model_.processes.end()) throw std::out_of_range("no simulated process with that pid");
    return found->second;
}

SimElementID SimDesktop::addElement(SimElementID parent, const SimElementSetup& setup) {
    const auto& parentElement = element(parent);
    SimElement created;
    created.id = model_.nextElementID++;
    created.pid = setup.ownerPID.value_or(parentElement.pid);
    created.parent = parent;
    created.role = setup.role;
    created.subrole = setup.subrole;
    created.value = setup.value;
    created.selectedRange = setup.selectedRange;
    created.valueSettable = setup.valueSettable;
    created.selectedTextSettable = setup.selectedTextSettable;
    created.insertionLeavesCaretAtStart = setup.insertionLeavesCaretAtStart;
    model_.elements.emplace(created.id, created);
    return created.id;
}

SimElementID SimDesktop::addWindow(std::int32_t pid, std::optional<std::uint32_t> windowNumber, std::int32_t layer) {
    auto id = addElement(process(pid).applicationElement, SimElementSetup{.role = "AXWindow"});
    model_.windows.insert(model_.windows.begin(),
                          SimWindow{.element = id, .ownerPID = pid, .layer = layer, .windowNumber = windowNumber});
    return id;
}

SimElement& SimDesktop::element(SimElementID id) {
    auto found = model_.elements.find(id);
    if (found == model_.elements.end()) throw std::out_of_range("no simulated element with that id");
    return found->second;
}

AXElement SimDesktop::axElement(SimElementID id) const { return accessibility_->elementFor(id); }

void SimDesktop::setFrontmost(std::optional<std::int32_t> pid) { model_.frontmostPID = pid; }

void SimDesktop::userActivatesApplication(std::int32_t pid) {
    model_.frontmostPID = pid;
    if (const auto application = workspace_->runningApplication(pid)) workspace_->tellActivation(*application);
}

void SimDesktop::setFocusedElement(std::int32_t pid, std::optional<SimElementID> focused) {
    process(pid).focusedElement = focused;
}

void SimDesktop::setFocusedWindow(std::int32_t pid, std::optional<SimElementID> window) {
    process(pid).focusedWindow = window;
}

void SimDesktop::addFault(SimAXFault fault) { model_.faults.push_back(std::move(fault)); }

void SimDesktop::setMessageCost(std::int32_t pid, Duration cost) { process(pid).messageCost = cost; }

void SimDesktop::userPressesKey() { deliverInputEvent(SimInputEvent{.type = InputEventType::keyDown}); }

void SimDesktop::userClicks(InputEventType button) { deliverInputEvent(SimInputEvent{.type = button}); }

void SimDesktop::deliverInputEvent(const SimInputEvent& event) {
    model_.inputEvents.push_back(event);
    // The application's own synthetic events are no sign of the user.
    if (event.sourceUserData != kSyntheticEventUserDataMarker) {
        auto& counters = model_.counters;
        switch (event.type) {
            case InputEventType::keyDown: ++counters.keyDown; break;
            case InputEventType::leftMouseDown: ++counters.leftMouseDown; break;
            case InputEventType::rightMouseDown: ++counters.rightMouseDown; break;
            case InputEventType::otherMouseDown: ++counters.otherMouseDown; break;
        }
    }
    // Watches see every event; telling the application's own apart is theirs.
    userInputWatch_->dispatch(UserInputEvent{.type = event.type, .sourceUserData = event.sourceUserData});
}

// ---- Pasteboard -----------------------------------------------------------------

void SimDesktop::userCopies(std::vector<PasteboardItem> items) {
    auto& state = model_.pasteboard;
    ++state.changeCount;
    state.items = std::move(items);
}

void SimDesktop::userCopiesAfter(Duration delay, std::vector<PasteboardItem> items) {
    later(delay, [this, items = std::move(items)]() mutable { userCopies(std::move(items)); });
}

void SimDesktop::addPasteboardFault(SimPasteboardFault fault) { model_.pasteboard.faults.push_back(std::move(fault)); }

bool SimDesktop::takePasteboardFault(SimPasteboardOperation operation, std::string_view type) {
    for (auto& fault : model_.pasteboard.faults) {
        if (fault.remaining == 0 || fault.operation != operation) continue;
        if (fault.type && *fault.type != type) continue;
        if (fault.remaining > 0) --fault.remaining;
        return true;
    }
    return false;
}

void SimDesktop::logPasteboardCall(SimPasteboardOperation operation, std::string_view type, bool succeeded) {
    auto& state = model_.pasteboard;
    state.calls.push_back(
        SimPasteboardCall{.operation = operation, .type = std::string(type), .succeeded = succeeded, .at = now()});
    if (state.afterCall) {
        // A copy, so that the hook may replace itself.
        auto hook = state.afterCall;
        hook(state.calls.back());
    }
}

// ---- Posted events --------------------------------------------------------------

void SimDesktop::setPasteResponse(std::int32_t pid, SimPasteResponse response) {
    process(pid).pasteResponse = std::move(response);
}

void SimDesktop::addEventFault(SimEventFault fault) { model_.eventPosting.faults.push_back(fault); }

bool SimDesktop::takeEventFault(SimEventOperation operation) {
    for (auto& fault : model_.eventPosting.faults) {
        if (fault.remaining == 0 || fault.operation != operation) continue;
        if (fault.remaining > 0) --fault.remaining;
        return true;
    }
    return false;
}

void SimDesktop::receivePostedEvent(const KeyboardEvent& event) {
    const auto receiver = model_.frontmostPID;
    model_.eventPosting.posted.push_back(SimPostedEvent{.event = event, .frontmostPID = receiver, .postedAt = now()});
    if (!event.keyDown) return;
    deliverInputEvent(SimInputEvent{.type = InputEventType::keyDown, .sourceUserData = event.sourceUserData});
    if (!receiver || !model_.processes.contains(*receiver)) return;
    const bool pasteChord = event.virtualKey == virtual_key::v && (event.flags & key_event_flags::command) != 0 &&
                            event.unicodeString.empty();
    if (pasteChord) {
        const auto pid = *receiver;
        const auto delay = process(pid).pasteResponse.delay;
        if (delay > Duration::zero()) {
            later(delay, [this, pid] { handlePaste(pid); });
        } else {
            handlePaste(pid);
        }
        return;
    }
    if (!event.unicodeString.empty()) typeText(*receiver, event.unicodeString);
}

void SimDesktop::handlePaste(std::int32_t pid) {
    auto found = model_.processes.find(pid);
    if (found == model_.processes.end()) return;
    const auto response = found->second.pasteResponse;
    const auto focused = found->second.focusedElement;
    if (response.insertion != SimPasteInsertion::never && focused && model_.elements.contains(*focused)) {
        const auto& items = model_.pasteboard.items;
        const PasteboardBytes* text = items.empty() ? nullptr : items.front().data(kPasteboardPlainTextType);
        if (text) {
            insertText(*focused, std::string(text->begin(), text->end()),
                       response.insertion == SimPasteInsertion::caretElsewhere);
        }
    }
    if (response.overwritesPasteboard) userCopies(*response.overwritesPasteboard);
}

void SimDesktop::typeText(std::int32_t pid, const std::u16string& text) {
    const auto focused = process(pid).focusedElement;
    if (!focused || !model_.elements.contains(*focused)) return;
    if (auto encoded = unicode::fromUTF16(text)) insertText(*focused, *encoded);
}

void SimDesktop::movePointer(HUDPoint location) {
    model_.hud.pointer = location;
    hudSurface_->updateHover();
}

void SimDesktop::userClicksAt(HUDPoint location, HUDMouseButton button) {
    movePointer(location);
    constexpr InputEventType types[] = {InputEventType::leftMouseDown, InputEventType::rightMouseDown,
                                        InputEventType::otherMouseDown};
    deliverInputEvent(SimInputEvent{.type = types[static_cast<int>(button)]});
    hudSurface_->deliverMouseDown(HUDMouseDown{button, location});
}

void SimDesktop::userScrolls(double deltaY) { hudSurface_->deliverScroll(deltaY); }

void SimDesktop::setScreens(std::vector<HUDScreen> screens, std::optional<std::size_t> mainScreen) {
    model_.hud.screens = std::move(screens);
    model_.hud.mainScreen = mainScreen;
    hudSurface_->screensChanged();
}

void SimDesktop::setSystemDarkAppearance(bool dark) {
    const bool wasDark = hudSurface_->isEffectiveAppearanceDark();
    model_.hud.systemDark = dark;
    hudSurface_->appearanceMayHaveChanged(wasDark);
}

void SimDesktop::setDisplayOptions(HUDDisplayOptions options) {
    model_.hud.displayOptions = options;
    hudSurface_->displayOptionsChanged();
}

void SimDesktop::later(Duration delay, std::function<void()> action) {
    if (!loop_) {
        action();
        return;
    }
    auto timer = loop_->after(delay, std::move(action));
    std::erase_if(scheduled_, [](const Timer& scheduled) { return !scheduled.armed(); });
    scheduled_.push_back(std::move(timer));
}

bool SimDesktop::insertText(SimElementID id, std::string_view text, bool caretAtStart) {
    auto& target = element(id);
    if (!target.value || !target.selectedRange) return false;
    auto value = unicode::toUTF16(*target.value);
    auto inserted = unicode::toUTF16(text);
    if (!value || !inserted) return false;
    const auto range = *target.selectedRange;
    const auto size = static_cast<std::int64_t>(value->size());
    if (range.location < 0 || range.length < 0 || range.location > size || range.length > size - range.location) {
        return false;
    }
    value->replace(static_cast<std::size_t>(range.location), static_cast<std::size_t>(range.length), *inserted);
    auto encoded = unicode::fromUTF16(*value);
    if (!encoded) return false;
    target.value = std::move(*encoded);
    const bool leavesCaretAtStart = caretAtStart || target.insertionLeavesCaretAtStart;
    target.selectedRange =
        AXTextRange{leavesCaretAtStart ? 0 : range.location + static_cast<std::int64_t>(inserted->size()), 0};
    return true;
}

void SimDesktop::spend(Duration duration) {
    if (duration > Duration::zero() && spendTime_) spendTime_(duration);
}

std::optional<AXError> SimDesktop::takeFault(SimAXOperation operation, SimElementID element, std::int32_t pid,
                                             std::string_view attribute) {
    for (auto& fault : model_.faults) {
        if (fault.remaining == 0) continue;
        if (fault.operation && *fault.operation != operation) continue;
        if (fault.element && *fault.element != element) continue;
        if (fault.pid && *fault.pid != pid) continue;
        if (fault.attribute && *fault.attribute != attribute) continue;
        if (fault.remaining > 0) --fault.remaining;
        return fault.error;
    }
    return std::nullopt;
}

}  // namespace murmo
