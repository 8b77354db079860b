#include "platform/linux/X11Connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include <X11/Xlib.h>

namespace murmo {

namespace {

// What the process-wide handlers know of each open connection.
struct ConnectionRecord {
    std::shared_ptr<std::atomic<bool>> broken;
    bool trapping = false;
    std::vector<X11ProtocolError> trapped{};
};

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<Display*, ConnectionRecord>& registry() {
    static std::map<Display*, ConnectionRecord> connections;
    return connections;
}

// Displays of broken connections, which cannot be freed (below); held until
// the process ends, past every static destructor, so they are kept, not lost.
std::vector<Display*>& abandonedDisplays() {
    static auto* displays = new std::vector<Display*>();
    return *displays;
}

int onProtocolError(Display* display, XErrorEvent* event) {
    const std::lock_guard lock(registryMutex());
    const auto found = registry().find(display);
    if (found != registry().end() && found->second.trapping) {
        found->second.trapped.push_back(X11ProtocolError{.errorCode = event->error_code,
                                                         .requestCode = event->request_code,
                                                         .minorCode = event->minor_code,
                                                         .resourceID = event->resourceid});
    }
    return 0;
}

int onConnectionBroken(Display* display) {
    const std::lock_guard lock(registryMutex());
    if (const auto found = registry().find(display); found != registry().end()) found->second.broken->store(true);
    return 0;
}

// Xlib ends the process after the I/O error handler unless the connection
// has an exit handler of its own; this one lets the caller carry on, and
// every later call on the connection returns at once.
void keepRunningAfterConnectionBroke(Display*, void*) {}

void installHandlersOnce() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        XSetErrorHandler(onProtocolError);
        XSetIOErrorHandler(onConnectionBroken);
    });
}

}  // namespace

Result<std::unique_ptr<X11Connection>> X11Connection::open(const std::string& displayName) {
    installHandlersOnce();
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) {
        return std::unexpected(Error(std::string(kX11ErrorDomain), 1, "The X server could not be reached.",
                                     displayName.empty() ? std::string("DISPLAY") : displayName));
    }
    XSetIOErrorExitHandler(display, keepRunningAfterConnectionBroke, nullptr);
    auto broken = std::make_shared<std::atomic<bool>>(false);
    {
        const std::lock_guard lock(registryMutex());
        registry()[display] = ConnectionRecord{.broken = broken};
    }
    return std::unique_ptr<X11Connection>(new X11Connection(display, std::move(broken)));
}

int X11Connection::fileDescriptor() const { return ConnectionNumber(display_); }

// Whether the server has closed the connection, without asking Xlib: a call
// on a connection whose server is gone runs Xlib's I/O error path, which
// frees nothing.
static bool serverClosed(int fd) {
    char byte = 0;
    const auto got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

X11Connection::~X11Connection() {
    if (!isBroken() && serverClosed(fileDescriptor())) broken_->store(true);
    if (isBroken()) {
        // Xlib leaves a connection that broke in one thread locked for every
        // other, and XCloseDisplay there waits for ever: only the socket is
        // closed, and the display's memory is kept.
        ::close(ConnectionNumber(display_));
    } else {
        XCloseDisplay(display_);
    }
    const std::lock_guard lock(registryMutex());
    registry().erase(display_);
    if (isBroken()) abandonedDisplays().push_back(display_);
}

X11ErrorTrap::X11ErrorTrap(X11Connection& connection) : connection_(connection) {
    XSync(connection_.display(), False);
    const std::lock_guard lock(registryMutex());
    auto& record = registry().at(connection_.display());
    record.trapping = true;
    record.trapped.clear();
}

X11ErrorTrap::~X11ErrorTrap() {
    const std::lock_guard lock(registryMutex());
    auto& record = registry().at(connection_.display());
    record.trapping = false;
    record.trapped.clear();
}

std::vector<X11ProtocolError> X11ErrorTrap::sync() {
    XSync(connection_.display(), False);
    const std::lock_guard lock(registryMutex());
    return std::exchange(registry().at(connection_.display()).trapped, {});
}

}  // namespace murmo
