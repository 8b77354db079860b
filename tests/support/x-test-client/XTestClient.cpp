// murmo-x-test-client: an X client for tests that records the key events it
// receives. It maps a window on $DISPLAY, takes the input focus (and asks the
// window manager to activate it), prints "ready window=0x<id>" once it holds
// the focus, then one line per key event:
//
//   press keycode=38 keysym=a state=0x0 text=a
//   release keycode=38 keysym=a state=0x0 text=
//
// `text` is what the key types (presses only), with backslash and control
// characters escaped as \\ and \xNN; it runs to the end of the line. Every
// line is flushed at once. The client ends when its standard input closes
// (so it never outlives the test that started it) or the server goes away
// (Xlib's default handler ends it).
//
// Options, for tests of what the desktop reports of a window (each one off
// by default):
//
//   --wm-class=INSTANCE,CLASS  sets WM_CLASS
//   --window-type=NAME         sets _NET_WM_WINDOW_TYPE_NAME (NORMAL, UTILITY, ...)
//   --skip-taskbar             sets _NET_WM_STATE_SKIP_TASKBAR
//   --icon                     sets _NET_WM_ICON to a 16x16 and a 32x32 image;
//                              pixel (x, y) of the NxN one is 0x80 alpha, N red,
//                              x green, y blue
//   --focus-child              focuses an inner child window (which names no
//                              _NET_WM_PID), the way toolkits focus

#include <poll.h>
#include <unistd.h>
#include <cstdlib>

#include <array>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr auto kFocusTimeout = std::chrono::seconds(10);

std::string escaped(const char* bytes, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            std::array<char, 8> code{};
            std::snprintf(code.data(), code.size(), "\\x%02x", byte);
            text += code.data();
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

std::string keysymName(KeySym keysym) {
    if (keysym == NoSymbol) return "NoSymbol";
    if (const char* name = XKeysymToString(keysym)) return name;
    std::array<char, 32> number{};
    std::snprintf(number.data(), number.size(), "0x%lx", keysym);
    return number.data();
}

void printKey(XKeyEvent& event, XIC inputContext) {
    std::array<char, 64> buffer{};
    KeySym keysym = NoSymbol;
    int length = XLookupString(&event, buffer.data(), static_cast<int>(buffer.size()), &keysym, nullptr);
    if (event.type == KeyRelease) {
        length = 0;
    } else if (inputContext) {
        // No XFilterEvent: every key is recorded as it came, a dead key too.
        Status status = 0;
        KeySym ignored = NoSymbol;
        length =
            Xutf8LookupString(inputContext, &event, buffer.data(), static_cast<int>(buffer.size()), &ignored, &status);
        if (status != XLookupChars && status != XLookupBoth) length = 0;
    }
    std::printf("%s keycode=%u keysym=%s state=0x%x text=%s\n", event.type == KeyPress ? "press" : "release",
                event.keycode, keysymName(keysym).c_str(), event.state, escaped(buffer.data(), length).c_str());
    std::fflush(stdout);
}

void askToActivate(Display* display, Window window) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = 2;  // from a pager: no focus-stealing prevention applies
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
}

struct Options {
    std::string wmInstance;
    std::string wmClass;
    std::string windowType;
    bool skipTaskbar = false;
    bool icon = false;
    bool focusChild = false;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("--wm-class=")) {
            const auto value = argument.substr(std::strlen("--wm-class="));
            const auto comma = value.find(',');
            if (comma == std::string_view::npos) return false;
            options.wmInstance = value.substr(0, comma);
            options.wmClass = value.substr(comma + 1);
        } else if (argument.starts_with("--window-type=")) {
            options.windowType = argument.substr(std::strlen("--window-type="));
        } else if (argument == "--skip-taskbar") {
            options.skipTaskbar = true;
        } else if (argument == "--icon") {
            options.icon = true;
        } else if (argument == "--focus-child") {
            options.focusChild = true;
        } else {
            return false;
        }
    }
    return true;
}

void setAtomProperty(Display* display, Window window, const char* property, const std::string& value) {
    const Atom atom = XInternAtom(display, value.c_str(), False);
    XChangeProperty(display, window, XInternAtom(display, property, False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atom), 1);
}

// The --icon images, as the long items Xlib takes for format 32.
std::vector<unsigned long> iconCardinals() {
    std::vector<unsigned long> cardinals;
    for (const unsigned long side : {16UL, 32UL}) {
        cardinals.push_back(side);
        cardinals.push_back(side);
        for (unsigned long y = 0; y < side; ++y) {
            for (unsigned long x = 0; x < side; ++x) cardinals.push_back(0x80000000UL | side << 16 | x << 8 | y);
        }
    }
    return cardinals;
}

void applyOptions(Display* display, Window window, const Options& options) {
    if (!options.wmClass.empty()) {
        XClassHint hint{};
        hint.res_name = const_cast<char*>(options.wmInstance.c_str());
        hint.res_class = const_cast<char*>(options.wmClass.c_str());
        XSetClassHint(display, window, &hint);
    }
    if (!options.windowType.empty()) {
        setAtomProperty(display, window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_" + options.windowType);
    }
    if (options.skipTaskbar) setAtomProperty(display, window, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR");
    if (options.icon) {
        const auto cardinals = iconCardinals();
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(cardinals.data()), static_cast<int>(cardinals.size()));
    }
}

bool holdsFocus(Display* display, Window window) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus == window;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "murmo-x-test-client: unknown option\n");
        return 64;
    }

    // Xutf8LookupString gives UTF-8 in any locale; the built-in input method
    // keeps a desktop's input method server out.
    std::setlocale(LC_ALL, "C.UTF-8");
    XSetLocaleModifiers("@im=none");

    // Xlib's keyboard-extension map refresh can miss a remap that follows a
    // burst of map changes closely (seen under heavy load, after the
    // poster's restore of its spare keycodes); the core keymap is fetched
    // whole after every change. The tests read what the server maps, exactly.
    ::setenv("XKB_DISABLE", "1", 1);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "murmo-x-test-client: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 400, 200, 0,
                                        BlackPixel(display, screen), WhitePixel(display, screen));
    XStoreName(display, window, "murmo-x-test-client");
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = True;
    XSetWMHints(display, window, &hints);
    const auto pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    applyOptions(display, window, options);
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
    // The window that takes the focus and hears the keys.
    Window focusWindow = window;
    if (options.focusChild) {
        focusWindow = XCreateSimpleWindow(display, window, 10, 10, 100, 50, 0, BlackPixel(display, screen),
                                          WhitePixel(display, screen));
        XSelectInput(display, focusWindow, KeyPressMask | KeyReleaseMask | FocusChangeMask);
        XMapWindow(display, focusWindow);
    }

    XIM inputMethod = XOpenIM(display, nullptr, nullptr, nullptr);
    XIC inputContext = inputMethod ? XCreateIC(inputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                               XNClientWindow, window, XNFocusWindow, window, nullptr)
                                   : nullptr;

    XMapWindow(display, window);
    XFlush(display);

    const auto deadline = std::chrono::steady_clock::now() + kFocusTimeout;
    bool ready = false;
    bool mapped = false;
    std::array<pollfd, 2> watched{pollfd{.fd = ConnectionNumber(display), .events = POLLIN, .revents = 0},
                                  pollfd{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            switch (event.type) {
                case MapNotify:
                    if (!mapped && event.xmap.window == window) {
                        mapped = true;
                        XSetInputFocus(display, focusWindow, RevertToParent, CurrentTime);
                        askToActivate(display, window);
                    }
                    break;
                case FocusIn:
                    if (!ready && holdsFocus(display, focusWindow)) {
                        ready = true;
                        std::printf("ready window=0x%lx\n", focusWindow);
                        std::fflush(stdout);
                    }
                    break;
                case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); break;
                case KeyPress:
                case KeyRelease: printKey(event.xkey, inputContext); break;
                default: break;
            }
        }
        if (!ready && std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "murmo-x-test-client: the window never got the input focus\n");
            return 2;
        }
        if (::poll(watched.data(), watched.size(), 100) < 0) continue;
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            std::array<char, 256> discard{};
            if (::read(STDIN_FILENO, discard.data(), discard.size()) <= 0) break;
        }
    }
    if (inputContext) XDestroyIC(inputContext);
    if (inputMethod) XCloseIM(inputMethod);
    XCloseDisplay(display);
    return 0;
}
