#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Pasteboard.h"
#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"

namespace murmo::testing {

// The clipboard owner program (murmo-clipboard-owner,
// MURMO_CLIPBOARD_OWNER_PATH) running as a child process on $DISPLAY:
// another application that owns the clipboard, reads it, or plays a
// clipboard manager. Each call sends one command and waits for its answer,
// with a deadline; the destructor ends it (by closing its input) and reaps it.
class ClipboardOwnerProcess {
public:
    static constexpr auto kAnswerTimeout = std::chrono::seconds(10);

    // The bytes of offerPattern(…, size): every byte value, zeros included.
    static PasteboardBytes pattern(std::size_t size);

    static Result<std::unique_ptr<ClipboardOwnerProcess>> launch(const std::string& program);
    ~ClipboardOwnerProcess();
    ClipboardOwnerProcess(const ClipboardOwnerProcess&) = delete;
    ClipboardOwnerProcess& operator=(const ClipboardOwnerProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Targets to own the clipboard with, by X target name.
    bool offer(std::string_view target, const PasteboardBytes& bytes);
    bool offerPattern(std::string_view target, std::size_t size);
    // Data above `bytes` goes out in INCR chunks of `bytes`.
    bool serveIncrementallyAbove(std::size_t bytes);
    // An INCR transfer stops, for ever, after `chunks` chunks.
    bool stallAfter(std::size_t chunks);
    bool own();

    // The clipboard as this other application reads it.
    std::optional<std::vector<std::string>> targets();
    std::optional<PasteboardBytes> read(std::string_view target);
    // The targets in one MULTIPLE request, each absent when refused.
    std::optional<std::vector<std::optional<PasteboardBytes>>> readMultiple(const std::vector<std::string>& targets);

    // Owns CLIPBOARD_MANAGER: asked to save the clipboard, it reads every
    // target and takes the clipboard over with them.
    bool manage();
    // Waits for the unasked report that starts with `prefix` ("lost",
    // "saved"); true when it came.
    bool waitForNotice(std::string_view prefix, std::chrono::milliseconds timeout = kAnswerTimeout);
    // Ends the program and waits for its exit.
    bool quit();

private:
    ClipboardOwnerProcess(pid_t pid, FileDescriptor input, FileDescriptor output)
        : pid_(pid), input_(std::move(input)), output_(std::move(output)) {}

    std::optional<std::string> ask(const std::string& command);
    // The next line, or absent at the deadline or the end of output.
    std::optional<std::string> nextLine(std::chrono::steady_clock::time_point deadline);
    static bool isNotice(std::string_view line);
    void reap();

    pid_t pid_;
    bool reaped_ = false;
    FileDescriptor input_;
    FileDescriptor output_;
    std::string pending_;
    std::vector<std::string> notices_;
};

}  // namespace murmo::testing
