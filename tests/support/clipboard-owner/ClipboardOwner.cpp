// murmo-clipboard-owner: another application on the X clipboard, for tests.
// It owns the CLIPBOARD selection with the targets it is given and serves
// them (large ones in INCR chunks when told to, and it can be told to stop
// in the middle of such a transfer), reads the clipboard as any other
// application would, and can play a clipboard manager. Commands come on
// standard input, one a line; each is answered with one line on standard
// output:
//
//   offer <target> <hex bytes>      ok            (adds a target to own with)
//   offer-pattern <target> <size>   ok            (patternByte(i) for i < size)
//   incremental <bytes>             ok            (data above it goes out in INCR chunks of it)
//   stall-after <chunks>            ok            (an INCR transfer stops after that many chunks)
//   own                             owned | failed
//   targets                         targets <name>... | none
//   read <target>                   data <hex bytes> | none
//   read-multiple <target>...       multiple <hex bytes or ->... | none   (in one MULTIPLE request)
//   manage                          managing | failed   (owns CLIPBOARD_MANAGER)
//   quit                            (exits)
//
// Unasked, it reports "lost" when another client takes the clipboard from
// it, and, as a manager, "saved <targets>" once it has taken over the
// clipboard's content. It exits when its input closes, so it never outlives
// the test that started it.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ClipboardOwnerWire.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

using murmo::clipboard_owner_wire::hex;
using murmo::clipboard_owner_wire::patternByte;
using murmo::clipboard_owner_wire::unhex;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kReadTimeout = std::chrono::seconds(2);

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct Transfer {
    Window requestor;
    Atom property;
    Atom target;
    std::size_t offset;
    std::size_t chunksSent;
};

class Owner {
public:
    explicit Owner(Display* display)
        : display_(display),
          window_(XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)),
          clipboard_(atom("CLIPBOARD")),
          targets_(atom("TARGETS")),
          timestamp_(atom("TIMESTAMP")),
          incr_(atom("INCR")),
          manager_(atom("CLIPBOARD_MANAGER")),
          saveTargets_(atom("SAVE_TARGETS")),
          readProperty_(atom("OWNER_READ")) {
        XSelectInput(display_, window_, PropertyChangeMask);
    }

    Atom atom(const std::string& name) const { return XInternAtom(display_, name.c_str(), False); }

    void command(const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "offer") {
            std::string target;
            std::string bytes;
            words >> target >> bytes;
            offers_[atom(target)] = unhex(bytes);
            say("ok");
        } else if (verb == "offer-pattern") {
            std::string target;
            std::size_t size = 0;
            words >> target >> size;
            Bytes bytes(size);
            for (std::size_t i = 0; i < size; ++i) bytes[i] = patternByte(i);
            offers_[atom(target)] = std::move(bytes);
            say("ok");
        } else if (verb == "incremental") {
            words >> incrementalAbove_;
            say("ok");
        } else if (verb == "stall-after") {
            std::size_t chunks = 0;
            words >> chunks;
            stallAfter_ = chunks;
            say("ok");
        } else if (verb == "own") {
            say(own() ? "owned" : "failed");
        } else if (verb == "targets") {
            const auto names = readTargets();
            if (!names) {
                say("none");
                return;
            }
            std::string text = "targets";
            for (const auto& name : *names) text += " " + name;
            say(text);
        } else if (verb == "read") {
            std::string target;
            words >> target;
            const auto bytes = read(atom(target));
            say(bytes ? "data " + hex(*bytes) : "none");
        } else if (verb == "read-multiple") {
            std::vector<Atom> targets;
            for (std::string target; words >> target;) targets.push_back(atom(target));
            say(readMultiple(targets));
        } else if (verb == "manage") {
            XSetSelectionOwner(display_, manager_, window_, serverTime());
            say(XGetSelectionOwner(display_, manager_) == window_ ? "managing" : "failed");
        }
    }

    void handle(XEvent& event) {
        if (event.type == SelectionRequest) {
            answer(event.xselectionrequest);
        } else if (event.type == SelectionClear && event.xselectionclear.selection == clipboard_) {
            if (owning_) say("lost");
            owning_ = false;
        } else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
            continueTransfer(event.xproperty.window, event.xproperty.atom);
        }
    }

private:
    Time serverTime() {
        XChangeProperty(display_, window_, timestamp_, XA_INTEGER, 8, PropModeAppend, nullptr, 0);
        XEvent event;
        XIfEvent(
            display_, &event,
            [](Display*, XEvent* candidate, XPointer window) -> Bool {
                return candidate->type == PropertyNotify &&
                       candidate->xproperty.window == *reinterpret_cast<Window*>(window);
            },
            reinterpret_cast<XPointer>(&window_));
        return event.xproperty.time;
    }

    bool own() {
        ownedAt_ = serverTime();
        XSetSelectionOwner(display_, clipboard_, window_, ownedAt_);
        owning_ = XGetSelectionOwner(display_, clipboard_) == window_;
        return owning_;
    }

    // Waits for an event that `matches` takes, handling every other one.
    template <class Match>
    bool waitFor(Clock::time_point deadline, Match matches, XEvent& found) {
        for (;;) {
            while (XPending(display_) > 0) {
                XNextEvent(display_, &found);
                if (matches(found)) return true;
                handle(found);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd readable{.fd = ConnectionNumber(display_), .events = POLLIN, .revents = 0};
            ::poll(&readable, 1, static_cast<int>(left));
        }
    }

    std::optional<std::pair<Atom, Bytes>> takeProperty() { return takeProperty(readProperty_); }

    std::optional<std::pair<Atom, Bytes>> takeProperty(Atom property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, window_, property, 0, 1L << 26, True, AnyPropertyType, &type, &format,
                               &count, &after, &data) != Success ||
            type == None) {
            return std::nullopt;
        }
        Bytes bytes;
        if (format == 8) bytes.assign(data, data + count);
        if (format == 32) {
            for (unsigned long i = 0; i < count; ++i) {
                const auto value = static_cast<std::uint32_t>(reinterpret_cast<unsigned long*>(data)[i]);
                const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
                bytes.insert(bytes.end(), raw, raw + 4);
            }
        }
        XFree(data);
        return std::make_pair(type, std::move(bytes));
    }

    std::optional<Bytes> read(Atom target) {
        XConvertSelection(display_, clipboard_, target, readProperty_, window_, CurrentTime);
        const auto deadline = Clock::now() + kReadTimeout;
        XEvent event;
        if (!waitFor(deadline, [&](XEvent& e) { return e.type == SelectionNotify && e.xselection.requestor == window_; },
                     event) ||
            event.xselection.property == None) {
            return std::nullopt;
        }
        auto first = takeProperty();
        if (!first || first->first != incr_) return first ? std::optional<Bytes>(first->second) : std::nullopt;
        Bytes whole;
        for (;;) {
            const bool arrived = waitFor(
                deadline,
                [&](XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == window_ &&
                           e.xproperty.atom == readProperty_ && e.xproperty.state == PropertyNewValue;
                },
                event);
            if (!arrived) return std::nullopt;
            auto chunk = takeProperty();
            if (!chunk) return std::nullopt;
            if (chunk->second.empty()) return whole;
            whole.insert(whole.end(), chunk->second.begin(), chunk->second.end());
        }
    }

    // Every target in one request: each pair names the property its data go
    // to, and comes back with None when the owner refused that target.
    std::string readMultiple(const std::vector<Atom>& targets) {
        std::vector<long> pairs;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            pairs.push_back(static_cast<long>(targets[i]));
            pairs.push_back(static_cast<long>(atom("OWNER_MULTIPLE_" + std::to_string(i))));
        }
        XChangeProperty(display_, window_, readProperty_, atom("ATOM_PAIR"), 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(pairs.data()), static_cast<int>(pairs.size()));
        XConvertSelection(display_, clipboard_, atom("MULTIPLE"), readProperty_, window_, CurrentTime);
        XEvent event;
        if (!waitFor(Clock::now() + kReadTimeout,
                     [&](XEvent& e) { return e.type == SelectionNotify && e.xselection.requestor == window_; },
                     event) ||
            event.xselection.property == None) {
            return "none";
        }
        const auto answered = takeProperty();
        if (!answered) return "none";
        std::string line = "multiple";
        for (std::size_t offset = 4; offset + 4 <= answered->second.size(); offset += 8) {
            std::uint32_t property = 0;
            std::copy_n(answered->second.data() + offset, 4, reinterpret_cast<std::uint8_t*>(&property));
            const auto data = property == None ? std::nullopt : takeProperty(property);
            line += data ? " " + hex(data->second) : " -";
        }
        return line;
    }

    std::optional<std::vector<std::string>> readTargets() {
        const auto bytes = read(targets_);
        if (!bytes) return std::nullopt;
        std::vector<std::string> names;
        for (std::size_t offset = 0; offset + 4 <= bytes->size(); offset += 4) {
            std::uint32_t value = 0;
            std::copy_n(bytes->data() + offset, 4, reinterpret_cast<std::uint8_t*>(&value));
            char* name = XGetAtomName(display_, value);
            if (!name) continue;
            names.emplace_back(name);
            XFree(name);
        }
        return names;
    }

    // As a clipboard manager: every content target of the clipboard, then
    // the clipboard itself.
    bool saveClipboard() {
        const auto names = readTargets();
        if (!names) return false;
        std::map<Atom, Bytes> saved;
        for (const auto& name : *names) {
            if (name == "TARGETS" || name == "TIMESTAMP" || name == "MULTIPLE" || name == "SAVE_TARGETS") continue;
            const auto bytes = read(atom(name));
            if (!bytes) return false;
            saved[atom(name)] = *bytes;
        }
        offers_ = std::move(saved);
        if (!own()) return false;
        say("saved " + std::to_string(offers_.size()));
        return true;
    }

    void answer(const XSelectionRequestEvent& request) {
        const Atom property = request.property == None ? request.target : request.property;
        Atom answered = None;
        if (request.selection == manager_ && request.target == saveTargets_) {
            if (saveClipboard()) {
                XChangeProperty(display_, request.requestor, property, atom("NULL"), 32, PropModeReplace, nullptr, 0);
                answered = property;
            }
        } else if (request.selection == clipboard_ && owning_) {
            answered = convert(request.requestor, request.target, property);
        }
        XEvent notify{};
        notify.xselection.type = SelectionNotify;
        notify.xselection.requestor = request.requestor;
        notify.xselection.selection = request.selection;
        notify.xselection.target = request.target;
        notify.xselection.property = answered;
        notify.xselection.time = request.time;
        XSendEvent(display_, request.requestor, False, NoEventMask, &notify);
        XFlush(display_);
    }

    Atom convert(Window requestor, Atom target, Atom property) {
        if (target == targets_) {
            std::vector<long> atoms{static_cast<long>(targets_), static_cast<long>(timestamp_)};
            for (const auto& offer : offers_) atoms.push_back(static_cast<long>(offer.first));
            XChangeProperty(display_, requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
            return property;
        }
        if (target == timestamp_) {
            long time = static_cast<long>(ownedAt_);
            XChangeProperty(display_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&time), 1);
            return property;
        }
        const auto offer = offers_.find(target);
        if (offer == offers_.end()) return None;
        if (incrementalAbove_ > 0 && offer->second.size() > incrementalAbove_) {
            XSelectInput(display_, requestor, PropertyChangeMask);
            long size = static_cast<long>(offer->second.size());
            XChangeProperty(display_, requestor, property, incr_, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&size), 1);
            transfers_.push_back(Transfer{requestor, property, target, 0, 0});
            return property;
        }
        XChangeProperty(display_, requestor, property, target, 8, PropModeReplace, offer->second.data(),
                        static_cast<int>(offer->second.size()));
        return property;
    }

    void continueTransfer(Window requestor, Atom property) {
        const auto found = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& transfer) {
            return transfer.requestor == requestor && transfer.property == property;
        });
        if (found == transfers_.end()) return;
        if (stallAfter_ && found->chunksSent >= *stallAfter_) return;
        const auto& bytes = offers_[found->target];
        const auto length = std::min(incrementalAbove_, bytes.size() - std::min(found->offset, bytes.size()));
        XChangeProperty(display_, requestor, property, found->target, 8, PropModeReplace,
                        bytes.data() + found->offset, static_cast<int>(length));
        XFlush(display_);
        found->offset += length;
        ++found->chunksSent;
        if (length == 0) transfers_.erase(found);
    }

    Display* display_;
    Window window_;
    Atom clipboard_, targets_, timestamp_, incr_, manager_, saveTargets_, readProperty_;
    std::map<Atom, Bytes> offers_;
    std::size_t incrementalAbove_ = 0;
    std::optional<std::size_t> stallAfter_;
    std::vector<Transfer> transfers_;
    bool owning_ = false;
    Time ownedAt_ = CurrentTime;
};

}  // namespace

int main() {
    // A requestor that gave up and went away makes a write to its window
    // fail; the owner carries on (Xlib's default handler would exit).
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "murmo-clipboard-owner: cannot open the display\n");
        return 1;
    }
    Owner owner(display);
    std::string pending;
    std::array<pollfd, 2> watched{pollfd{.fd = ConnectionNumber(display), .events = POLLIN, .revents = 0},
                                  pollfd{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            owner.handle(event);
        }
        ::poll(watched.data(), watched.size(), -1);
        if (watched[1].revents == 0) continue;
        std::array<char, 1 << 16> buffer{};
        const auto count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (count <= 0) break;
        pending.append(buffer.data(), static_cast<std::size_t>(count));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const auto line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "quit") {
                XCloseDisplay(display);
                return 0;
            }
            owner.command(line);
        }
    }
    XCloseDisplay(display);
    return 0;
}
