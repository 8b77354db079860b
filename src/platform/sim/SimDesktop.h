#pragma once

// The simulated desktop: one coherent in-memory model behind every simulated
// port, so that what one port changes another one sees (the element a test
// focuses is the one the accessibility port reports; a click the user makes
// moves the counters the input port reads).
//
// Shape of the model (SimDesktopModel):
// - processes by pid, each with its parent, its start time and, when it is an
//   application, its bundle identifier, name, bundle folder and activation
//   policy; every process has an application element and may have a focused
//   element and window;
// - elements by id, each owned by one pid, with a parent, role, subrole,
//   value, selected range (UTF-16 units) and settable flags;
// - the frontmost pid, the window list (front to back), trust and secure
//   input switches, the four input counters;
// - scripted accessibility faults (SimAXFault: "answer N reads of this
//   attribute with this error"), a virtual cost per message per process, and a
//   log of every accessibility call with its time-out.
//
// Time: every accessibility message costs its process's `messageCost` of
// virtual time, spent through the hook given at construction (with a
// ManualLoop: advanceClockOnly, so nothing runs during the call). A message
// whose cost exceeds its time-out spends the time-out and fails with
// axerror::cannotComplete, as a hung application would. The system-wide
// element answers its focused element through the frontmost application, so
// that application's cost and faults apply to it too.
//
// The pasteboard, event posting and the user-input watch:
// - the pasteboard (SimPasteboardState) holds items and a change count;
//   clearing moves the count, writing after a clear does not (as the platform
//   counts). Reads, data materialisation and writes fail on script
//   (SimPasteboardFault), every port call is logged, and `afterCall` lets a
//   test act at an exact step. userCopies() is the user (or another
//   application) taking the pasteboard over.
// - every posted keyboard event is recorded (SimEventPostingState); key-downs
//   pass through deliverInputEvent(). The application frontmost when a
//   Command-V arrives answers it as its SimPasteResponse says (insert the
//   pasteboard's text at the selection, now or later, never, with the caret
//   left elsewhere, and/or write the pasteboard over); a key-down carrying a
//   Unicode string types that string into the focused element.
// - every keyboard and mouse event, the user's or a synthetic one, passes
//   through deliverInputEvent(): the counters advance only for events without
//   kSyntheticEventUserDataMarker, and every user-input watch sees it (the
//   model's `userInputWatchAvailable` off: a platform that gives no watch);
// - insertText() is what a text field does with inserted text (accessibility
//   writes, pastes and typed text all use it).
//
// Main thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/DesktopPorts.h"
#include "platform/EventPoster.h"
#include "platform/InputActivity.h"
#include "platform/Pasteboard.h"
#include "platform/PixelImage.h"
#include "platform/ProcessInfo.h"
#include "platform/UserInputWatch.h"
#include "platform/Workspace.h"
#include "platform/sim/SimAudioDevices.h"
#include "platform/sim/SimAudioEngine.h"
#include "platform/sim/SimChrome.h"
#include "platform/sim/SimCuePlayer.h"
#include "platform/sim/SimDefaultsStore.h"
#include "platform/sim/SimHUDModel.h"
#include "platform/sim/SimIconRenderer.h"
#include "platform/sim/SimKeyTap.h"
#include "platform/sim/SimLoginItem.h"
#include "platform/sim/SimMicrophonePermission.h"
#include "platform/sim/SimSpeechSynthesizer.h"
#include "platform/sim/SimTextMeasure.h"
#include "runtime/Clock.h"
#include "runtime/MainLoop.h"

namespace murmo {

class ManualLoop;
class SimAccessibility;
class SimWorkspace;
class SimProcessInfo;
class SimInputActivity;
class SimPasteboard;
class SimEventPoster;
class SimUserInputWatch;
class SimHUDSurface;

using SimElementID = std::uint64_t;

// The system-wide element's id; element ids of the model start after it.
inline constexpr SimElementID kSimSystemWideElementID = 1;

struct SimApplicationInfo {
    std::optional<std::string> bundleIdentifier{};
    std::optional<std::string> localizedName{};
    std::optional<std::filesystem::path> bundleURL{};
    ApplicationActivationPolicy activationPolicy = ApplicationActivationPolicy::regular;
    // What the running application shows as its icon.
    std::optional<PixelImage> icon{};
};

// What an application does with the text when a Command-V reaches it.
enum class SimPasteInsertion {
    // Replaces the focused element's selection, caret after the text.
    atSelection,
    // Does nothing with it.
    never,
    // Inserts it, but leaves the caret at the start of the field.
    caretElsewhere,
};

struct SimPasteResponse {
    SimPasteInsertion insertion = SimPasteInsertion::atSelection;
    // How long after the chord the application handles it; it reads the
    // pasteboard then, not when the chord was posted.
    Duration delay{0};
    // Written over the pasteboard when the paste is handled (a clipboard
    // manager, an application that copies on paste).
    std::optional<std::vector<PasteboardItem>> overwritesPasteboard{};
};

struct SimProcess {
    std::int32_t pid = 0;
    std::int32_t parentPID = 1;
    std::uint64_t startSeconds = 0;
    std::uint64_t startMicroseconds = 0;
    // False models a process whose kernel record cannot be read completely.
    bool recordReadable = true;
    // Present for processes that are running applications.
    std::optional<SimApplicationInfo> application{};

    SimElementID applicationElement = 0;
    std::optional<SimElementID> focusedElement{};
    std::optional<SimElementID> focusedWindow{};

    // Virtual time each accessibility message to this process takes.
    Duration messageCost{0};
    // Applications that build their tree lazily report no focused element
    // until asked for the full tree.
    bool hidesFocusUntilManualAccessibility = false;
    bool manualAccessibilityEnabled = false;
    // What setting "AXManualAccessibility" answers.
    AXError manualAccessibilityResult = axerror::success;
    SimPasteResponse pasteResponse{};
};

struct SimElement {
    SimElementID id = 0;
    std::int32_t pid = 0;
    std::optional<SimElementID> parent{};
    std::optional<std::string> role{};
    std::optional<std::string> subrole{};
    std::optional<std::string> value{};
    std::optional<AXTextRange> selectedRange{};
    bool valueSettable = false;
    bool selectedTextSettable = false;
    // A field that takes inserted text but puts the caret back at its start.
    bool insertionLeavesCaretAtStart = false;
    // Answers that win over the fields above (a value of an odd type, say).
    std::map<std::string, AXAttributeValue, std::less<>> attributeOverrides{};
};

struct SimWindow {
    SimElementID element = 0;
    std::int32_t ownerPID = 0;
    std::int32_t layer = 0;
    std::optional<std::uint32_t> windowNumber{};
};

enum class SimAXOperation { copyAttribute, isAttributeSettable, setAttribute, ownerPID };

// A scripted error. Unset fields match every call; `remaining` counts the
// calls still to fail (negative: all of them).
struct SimAXFault {
    std::optional<std::int32_t> pid{};
    std::optional<SimElementID> element{};
    std::optional<std::string> attribute{};
    std::optional<SimAXOperation> operation{};
    AXError error = axerror::cannotComplete;
    int remaining = 1;
};

struct SimAXCall {
    SimAXOperation operation = SimAXOperation::copyAttribute;
    SimElementID element = 0;
    // The process that answered (0 for the system-wide element).
    std::int32_t pid = 0;
    std::string attribute{};
    // Absent for calls that send no message.
    std::optional<AXMessagingTimeout> timeout{};
    AXError error = axerror::success;
    MonotonicTime startedAt{};
    Duration cost{0};
};

struct SimInputCounters {
    std::uint32_t keyDown = 0;
    std::uint32_t leftMouseDown = 0;
    std::uint32_t rightMouseDown = 0;
    std::uint32_t otherMouseDown = 0;
};

struct SimInputEvent {
    InputEventType type = InputEventType::keyDown;
    std::int64_t sourceUserData = 0;
};

enum class SimPasteboardOperation { readItems, readData, clear, write, replace };

// A scripted pasteboard failure: reads of the items answer "unreadable",
// data reads answer nothing, writes and replacements fail. `type` narrows data reads to one
// type; `remaining` counts the calls still to fail (negative: all of them).
struct SimPasteboardFault {
    SimPasteboardOperation operation = SimPasteboardOperation::readItems;
    std::optional<std::string> type{};
    int remaining = 1;
};

struct SimPasteboardCall {
    SimPasteboardOperation operation = SimPasteboardOperation::readItems;
    std::string type{};
    bool succeeded = true;
    MonotonicTime at{};
};

struct SimPasteboardState {
    std::int64_t changeCount = 1;
    std::vector<PasteboardItem> items{};
    std::vector<SimPasteboardFault> faults{};
    std::vector<SimPasteboardCall> calls{};
    // Runs after each port call, for a test that needs something to happen
    // at an exact step.
    std::function<void(const SimPasteboardCall&)> afterCall{};
};

enum class SimEventOperation { makeSource, makeEvent };

// A scripted refusal of event posting; `remaining` as for SimAXFault.
struct SimEventFault {
    SimEventOperation operation = SimEventOperation::makeEvent;
    int remaining = 1;
};

struct SimPostedEvent {
    KeyboardEvent event{};
    // The application that received it.
    std::optional<std::int32_t> frontmostPID{};
    MonotonicTime postedAt{};
};

struct SimEventPostingState {
    bool postAccess = true;
    // Whether the user grants access when asked, and how often it was asked.
    bool grantsAccessOnRequest = false;
    int accessRequests = 0;
    std::vector<SimEventFault> faults{};
    std::vector<SimPostedEvent> posted{};
};

// Addresses the workspace was asked to open, and which it cannot open;
// installed applications by bundle identifier (running or not), and the icons
// the file manager shows for files.
struct SimWorkspaceState {
    std::vector<std::string> openRequests{};
    std::set<std::string> unopenable{};
    std::map<std::string, std::filesystem::path, std::less<>> installedApplications{};
    std::map<std::filesystem::path, PixelImage> fileIcons{};
};

struct SimDesktopModel {
    std::int32_t ownPID = 500;
    bool accessibilityTrusted = true;
    // Whether the user trusts the process when prompted, and how often the
    // prompt was shown.
    bool trustsOnPrompt = false;
    int accessibilityPrompts = 0;
    bool secureEventInput = false;
    // False: a platform that gives no global watch on the user's input.
    bool userInputWatchAvailable = true;
    std::optional<std::int32_t> frontmostPID{};
    std::map<std::int32_t, SimProcess> processes{};
    std::map<SimElementID, SimElement> elements{};
    std::vector<SimWindow> windows{};  // front to back
    SimInputCounters counters;
    std::vector<SimInputEvent> inputEvents{};  // every event, in arrival order
    Duration systemWideMessageCost{0};
    std::vector<SimAXFault> faults{};
    std::vector<SimAXCall> axCalls{};
    // Link path -> target, applied by canonicalPath().
    std::map<std::filesystem::path, std::filesystem::path> symbolicLinks{};
    SimElementID nextElementID = kSimSystemWideElementID + 1;
    SimPasteboardState pasteboard{};
    SimEventPostingState eventPosting{};
    SimWorkspaceState workspace{};
    SimHUDModel hud{};
};

struct SimProcessSetup {
    std::int32_t pid = 0;
    std::int32_t parentPID = 1;
    std::uint64_t startSeconds = 1'000;
    std::uint64_t startMicroseconds = 0;
    // Absent for a helper process that is no application.
    std::optional<SimApplicationInfo> application = SimApplicationInfo{};
};

struct SimElementSetup {
    std::optional<std::string> role{};
    std::optional<std::string> subrole{};
    std::optional<std::string> value{};
    std::optional<AXTextRange> selectedRange{};
    bool valueSettable = false;
    bool selectedTextSettable = false;
    bool insertionLeavesCaretAtStart = false;
    // Owner when it differs from the parent's (an element served by another
    // process inside the host's tree).
    std::optional<std::int32_t> ownerPID{};
};

class SimDesktop {
public:
    // `spendTime` moves the virtual clock forward while a call blocks;
    // `loop` runs what the desktop does later (a delayed paste); without one
    // such things happen at once.
    SimDesktop(const Clock& clock, std::function<void(Duration)> spendTime, MainLoop* loop = nullptr);
    explicit SimDesktop(ManualLoop& loop);
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Accessibility& accessibility();
    Workspace& workspace();
    ProcessInfo& processInfo();
    InputActivity& inputActivity();
    Pasteboard& pasteboard();
    EventPoster& eventPoster();
    UserInputWatch& userInputWatch();
    HUDSurface& hud();

    // Every port at once, for a composition root to hand out.
    DesktopPorts ports();

    // The simulated ports beyond focus and the clipboard, for tests to script.
    SimKeyTap& keyTap() { return *keyTap_; }
    SimAudioEngineFactory& audioEngines() { return *audioEngines_; }
    SimAudioDevices& audioDevices() { return *audioDevices_; }
    SimMicrophonePermission& microphonePermission() { return *microphonePermission_; }
    SimCuePlayerFactory& cuePlayers() { return *cuePlayers_; }
    SimDefaultsStore& defaults() { return defaults_; }
    SimChrome& chrome() { return chrome_; }
    SimLoginItem& loginItem() { return loginItem_; }
    SimSpeechSynthesizer& speechSynthesizer() { return speechSynthesizer_; }
    SimHUDSurface& hudSurface() { return *hudSurface_; }
    SimTextMeasure& textMeasure() { return textMeasure_; }
    SimIconRenderer& iconRenderer() { return iconRenderer_; }

    SimDesktopModel& model() { return model_; }
    const SimDesktopModel& model() const { return model_; }

    // Starts a process (replacing any process with the same pid, as pid reuse
    // does) and returns its application element.
    SimElementID launch(const SimProcessSetup& setup);
    void terminate(std::int32_t pid);
    // Installs an application at `location` (running or not: launching is
    // separate), with the icon the file manager shows for it, if any.
    void installApplication(std::string bundleIdentifier, std::filesystem::path location,
                            std::optional<PixelImage> fileIcon = std::nullopt);
    SimProcess& process(std::int32_t pid);

    SimElementID addElement(SimElementID parent, const SimElementSetup& setup);
    // A window of the process, put in front of the window list.
    SimElementID addWindow(std::int32_t pid, std::optional<std::uint32_t> windowNumber = std::nullopt,
                           std::int32_t layer = 0);
    SimElement& element(SimElementID id);
    // The accessibility port's reference to a model element.
    AXElement axElement(SimElementID id) const;

    void setFrontmost(std::optional<std::int32_t> pid);
    // The user switches to the application `pid`: it becomes frontmost and
    // the workspace's activation observers are told at once. A process that
    // is no application only becomes frontmost.
    void userActivatesApplication(std::int32_t pid);
    void setFocusedElement(std::int32_t pid, std::optional<SimElementID> element);
    void setFocusedWindow(std::int32_t pid, std::optional<SimElementID> window);

    void addFault(SimAXFault fault);
    void setMessageCost(std::int32_t pid, Duration cost);

    // The user's own input.
    void userPressesKey();
    void userClicks(InputEventType button = InputEventType::leftMouseDown);
    // Every keyboard and mouse event enters here.
    void deliverInputEvent(const SimInputEvent& event);
    // The user moves the pointer (global points, y up).
    void movePointer(HUDPoint location);
    // The user presses a mouse button at a global point: one input event,
    // which the counters, input watches, mouse monitors and, when the point
    // lies on a panel that takes clicks, the HUD's panel all see.
    void userClicksAt(HUDPoint location, HUDMouseButton button = HUDMouseButton::left);
    // The user scrolls with the pointer where it is.
    void userScrolls(double deltaY);
    // Screens are attached, removed or rearranged.
    void setScreens(std::vector<HUDScreen> screens, std::optional<std::size_t> mainScreen = 0);
    void setSystemDarkAppearance(bool dark);
    void setDisplayOptions(HUDDisplayOptions options);

    // Someone else takes the pasteboard over: the user copies, or another
    // application writes it. Moves the change count.
    void userCopies(std::vector<PasteboardItem> items);
    // The same after `delay` of virtual time (needs the loop).
    void userCopiesAfter(Duration delay, std::vector<PasteboardItem> items);
    void addPasteboardFault(SimPasteboardFault fault);
    const std::vector<PasteboardItem>& pasteboardItems() const { return model_.pasteboard.items; }

    void setPasteResponse(std::int32_t pid, SimPasteResponse response);
    void addEventFault(SimEventFault fault);
    const std::vector<SimPostedEvent>& postedEvents() const { return model_.eventPosting.posted; }
    // A posted event reaching the desktop: recorded, counted, watched, and
    // answered by the frontmost application.
    void receivePostedEvent(const KeyboardEvent& event);
    // Finds a scripted fault for the call and uses one of its counts.
    bool takeEventFault(SimEventOperation operation);
    bool takePasteboardFault(SimPasteboardOperation operation, std::string_view type);
    void logPasteboardCall(SimPasteboardOperation operation, std::string_view type, bool succeeded);

    // Inserts text at the element's selection, replacing the selected text
    // and leaving the caret after it (or at the start, for a field that
    // does so or when `caretAtStart`). False when the element has no value
    // or no valid selection.
    bool insertText(SimElementID element, std::string_view text, bool caretAtStart = false);

    const std::vector<SimAXCall>& axCalls() const { return model_.axCalls; }
    void clearAXCalls() { model_.axCalls.clear(); }

    MonotonicTime now() const { return clock_.now(); }
    void spend(Duration duration);
    // Runs `action` after `delay` of virtual time on the loop; without a
    // loop, at once.
    void later(Duration delay, std::function<void()> action);

    // Finds a scripted fault for the call and uses one of its counts.
    std::optional<AXError> takeFault(SimAXOperation operation, SimElementID element, std::int32_t pid,
                                     std::string_view attribute);

private:
    void handlePaste(std::int32_t pid);
    void typeText(std::int32_t pid, const std::u16string& text);

    const Clock& clock_;
    std::function<void(Duration)> spendTime_;
    MainLoop* loop_ = nullptr;
    SimDesktopModel model_;
    std::unique_ptr<SimAccessibility> accessibility_;
    std::unique_ptr<SimWorkspace> workspace_;
    std::unique_ptr<SimProcessInfo> processInfo_;
    std::unique_ptr<SimInputActivity> inputActivity_;
    std::unique_ptr<SimPasteboard> pasteboard_;
    std::unique_ptr<SimEventPoster> eventPoster_;
    std::shared_ptr<SimUserInputWatch> userInputWatch_;
    SimDefaultsStore defaults_;
    SimChrome chrome_;
    SimLoginItem loginItem_;
    SimSpeechSynthesizer speechSynthesizer_;
    SimTextMeasure textMeasure_;
    SimIconRenderer iconRenderer_;
    std::unique_ptr<SimHUDSurface> hudSurface_;
    std::shared_ptr<SimKeyTap> keyTap_ = std::make_shared<SimKeyTap>();
    std::shared_ptr<SimAudioEngineFactory> audioEngines_ = std::make_shared<SimAudioEngineFactory>();
    std::shared_ptr<SimAudioDevices> audioDevices_ = std::make_shared<SimAudioDevices>();
    std::shared_ptr<SimMicrophonePermission> microphonePermission_ = std::make_shared<SimMicrophonePermission>();
    std::shared_ptr<SimCuePlayerFactory> cuePlayers_ = std::make_shared<SimCuePlayerFactory>();
    // Last, so that they are cancelled before anything they would touch goes.
    std::vector<Timer> scheduled_;
};

}  // namespace murmo
