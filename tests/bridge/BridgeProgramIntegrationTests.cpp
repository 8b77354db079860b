#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Json = nlohmann::json;

struct ProgramRun {
    std::string output;
    std::string errors;
    int exitStatus = -1;  // -1 unless the program exited normally
};

// The peak resident memory of a running process.
long peakMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    ADD_FAILURE() << "no VmHWM for " << pid;
    return 0;
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2 failed";
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }

private:
    void closeEnd(int end) {
        if (fds_[end] >= 0) ::close(fds_[end]);
        fds_[end] = -1;
    }
    int fds_[2] = {-1, -1};
};

struct RunOptions {
    // "NAME=value" entries that replace the test's own.
    std::vector<std::string> environment;
    // Runs once all the input is written, before the input is closed.
    std::function<void(pid_t)> whileInputOpen;
    // The bridge's standard input as a parent may leave it.
    bool nonBlockingInput = false;
    std::chrono::milliseconds inputDelay{0};
};

// Runs the bridge with `arguments`, feeds it `input` and closes its standard
// input, and collects both outputs until it exits.
ProgramRun runBridge(const std::vector<std::string>& arguments, const std::string& input,
                     const RunOptions& options = {}) {
    const auto& extraEnvironment = options.environment;
    const auto& whileInputOpen = options.whileInputOpen;
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write(), STDERR_FILENO);

    std::vector<std::string> argumentStrings{MURMO_BRIDGE_PATH};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argumentStrings) argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<std::string> environmentStrings;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('=') + 1);
        const bool replaced =
            std::ranges::any_of(extraEnvironment, [&](const std::string& extra) { return extra.starts_with(name); });
        if (!replaced) environmentStrings.emplace_back(text);
    }
    environmentStrings.insert(environmentStrings.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& entry : environmentStrings) envp.push_back(entry.data());
    envp.push_back(nullptr);

    if (options.nonBlockingInput) ::fcntl(in.read(), F_SETFL, O_NONBLOCK);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, MURMO_BRIDGE_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "could not start the bridge: " << spawned;
        return run;
    }
    in.closeRead();
    out.closeWrite();
    err.closeWrite();
    ::fcntl(in.write(), F_SETFL, O_NONBLOCK);

    std::size_t written = 0;
    auto finishInput = [&] {
        if (whileInputOpen && in.write() >= 0) whileInputOpen(pid);
        in.closeWrite();
    };
    if (input.empty()) finishInput();
    // Real time on purpose: the bridge must wait for input that is late.
    std::this_thread::sleep_for(options.inputDelay);
    bool outputOpen = true;
    bool errorsOpen = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (outputOpen || errorsOpen) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "the bridge did not finish";
            break;
        }
        pollfd fds[3] = {{in.write(), POLLOUT, 0},
                         {outputOpen ? out.read() : -1, POLLIN, 0},
                         {errorsOpen ? err.read() : -1, POLLIN, 0}};
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR) break;
        if (in.write() >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const auto count = ::write(in.write(), input.data() + written, input.size() - written);
            if (count > 0) written += static_cast<std::size_t>(count);
            // A program that has stopped reading (once-mode) closes the pipe.
            if (written == input.size() || (count < 0 && errno == EPIPE)) finishInput();
        }
        char buffer[65536];
        for (auto [index, target, open] :
             {std::tuple{1, &run.output, &outputOpen}, std::tuple{2, &run.errors, &errorsOpen}}) {
            if (!*open || !(fds[index].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const auto count = ::read(fds[index].fd, buffer, sizeof buffer);
            if (count > 0) {
                target->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                *open = false;
            }
        }
    }
    in.closeWrite();

    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    return run;
}

std::vector<std::string> lines(const std::string& output) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < output.size()) {
        const auto end = output.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the last line has no line feed";
            break;
        }
        result.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::string request(std::string_view id, std::string_view action) {
    return Json{{"protocol_version", 1}, {"id", id}, {"action", action}}.dump() + "\n";
}

class BridgeProgramIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Writing to a bridge that has already stopped reading must not end
        // the test program.
        std::signal(SIGPIPE, SIG_IGN);
    }
};

TEST_F(BridgeProgramIntegrationTest, NoArgumentsAndNoInputWriteNothing) {
    const auto run = runBridge({}, "");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "");
}

TEST_F(BridgeProgramIntegrationTest, OnceAnswersOneLineOfTwo) {
    const auto run = runBridge({"--once"}, request("first", "status") + request("second", "status"));
    EXPECT_EQ(run.exitStatus, 0);
    const auto answers = lines(run.output);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(Json::parse(answers[0])["id"], "first");
    EXPECT_EQ(run.errors, "");
}

TEST_F(BridgeProgramIntegrationTest, AWrongArgumentIsRefusedWithOneFixedLine) {
    const auto run = runBridge({"--verbose"}, request("a", "status"));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(
        run.output,
        R"({"error":{"code":"invalid_arguments","message":"The bridge accepts only the optional --once argument."},"id":null,"ok":false})"
        "\n");
    EXPECT_EQ(run.errors, "");
}

TEST_F(BridgeProgramIntegrationTest, ServesEveryLineOnThisSystemsRuntime) {
    RunOptions options;
    options.environment = {"LC_ALL=", "LC_MESSAGES=", "LANG=de_DE.UTF-8"};
    const auto run = runBridge(
        {}, request("a/1", "status") + request("b", "dance") + request("c", "generate") + "not json\r\n", options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.errors, "");
    const auto answers = lines(run.output);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(
        answers[0],
        R"({"id":"a\/1","ok":true,"result":{"availability":"unavailable","available":false,"compiled":true,)"
        R"("detail":"Apple's on-device model requires macOS 26 or later.","locale":"de-DE","locale_supported":false,)"
        R"("os_supported":false,"protocol_version":1,"provider":"apple_foundation","ready":false,)"
        R"("runtime_state":"os_unsupported","supports_locale":false,"unavailable_reason":"unsupported_os","warmed":false}})");
    EXPECT_EQ(
        answers[1],
        R"({"error":{"code":"unsupported_action","message":"The requested bridge action is not supported."},"id":null,"ok":false})");
    EXPECT_EQ(Json::parse(answers[2])["error"]["code"], "unsupported_os");
    EXPECT_EQ(Json::parse(answers[2])["id"], "c");
    EXPECT_EQ(Json::parse(answers[3])["error"]["code"], "invalid_json");
}

TEST_F(BridgeProgramIntegrationTest, WaitsForLateInputOnANonBlockingDescriptor) {
    RunOptions options;
    options.nonBlockingInput = true;
    options.inputDelay = std::chrono::milliseconds(300);
    const auto run = runBridge({}, request("late", "unload"), options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output, R"({"id":"late","ok":true,"result":{"unloaded":true}})"
                          "\n");
}

TEST_F(BridgeProgramIntegrationTest, AnEndlessLineIsRefusedWithBoundedMemory) {
    // The line is still going when the bridge's memory is read: by then it
    // has read all of it but what the pipe holds.
    long peakKiB = 0;
    const std::size_t lineBytes = 96 * 1024 * 1024;
    RunOptions options;
    options.whileInputOpen = [&](pid_t pid) { peakKiB = peakMemoryKiB(pid); };
    const auto run = runBridge({}, std::string(lineBytes, 'x'), options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.errors, "");
    const auto answers = lines(run.output);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(Json::parse(answers[0])["error"]["code"], "invalid_request_size");
    // A reader that kept the line would hold all 96 MiB; the sanitizer
    // runtime alone takes about 20 MiB.
    EXPECT_LT(peakKiB, 40 * 1024);
}

}  // namespace
