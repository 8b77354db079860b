#include "XTestClientProcess.h"

#include "PipedChild.h"
#include "gtk-test-app/LineEscaping.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "XTestClientProcess";
constexpr auto kExitWait = std::chrono::seconds(2);

using line_escaping::unescaped;

// The value of " name=" up to the next space, or to the end for the last field.
std::string_view field(std::string_view line, std::string_view name, bool last = false) {
    const auto key = " " + std::string(name) + "=";
    const auto start = line.find(key);
    if (start == std::string_view::npos) return {};
    const auto value = line.substr(start + key.size());
    return last ? value : value.substr(0, value.find(' '));
}

}  // namespace

Result<std::unique_ptr<XTestClientProcess>> XTestClientProcess::launch(const std::string& program,
                                                                       std::chrono::milliseconds timeout) {
    auto child = PipedChild::spawn(program, kDomain);
    if (!child) return std::unexpected(child.error());
    std::unique_ptr<XTestClientProcess> client(
        new XTestClientProcess(child->pid, std::move(child->input), std::move(child->output)));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!client->readUntil(deadline, [&] { return client->ready_; }) || !client->ready_) {
        return fail(kDomain, 3,
                    client->ended_ ? "the X test client ended before its window held the focus (is DISPLAY a "
                                     "desktop session? see its standard error)"
                                   : "the X test client's window did not get the focus in time");
    }
    return client;
}

XTestClientProcess::~XTestClientProcess() {
    // The client ends when its input closes; one that does not is killed.
    input_.reset();
    reapOrKill(pid_, kExitWait);
}

const std::vector<XTestClientKeyEvent>& XTestClientProcess::keyEvents() {
    readUntil(std::chrono::steady_clock::now(), [] { return false; });
    return events_;
}

bool XTestClientProcess::waitUntil(const Predicate& done, std::chrono::milliseconds timeout) {
    readUntil(std::chrono::steady_clock::now() + timeout, [&] { return done(events_); });
    return done(events_);
}

bool XTestClientProcess::waitForKeyEvents(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil([count](const auto& events) { return events.size() >= count; }, timeout);
}

std::string XTestClientProcess::typedText() {
    std::string text;
    for (const auto& event : keyEvents()) text += event.text;
    return text;
}

bool XTestClientProcess::readUntil(std::chrono::steady_clock::time_point deadline,
                                   const std::function<bool()>& stopEarly) {
    while (!ended_ && !stopEarly()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watched{.fd = output_.get(), .events = POLLIN, .revents = 0};
        const int polled = ::poll(&watched, 1, static_cast<int>(std::max<long>(left.count(), 0)));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return true;
        std::array<char, 4096> buffer{};
        const auto count = ::read(output_.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            ended_ = true;
            break;
        }
        pending_.append(buffer.data(), static_cast<std::size_t>(count));
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            takeLine(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
    }
    return !ended_;
}

void XTestClientProcess::takeLine(const std::string& line) {
    const std::string_view text(line);
    if (text.starts_with("ready")) {
        ready_ = true;
        const auto window = field(text, "window");
        if (!window.empty()) window_ = std::stoul(std::string(window), nullptr, 16);
        return;
    }
    const bool press = text.starts_with("press ");
    if (!press && !text.starts_with("release ")) return;
    events_.push_back(XTestClientKeyEvent{
        .press = press,
        .keycode = static_cast<unsigned>(std::stoul(std::string(field(text, "keycode")))),
        .keysym = std::string(field(text, "keysym")),
        .state = static_cast<unsigned>(std::stoul(std::string(field(text, "state")), nullptr, 16)),
        .text = unescaped(field(text, "text", true)),
    });
}

}  // namespace murmo::testing
