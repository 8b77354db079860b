#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"

namespace murmo::testing {

// The widgets of the GTK test application.
enum class GtkTestWidget { entry, view, password, paste };

// The GTK test application (murmo-gtk-test-app, MURMO_GTK_TEST_APP_PATH)
// running as a child process on $DISPLAY and the session's accessibility
// bus, its window mapped and active. Each command waits for the
// application's answer on the calling thread; the destructor ends it (by
// closing its input) and reaps it.
class GtkTestAppProcess {
public:
    struct Options {
        // False: started with GTK_A11Y=none, so nothing of it reaches the
        // accessibility bus.
        bool accessible = true;
        std::chrono::milliseconds readyTimeout = std::chrono::seconds(20);
    };

    static Result<std::unique_ptr<GtkTestAppProcess>> launch(const std::string& program, Options options);
    static Result<std::unique_ptr<GtkTestAppProcess>> launch(const std::string& program) {
        return launch(program, Options{});
    }
    ~GtkTestAppProcess();
    GtkTestAppProcess(const GtkTestAppProcess&) = delete;
    GtkTestAppProcess& operator=(const GtkTestAppProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The X window of its top-level.
    unsigned long window() const { return window_; }

    // Gives the widget the keyboard focus.
    Status focus(GtkTestWidget widget);
    // The widget's whole text, as the application holds it.
    Result<std::string> read(GtkTestWidget widget);
    // Replaces the widget's text.
    Status set(GtkTestWidget widget, std::string_view text);
    // Selects characters [start, end) (code point offsets).
    Status select(GtkTestWidget widget, int start, int end);
    // Returns once the application has started blocking its main loop for
    // `duration`.
    Status hang(std::chrono::milliseconds duration);
    // Kills it and reaps it: afterwards its bus connection is gone.
    void kill();

private:
    GtkTestAppProcess(pid_t pid, FileDescriptor input, FileDescriptor output)
        : pid_(pid), input_(std::move(input)), output_(std::move(output)) {}

    // Sends one command line and returns the answer line.
    Result<std::string> request(const std::string& command);
    // The next line of output, or an error when none came by `deadline`.
    Result<std::string> nextLine(std::chrono::steady_clock::time_point deadline);
    void reap();

    pid_t pid_;
    FileDescriptor input_;
    FileDescriptor output_;
    std::string pending_;
    unsigned long window_ = 0;
    bool reaped_ = false;
};

}  // namespace murmo::testing
