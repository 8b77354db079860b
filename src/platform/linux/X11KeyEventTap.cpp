#include "platform/linux/X11KeyEventTap.h"

#include <poll.h>

#include <array>
#include <chrono>

#include "platform/InputActivity.h"
#include "platform/linux/X11GrabVariants.h"
#include "platform/linux/X11InputDevices.h"
#include "platform/linux/X11KeyCodes.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace murmo {

namespace {

// The mask of the modifier the keyboard mapping gives `keycode`, or 0.
unsigned modifierMaskOf(const XModifierKeymap* map, unsigned keycode) {
    if (keycode == 0) return 0;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == keycode) return 1u << modifier;
        }
    }
    return 0;
}

// Read from the server each time keys are claimed, so a layout change
// between claims is followed. Option and Command are found by position (left
// Alt, left Super), the lock keys by their keysyms.
X11ModifierMasks modifierMasks(Display* display) {
    X11ModifierMasks masks{.shift = ShiftMask, .control = ControlMask, .capsLock = LockMask};
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return masks;
    const auto positionMask = [&](std::int64_t virtualKeyCode, unsigned fallback) {
        const auto keycode = X11KeyCodes::xKeyCode(virtualKeyCode);
        const unsigned mask = keycode ? modifierMaskOf(map, *keycode) : 0;
        return mask ? mask : fallback;
    };
    masks.option = positionMask(58, Mod1Mask);
    masks.command = positionMask(55, Mod4Mask);
    masks.numLock = modifierMaskOf(map, XKeysymToKeycode(display, XK_Num_Lock));
    masks.scrollLock = modifierMaskOf(map, XKeysymToKeycode(display, XK_Scroll_Lock));
    XFreeModifiermap(map);
    return masks;
}

}  // namespace

std::shared_ptr<X11KeyEventTap> X11KeyEventTap::open(const std::string& displayName, KeyTapCallback callback) {
    auto grabbing = X11Connection::open(displayName);
    auto raw = X11Connection::open(displayName);
    if (!grabbing || !raw) return nullptr;
    Display* rawDisplay = (*raw)->display();

    const auto opcode = x11_input::xinput2Opcode(rawDisplay, 2);
    if (!opcode) return nullptr;

    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XISetMask(bits.data(), XI_RawKeyPress);
    XISetMask(bits.data(), XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(rawDisplay, DefaultRootWindow(rawDisplay), &mask, 1);
    auto xtest = x11_input::xtestDevices(rawDisplay);
    XSync(rawDisplay, False);

    // A held grabbed key then repeats as presses alone, with no release
    // between them.
    XkbSetDetectableAutoRepeat((*grabbing)->display(), True, nullptr);
    return std::make_shared<X11KeyEventTap>(Passkey{}, std::move(*grabbing), std::move(*raw), *opcode, std::move(xtest),
                                            std::move(callback));
}

X11KeyEventTap::X11KeyEventTap(Passkey, std::unique_ptr<X11Connection> grabbing, std::unique_ptr<X11Connection> raw,
                               int inputOpcode, std::set<int> xtestDevices, KeyTapCallback callback)
    : grabbing_(std::move(grabbing)),
      raw_(std::move(raw)),
      inputOpcode_(inputOpcode),
      xtestDevices_(std::move(xtestDevices)),
      callback_(std::move(callback)) {
    // Keys already down (a modifier held while the tap starts) count as held,
    // so the first events carry the right flags.
    std::array<char, 32> keys{};
    XQueryKeymap(grabbing_->display(), keys.data());
    for (unsigned keycode = 8; keycode < 256; ++keycode) {
        if (keys[keycode / 8] & (1 << (keycode % 8))) held_[keycode] = HeldKey{};
    }
}

X11KeyEventTap::~X11KeyEventTap() {
    std::lock_guard lock(mutex_);
    releaseClaimsLocked();
}

void X11KeyEventTap::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    if (valid_ && !noticeSent_) enabled_ = enabled;
}

bool X11KeyEventTap::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void X11KeyEventTap::invalidate() {
    KeyTapCallback dropped;
    {
        std::lock_guard lock(mutex_);
        if (!valid_) return;
        valid_ = false;
        enabled_ = false;
        dropped = std::move(callback_);
        callback_ = nullptr;
        releaseClaimsLocked();
    }
    wakeup_.signal();
}

bool X11KeyEventTap::setSwallowCandidates(const KeyTapSwallowCandidates& candidates) {
    bool claimed = false;
    {
        std::lock_guard lock(mutex_);
        releaseClaimsLocked();
        if (valid_ && !brokenLocked()) {
            claimed = claimLocked(candidates);
            if (!claimed) releaseClaimsLocked();
        }
    }
    // Claiming reads from the connection: events it queued are served now.
    wakeup_.signal();
    return claimed;
}

bool X11KeyEventTap::claimLocked(const KeyTapSwallowCandidates& candidates) {
    Display* display = grabbing_->display();
    const Window root = DefaultRootWindow(display);
    X11ErrorTrap trap(*grabbing_);
    if (candidates.wholeKeyboard) {
        if (XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) != GrabSuccess) return false;
        keyboardGrabbed_ = true;
    }
    const auto masks = modifierMasks(display);
    for (const auto& candidate : candidates.keys) {
        // A key X cannot produce never needs withholding.
        const auto keycode = X11KeyCodes::xKeyCode(candidate.keyCode);
        if (!keycode) continue;
        const auto variants = X11GrabVariants::forFlags(candidate.flags, masks);
        const auto grab = [&](unsigned modifiers) {
            XGrabKey(display, static_cast<int>(*keycode), modifiers, root, False, GrabModeAsync, GrabModeSync);
            grabs_.emplace_back(*keycode, modifiers);
        };
        for (const unsigned modifiers : variants.exact) grab(modifiers);
        // BadAccess: another client holds the shortcut itself.
        if (!trap.sync().empty() || grabbing_->isBroken()) return false;
        // The wider combinations another client holds are its own shortcuts
        // and stay with it; the rest are ours.
        for (const unsigned modifiers : variants.wider) grab(modifiers);
        trap.sync();
    }
    return !grabbing_->isBroken();
}

// Gives every claim back. A press the server holds for a verdict is let
// through first, and ending the grab a swallowed press began sends that key's
// release to the focused window: no key stays held anywhere.
void X11KeyEventTap::releaseClaimsLocked() {
    if (grabs_.empty() && !keyboardGrabbed_) return;
    if (!grabbing_->isBroken()) {
        Display* display = grabbing_->display();
        const Window root = DefaultRootWindow(display);
        XAllowEvents(display, ReplayKeyboard, CurrentTime);
        XUngrabKeyboard(display, CurrentTime);
        for (const auto& [keycode, modifiers] : grabs_) XUngrabKey(display, static_cast<int>(keycode), modifiers, root);
        XFlush(display);
    }
    grabs_.clear();
    keyboardGrabbed_ = false;
}

bool X11KeyEventTap::brokenLocked() const { return grabbing_->isBroken() || raw_->isBroken(); }

std::uint64_t X11KeyEventTap::flagsLocked() const {
    std::uint64_t flags = 0;
    for (const auto& [keycode, key] : held_) {
        if (const auto* entry = X11KeyCodes::byXKeyCode(keycode); entry && entry->modifier) flags |= entry->flag;
    }
    return flags;
}

KeyTapEvent X11KeyEventTap::eventLocked(unsigned xKeyCode, bool press, bool synthetic, bool repeat) const {
    const auto* entry = X11KeyCodes::byXKeyCode(xKeyCode);
    KeyTapEvent event;
    if (entry && entry->modifier) {
        event.type = KeyTapEventType::flagsChanged;
    } else {
        event.type = press ? KeyTapEventType::keyDown : KeyTapEventType::keyUp;
    }
    event.keyCode = X11KeyCodes::virtualKeyCode(xKeyCode);
    event.flags = flagsLocked();
    event.autorepeat = repeat ? 1 : 0;
    // X11 events carry no user-data field, so the source device decides:
    // every event from the XTest device counts as the application's own.
    event.sourceUserData = synthetic ? kSyntheticEventUserDataMarker : 0;
    return event;
}

std::optional<X11KeyEventTap::Work> X11KeyEventTap::rawWorkLocked() {
    Display* display = raw_->display();
    while (!raw_->isBroken() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != inputOpcode_ || !XGetEventData(display, cookie)) {
            continue;
        }
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        const int type = cookie->evtype;
        const auto keycode = static_cast<unsigned>(raw->detail);
        const unsigned long time = raw->time;
        const bool synthetic = xtestDevices_.contains(raw->sourceid);
        XFreeEventData(display, cookie);
        if (keycode < 8 || keycode > 255) continue;

        if (type == XI_RawKeyPress) {
            const auto found = held_.find(keycode);
            // Its grab reached the callback first.
            if (found != held_.end() && found->second.fromGrab && found->second.time == time) continue;
            held_[keycode] = HeldKey{.time = time, .synthetic = synthetic, .fromGrab = false, .verdict = std::nullopt};
            return Work{eventLocked(keycode, true, synthetic, false), Work::Source::raw, keycode};
        }
        if (type == XI_RawKeyRelease) {
            held_.erase(keycode);
            return Work{eventLocked(keycode, false, synthetic, false), Work::Source::raw, keycode};
        }
    }
    return std::nullopt;
}

std::optional<X11KeyEventTap::Work> X11KeyEventTap::grabWorkLocked(bool& deferred) {
    Display* display = grabbing_->display();
    while (!grabbing_->isBroken() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        // Releases are reported from the raw events; a grab only adds
        // repeats.
        if (event.type != KeyPress) continue;
        const unsigned keycode = event.xkey.keycode;
        const unsigned long time = event.xkey.time;
        const auto found = held_.find(keycode);
        if (found != held_.end() && found->second.time == time && found->second.verdict) {
            // The press the raw event already gave the callback.
            allowLocked(*found->second.verdict);
            continue;
        }
        if (found != held_.end() && found->second.time < time) {
            const auto* entry = X11KeyCodes::byXKeyCode(keycode);
            if (entry && entry->modifier) {
                allowLocked(KeyTapVerdict::pass);
                continue;
            }
            return Work{eventLocked(keycode, true, found->second.synthetic, true), Work::Source::grab, keycode};
        }
        const std::pair key{keycode, time};
        if (lookedForRawPress_ != key) {
            // The raw event of this press left the server before the grab's
            // event did; after a round trip on the raw connection it is in
            // hand. This press waits behind it.
            lookedForRawPress_ = key;
            XSync(raw_->display(), False);
            XPutBackEvent(display, &event);
            deferred = true;
            return std::nullopt;
        }
        // No raw event for it: the grab's own event reaches the callback.
        held_[keycode] = HeldKey{.time = time, .synthetic = false, .fromGrab = true, .verdict = std::nullopt};
        return Work{eventLocked(keycode, true, false, false), Work::Source::grab, keycode};
    }
    return std::nullopt;
}

void X11KeyEventTap::discardPendingLocked() {
    for (auto* connection : {raw_.get(), grabbing_.get()}) {
        Display* display = connection->display();
        while (!connection->isBroken() && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }
}

std::optional<X11KeyEventTap::Work> X11KeyEventTap::nextWorkLocked() {
    if (!valid_) {
        discardPendingLocked();
        return std::nullopt;
    }
    while (true) {
        if (brokenLocked()) {
            if (noticeSent_) return std::nullopt;
            noticeSent_ = true;
            enabled_ = false;
            grabs_.clear();
            keyboardGrabbed_ = false;
            return Work{KeyTapEvent{.type = KeyTapEventType::tapDisabledByTimeout}, Work::Source::notice, 0};
        }
        // Raw events first: a grabbed press is matched with its raw event.
        if (auto work = rawWorkLocked()) return work;
        bool deferred = false;
        if (auto work = grabWorkLocked(deferred)) return work;
        if (!deferred && !brokenLocked()) return std::nullopt;
    }
}

void X11KeyEventTap::allowLocked(KeyTapVerdict verdict) {
    if (grabbing_->isBroken()) return;
    // Either mode is ignored when the keyboard is not held for this client:
    // a repeat inside a grab already active needs no release.
    XAllowEvents(grabbing_->display(), verdict == KeyTapVerdict::swallow ? AsyncKeyboard : ReplayKeyboard, CurrentTime);
    XFlush(grabbing_->display());
}

void X11KeyEventTap::finishLocked(const Work& work, KeyTapVerdict verdict) {
    if (work.source == Work::Source::notice) return;
    if (isTapDisabledNotice(work.event.type)) return;
    const bool press = work.event.type == KeyTapEventType::keyDown ||
                       (work.event.type == KeyTapEventType::flagsChanged && held_.contains(work.xKeyCode));
    if (press && work.event.autorepeat == 0) {
        if (auto found = held_.find(work.xKeyCode); found != held_.end()) found->second.verdict = verdict;
    }
    // An invalidated tap has let its held press through already.
    if (work.source == Work::Source::grab && valid_) allowLocked(verdict);
}

bool X11KeyEventTap::serveOne() {
    Work work;
    KeyTapCallback callback;
    {
        std::lock_guard lock(mutex_);
        auto next = nextWorkLocked();
        if (!next) return false;
        work = std::move(*next);
        const bool notice = work.source == Work::Source::notice;
        if (valid_ && (enabled_ || notice)) callback = callback_;
    }
    auto verdict = callback ? callback(work.event) : KeyTapVerdict::pass;
    if (work.source == Work::Source::notice) verdict = KeyTapVerdict::pass;
    std::lock_guard lock(mutex_);
    finishLocked(work, verdict);
    return true;
}

void X11KeyEventTap::attachToCurrentThread() {
    std::lock_guard lock(mutex_);
    servingThread_ = std::this_thread::get_id();
}

bool X11KeyEventTap::runOnce(Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (servingThread_ != std::this_thread::get_id()) return false;
        }
        if (serveOne()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        waitForEvents(std::chrono::duration_cast<Duration>(deadline - now));
    }
}

void X11KeyEventTap::waitForEvents(Duration timeout) {
    std::vector<pollfd> fds{{wakeup_.fd(), POLLIN, 0}};
    {
        std::lock_guard lock(mutex_);
        // A broken connection reads as ready for ever; an invalidated tap
        // waits only to be woken.
        if (valid_ && !brokenLocked()) {
            fds.push_back({raw_->fileDescriptor(), POLLIN, 0});
            fds.push_back({grabbing_->fileDescriptor(), POLLIN, 0});
        }
    }
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    ::poll(fds.data(), fds.size(), static_cast<int>(milliseconds));
    wakeup_.acknowledge();
}

void X11KeyEventTap::detachThread() {
    {
        std::lock_guard lock(mutex_);
        servingThread_.reset();
    }
    wakeup_.signal();
}

void X11KeyEventTap::attachToMainLoop(MainLoop& loop) {
    std::lock_guard lock(mutex_);
    loop_ = &loop;
    const std::weak_ptr<X11KeyEventTap> weak = weak_from_this();
    const auto pass = [weak] {
        if (auto self = weak.lock()) self->serveMainLoopPass();
    };
    connectionWatches_.clear();
    connectionWatches_.push_back(loop.watchReadable(raw_->fileDescriptor(), pass));
    connectionWatches_.push_back(loop.watchReadable(grabbing_->fileDescriptor(), pass));
    wakeupWatch_ = loop.watchReadable(wakeup_.fd(), pass);
    // Events already read into the connections' queues.
    wakeup_.signal();
}

void X11KeyEventTap::detachFromMainLoop() {
    std::vector<ReadableWatch> watches;
    std::optional<ReadableWatch> wakeupWatch;
    {
        std::lock_guard lock(mutex_);
        loop_ = nullptr;
        watches = std::move(connectionWatches_);
        connectionWatches_.clear();
        wakeupWatch = std::move(wakeupWatch_);
        wakeupWatch_.reset();
    }
}

void X11KeyEventTap::serveMainLoopPass() {
    wakeup_.acknowledge();
    {
        std::lock_guard lock(mutex_);
        if (!loop_) return;
    }
    while (serveOne()) {
    }
    std::lock_guard lock(mutex_);
    // A broken connection reads as ready for ever: stop watching it.
    if (brokenLocked() || !valid_) {
        for (auto& watch : connectionWatches_) watch.cancel();
    }
}

}  // namespace murmo
