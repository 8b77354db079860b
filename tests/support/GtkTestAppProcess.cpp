#include "GtkTestAppProcess.h"

#include "PipedChild.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "gtk-test-app/LineEscaping.h"

extern char** environ;

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "GtkTestAppProcess";
constexpr auto kAnswerTimeout = std::chrono::seconds(10);
constexpr auto kExitWait = std::chrono::seconds(2);

const char* widgetName(GtkTestWidget widget) {
    switch (widget) {
        case GtkTestWidget::entry: return "entry";
        case GtkTestWidget::view: return "view";
        case GtkTestWidget::password: return "password";
        case GtkTestWidget::paste: return "paste";
    }
    return "";
}

using line_escaping::escaped;
using line_escaping::unescaped;

// The test's environment, GTK_A11Y replaced when the application must hide.
std::vector<std::string> childEnvironment(bool accessible) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        if (std::string_view(*entry).starts_with("GTK_A11Y=")) continue;
        entries.emplace_back(*entry);
    }
    if (!accessible) entries.emplace_back("GTK_A11Y=none");
    return entries;
}

Status answeredOk(const Result<std::string>& answer, std::string_view command) {
    if (!answer) return std::unexpected(answer.error());
    if (*answer != "ok") return fail(kDomain, 5, std::string(command) + " answered: " + *answer);
    return {};
}

}  // namespace

Result<std::unique_ptr<GtkTestAppProcess>> GtkTestAppProcess::launch(const std::string& program, Options options) {
    auto child = PipedChild::spawn(program, kDomain, childEnvironment(options.accessible));
    if (!child) return std::unexpected(child.error());
    const pid_t pid = child->pid;
    std::unique_ptr<GtkTestAppProcess> app(
        new GtkTestAppProcess(pid, std::move(child->input), std::move(child->output)));
    auto ready = app->nextLine(std::chrono::steady_clock::now() + options.readyTimeout);
    if (!ready) return std::unexpected(ready.error());
    unsigned long window = 0;
    int announcedPid = 0;
    if (std::sscanf(ready->c_str(), "ready %d %lx", &announcedPid, &window) != 2 || announcedPid != pid) {
        return fail(kDomain, 3, "the GTK test application announced '" + *ready + "' instead of being ready");
    }
    app->window_ = window;
    return app;
}

GtkTestAppProcess::~GtkTestAppProcess() {
    // It ends when its input closes; one that does not is killed.
    input_.reset();
    if (!reaped_) reapOrKill(pid_, kExitWait);
}

void GtkTestAppProcess::kill() {
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    reap();
}

void GtkTestAppProcess::reap() {
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
}

Status GtkTestAppProcess::focus(GtkTestWidget widget) {
    const auto command = std::string("focus ") + widgetName(widget);
    return answeredOk(request(command), command);
}

Result<std::string> GtkTestAppProcess::read(GtkTestWidget widget) {
    auto answer = request(std::string("read ") + widgetName(widget));
    if (!answer) return answer;
    if (!answer->starts_with("text ") && *answer != "text") {
        return fail(kDomain, 5, "read answered: " + *answer);
    }
    return unescaped(std::string_view(*answer).substr(std::min<std::size_t>(answer->size(), 5)));
}

Status GtkTestAppProcess::set(GtkTestWidget widget, std::string_view text) {
    return answeredOk(request(std::string("set ") + widgetName(widget) + " " + escaped(text)), "set");
}

Status GtkTestAppProcess::select(GtkTestWidget widget, int start, int end) {
    return answeredOk(
        request(std::string("select ") + widgetName(widget) + " " + std::to_string(start) + " " + std::to_string(end)),
        "select");
}

Status GtkTestAppProcess::hang(std::chrono::milliseconds duration) {
    auto answer = request("hang " + std::to_string(duration.count()));
    if (!answer) return std::unexpected(answer.error());
    if (*answer != "hanging") return fail(kDomain, 5, "hang answered: " + *answer);
    return {};
}

Result<std::string> GtkTestAppProcess::request(const std::string& command) {
    const auto line = command + "\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const auto count = ::write(input_.get(), line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0)
            return fail(kDomain, 4, "the GTK test application took no command: " + std::string(std::strerror(errno)));
        written += static_cast<std::size_t>(count);
    }
    return nextLine(std::chrono::steady_clock::now() + kAnswerTimeout);
}

Result<std::string> GtkTestAppProcess::nextLine(std::chrono::steady_clock::time_point deadline) {
    std::string line;
    switch (readLine(output_.get(), pending_, deadline, line)) {
        case LineRead::line: return line;
        case LineRead::timedOut: return fail(kDomain, 6, "the GTK test application did not answer in time");
        case LineRead::ended: break;
    }
    return fail(kDomain, 7, "the GTK test application ended (is DISPLAY a desktop session? see its standard error)");
}

}  // namespace murmo::testing
