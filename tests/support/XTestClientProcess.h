#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"

namespace murmo::testing {

// One key event as the X test client received it.
struct XTestClientKeyEvent {
    bool press = true;
    unsigned keycode = 0;
    // XKeysymToString's name ("a", "Return", "U20AC"), "NoSymbol" when none.
    std::string keysym;
    // The event's modifier and button state (ShiftMask, ControlMask, ...).
    unsigned state = 0;
    // The UTF-8 text the key types; empty for releases.
    std::string text;

    bool operator==(const XTestClientKeyEvent&) const = default;
};

// The X test client (murmo-x-test-client, MURMO_X_TEST_CLIENT_PATH) running as
// a child process on $DISPLAY, with its window holding the input focus. Reads
// its key events with deadlines on the calling thread; the destructor ends it
// (by closing its input) and reaps it.
class XTestClientProcess {
public:
    using Predicate = std::function<bool(const std::vector<XTestClientKeyEvent>&)>;

    // Starts `program` and waits until its window holds the focus. Fails when
    // it cannot start, exits or is not ready in time.
    static Result<std::unique_ptr<XTestClientProcess>> launch(
        const std::string& program, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~XTestClientProcess();
    XTestClientProcess(const XTestClientProcess&) = delete;
    XTestClientProcess& operator=(const XTestClientProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The X window that holds the focus.
    unsigned long window() const { return window_; }

    // Every key event received so far, oldest first (reads what has arrived
    // without waiting).
    const std::vector<XTestClientKeyEvent>& keyEvents();
    // Waits until `done` holds for the events received so far; false when the
    // time-out passed or the client ended first.
    bool waitUntil(const Predicate& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until at least `count` key events have arrived.
    bool waitForKeyEvents(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The text of every press so far, concatenated.
    std::string typedText();

private:
    XTestClientProcess(pid_t pid, FileDescriptor input, FileDescriptor output)
        : pid_(pid), input_(std::move(input)), output_(std::move(output)) {}

    // Reads whatever output arrives until `deadline` or, when `stopEarly`
    // says so, sooner; false when the client's output ended.
    bool readUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stopEarly);
    void takeLine(const std::string& line);

    pid_t pid_;
    FileDescriptor input_;
    FileDescriptor output_;
    std::string pending_;
    bool ready_ = false;
    bool ended_ = false;
    unsigned long window_ = 0;
    std::vector<XTestClientKeyEvent> events_;
};

}  // namespace murmo::testing
