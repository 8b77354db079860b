#include "ClipboardOwnerProcess.h"

#include "PipedChild.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include "clipboard-owner/ClipboardOwnerWire.h"

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "ClipboardOwnerProcess";
constexpr auto kExitWait = std::chrono::seconds(2);

// The space-separated words of an answer after its first.
std::vector<std::string_view> wordsAfterFirst(std::string_view line) {
    std::vector<std::string_view> words;
    line.remove_prefix(std::min(line.find(' '), line.size()));
    while (!line.empty()) {
        line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        const auto end = std::min(line.find(' '), line.size());
        if (end > 0) words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

PasteboardBytes ClipboardOwnerProcess::pattern(std::size_t size) {
    PasteboardBytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = clipboard_owner_wire::patternByte(i);
    return bytes;
}

Result<std::unique_ptr<ClipboardOwnerProcess>> ClipboardOwnerProcess::launch(const std::string& program) {
    // A program that died must fail the write of a command, not end the
    // test process.
    ::signal(SIGPIPE, SIG_IGN);
    auto child = PipedChild::spawn(program, kDomain);
    if (!child) return std::unexpected(child.error());
    return std::unique_ptr<ClipboardOwnerProcess>(
        new ClipboardOwnerProcess(child->pid, std::move(child->input), std::move(child->output)));
}

ClipboardOwnerProcess::~ClipboardOwnerProcess() {
    input_.reset();
    reap();
}

void ClipboardOwnerProcess::reap() {
    if (reaped_) return;
    reaped_ = true;
    reapOrKill(pid_, kExitWait);
}

bool ClipboardOwnerProcess::isNotice(std::string_view line) { return line == "lost" || line.starts_with("saved "); }

std::optional<std::string> ClipboardOwnerProcess::nextLine(std::chrono::steady_clock::time_point deadline) {
    std::string line;
    if (readLine(output_.get(), pending_, deadline, line) != LineRead::line) return std::nullopt;
    return line;
}

std::optional<std::string> ClipboardOwnerProcess::ask(const std::string& command) {
    if (!input_.valid() || !writeAll(input_.get(), command + "\n")) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (auto line = nextLine(deadline)) {
        if (!isNotice(*line)) return line;
        notices_.push_back(std::move(*line));
    }
    return std::nullopt;
}

bool ClipboardOwnerProcess::offer(std::string_view target, const PasteboardBytes& bytes) {
    return ask("offer " + std::string(target) + " " + clipboard_owner_wire::hex(bytes)) == "ok";
}

bool ClipboardOwnerProcess::offerPattern(std::string_view target, std::size_t size) {
    return ask("offer-pattern " + std::string(target) + " " + std::to_string(size)) == "ok";
}

bool ClipboardOwnerProcess::serveIncrementallyAbove(std::size_t bytes) {
    return ask("incremental " + std::to_string(bytes)) == "ok";
}

bool ClipboardOwnerProcess::stallAfter(std::size_t chunks) {
    return ask("stall-after " + std::to_string(chunks)) == "ok";
}

bool ClipboardOwnerProcess::own() { return ask("own") == "owned"; }

std::optional<std::vector<std::string>> ClipboardOwnerProcess::targets() {
    const auto answer = ask("targets");
    if (!answer || !answer->starts_with("targets")) return std::nullopt;
    std::vector<std::string> names;
    for (const auto word : wordsAfterFirst(*answer)) names.emplace_back(word);
    return names;
}

std::optional<PasteboardBytes> ClipboardOwnerProcess::read(std::string_view target) {
    const auto answer = ask("read " + std::string(target));
    if (!answer || !answer->starts_with("data ")) return std::nullopt;
    return clipboard_owner_wire::unhex(std::string_view(*answer).substr(5));
}

std::optional<std::vector<std::optional<PasteboardBytes>>> ClipboardOwnerProcess::readMultiple(
    const std::vector<std::string>& targets) {
    std::string command = "read-multiple";
    for (const auto& target : targets) command += " " + target;
    const auto answer = ask(command);
    if (!answer || !answer->starts_with("multiple")) return std::nullopt;
    std::vector<std::optional<PasteboardBytes>> read;
    for (const auto word : wordsAfterFirst(*answer)) {
        read.push_back(word == "-" ? std::nullopt : std::optional(clipboard_owner_wire::unhex(word)));
    }
    return read;
}

bool ClipboardOwnerProcess::manage() { return ask("manage") == "managing"; }

bool ClipboardOwnerProcess::waitForNotice(std::string_view prefix, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto found =
            std::ranges::find_if(notices_, [&](const std::string& notice) { return notice.starts_with(prefix); });
        if (found != notices_.end()) {
            notices_.erase(found);
            return true;
        }
        auto line = nextLine(deadline);
        if (!line) return false;
        notices_.push_back(std::move(*line));
    }
}

bool ClipboardOwnerProcess::quit() {
    if (!input_.valid() || !writeAll(input_.get(), "quit\n")) return false;
    input_.reset();
    const auto deadline = std::chrono::steady_clock::now() + kExitWait;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reaped_ = true;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace murmo::testing
