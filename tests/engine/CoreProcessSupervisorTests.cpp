#include "engine/CoreProcessSupervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeChildProcess.h"
#include "support/FakeCoreTransport.h"
#include "support/FixedBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FakeChildProcess;
using testing::FixedBundle;
using ::testing::HasSubstr;
using ::testing::Pair;
using ::testing::StartsWith;
using testing::TemporaryDirectory;

constexpr std::string_view kToken = "token-of-this-launch";

// ---- The engine's environment --------------------------------------------

class EngineEnvironmentTest : public ::testing::Test {
protected:
    EnvironmentMap build(const EnvironmentMap& inherited, std::optional<fs::path> repoRoot = std::nullopt,
                         CoreRuntimeKind kind = CoreRuntimeKind::explicitExecutable) const {
        return CoreProcessSupervisor::engineEnvironment(
            inherited,
            CoreEnvironmentInputs{std::move(repoRoot), "/home/u", "/opt/Murmo.app", std::string(kToken), kind},
            [this](const fs::path& path) { return executables.contains(path.string()); });
    }

    std::set<std::string> executables;
};

TEST_F(EngineEnvironmentTest, PathPutsOurToolFoldersBeforeTheInheritedValue) {
    EXPECT_EQ(build({{"PATH", "/usr/bin:/bin"}})["PATH"],
              "/home/u/.local/bin:/home/u/.cargo/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/bin:/bin");
    EXPECT_EQ(build({})["PATH"],
              "/home/u/.local/bin:/home/u/.cargo/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin");
    // An empty inherited PATH is still appended; the checkout comes first,
    // exactly as given.
    EXPECT_EQ(build({{"PATH", ""}}, fs::path("/work/checkout/../checkout"))["PATH"],
              "/work/checkout/../checkout/.venv/bin:/home/u/.local/bin:/home/u/.cargo/bin:/opt/homebrew/bin:"
              "/usr/local/bin:/usr/bin:/bin:");
}

TEST_F(EngineEnvironmentTest, FixedVariablesOverwriteInheritedOnesAndTheRestIsKept) {
    auto environment = build({{"MURMO_DESKTOP_TOKEN", "stale"}, {"PYTHONUNBUFFERED", "0"}, {"LANG", "tr_TR.UTF-8"}});
    EXPECT_EQ(environment["MURMO_DESKTOP_HOSTED"], "1");
    EXPECT_EQ(environment["MURMO_DESKTOP_TOKEN"], kToken);
    EXPECT_EQ(environment["MURMO_DESKTOP_PROCESS_GROUP"], "1");
    EXPECT_EQ(environment["MURMO_CORE_DIAGNOSTICS_FORMAT"], "jsonl");
    EXPECT_EQ(environment["MURMO_CORE_DIAGNOSTICS_PRIVACY"], "metadata");
    EXPECT_EQ(environment["PYTHONUNBUFFERED"], "1");
    EXPECT_EQ(environment["LANG"], "tr_TR.UTF-8");
}

TEST_F(EngineEnvironmentTest, ToolPathsAreSetOnlyForExecutableTools) {
    const EnvironmentMap inherited{{"MURMO_BUNDLED_LLAMA_SERVER", "/inherited/llama"}};
    auto none = build(inherited, fs::path("/repo"));
    EXPECT_FALSE(none.contains("MURMO_BUNDLED_WHISPER"));
    EXPECT_EQ(none["MURMO_BUNDLED_LLAMA_SERVER"], "/inherited/llama");
    EXPECT_FALSE(none.contains("MURMO_APPLE_FOUNDATION_BRIDGE"));

    executables = {"/opt/Murmo.app/Contents/Resources/Whisper/bin/whisper-cli",
                   "/opt/Murmo.app/Contents/Resources/Llama/bin/llama-server",
                   "/repo/macos/.build/debug/MurmoFoundationBridge",
                   "/repo/macos/.build/release/MurmoFoundationBridge"};
    auto tools = build(inherited, fs::path("/repo"));
    EXPECT_EQ(tools["MURMO_BUNDLED_WHISPER"], "/opt/Murmo.app/Contents/Resources/Whisper/bin/whisper-cli");
    EXPECT_EQ(tools["MURMO_BUNDLED_LLAMA_SERVER"], "/opt/Murmo.app/Contents/Resources/Llama/bin/llama-server");
    EXPECT_EQ(tools["MURMO_APPLE_FOUNDATION_BRIDGE"], "/repo/macos/.build/debug/MurmoFoundationBridge");

    // The bundle's bridge wins; without a checkout its builds are not tried.
    executables.insert("/opt/Murmo.app/Contents/Resources/FoundationModels/MurmoFoundationBridge");
    EXPECT_EQ(build(inherited, fs::path("/repo"))["MURMO_APPLE_FOUNDATION_BRIDGE"],
              "/opt/Murmo.app/Contents/Resources/FoundationModels/MurmoFoundationBridge");
    executables.erase("/opt/Murmo.app/Contents/Resources/FoundationModels/MurmoFoundationBridge");
    EXPECT_FALSE(build(inherited)["MURMO_APPLE_FOUNDATION_BRIDGE"].size());
}

TEST_F(EngineEnvironmentTest, RuntimeKindDecidesThePythonVariables) {
    const EnvironmentMap inherited{
        {"PYTHONHOME", "/py"}, {"PYTHONPATH", "/pp"}, {"VIRTUAL_ENV", "/venv"}, {"PYTHONUNBUFFERED", "0"}};

    auto bundled = build(inherited, fs::path("/repo"), CoreRuntimeKind::bundled);
    EXPECT_FALSE(bundled.contains("PYTHONHOME"));
    EXPECT_FALSE(bundled.contains("PYTHONPATH"));
    EXPECT_FALSE(bundled.contains("VIRTUAL_ENV"));
    EXPECT_EQ(bundled["PYTHONUNBUFFERED"], "1");

    EXPECT_EQ(build(inherited, fs::path("/repo"), CoreRuntimeKind::virtualEnvironment)["VIRTUAL_ENV"], "/repo/.venv");
    for (auto kind : {CoreRuntimeKind::explicitExecutable, CoreRuntimeKind::uv}) {
        auto environment = build(inherited, fs::path("/repo"), kind);
        EXPECT_EQ(environment["VIRTUAL_ENV"], "/venv");
        EXPECT_EQ(environment["PYTHONPATH"], "/pp");
    }
}

// ---- Launch, with children that exist only in memory ----------------------

class CoreProcessSupervisorLaunchTest : public ::testing::Test {
protected:
    CoreProcessSupervisorLaunchTest() {
        environment = {{"HOME", (tree.path() / "home").string()},
                       {"XDG_DATA_HOME", (tree.path() / "data").string()},
                       {"PATH", "/usr/bin:/bin"}};
        CoreProcessSupervisorServices services{loop, bundle};
        services.environment = [this] {
            ++environmentReads;
            return environment;
        };
        services.searchPaths = {tree.path(), {tree.path() / "system/bin"}};
        services.launcher = [this](const ChildProcessRequest& request, ChildProcess::OutputHandler onOutput,
                                   ChildProcess::ExitHandler onExit) -> Result<std::shared_ptr<ChildProcess>> {
            launched.push_back(request);
            if (launchFailure) return fail(*launchFailure);
            const pid_t pid = 4242 + static_cast<pid_t>(launched.size());
            auto child = std::make_shared<FakeChildProcess>(pid, pid);
            child->setHandlers(std::move(onOutput), std::move(onExit));
            children.push_back(child);
            return child;
        };
        services.logger = Logger("core-process", std::make_shared<RecordingLogSink>());
        services.transport = transport;
        supervisor = CoreProcessSupervisor::create(std::move(services));
    }

    fs::path dataFolder() const { return tree.path() / "data" / "Dorvex Local"; }

    Status launch(std::string_view token = kToken, std::optional<fs::path> repoRoot = std::nullopt) {
        return supervisor->launch(repoRoot, 8765, token);
    }

    ManualLoop loop;
    TemporaryDirectory tree;
    std::shared_ptr<FixedBundle> bundle = std::make_shared<FixedBundle>(tree.path() / "Murmo.app");
    EnvironmentMap environment;
    int environmentReads = 0;
    std::vector<ChildProcessRequest> launched;
    std::vector<std::shared_ptr<FakeChildProcess>> children;
    std::optional<Error> launchFailure;
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<CoreProcessSupervisor> supervisor;
};

TEST_F(CoreProcessSupervisorLaunchTest, RefusalsComeInOrderAndLeaveNothingRunning) {
    auto expectRefusal = [&](const Status& status, CoreProcessError::Code code) {
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().domain, kCoreProcessErrorDomain);
        EXPECT_EQ(status.error().code, static_cast<long>(code)) << status.error().message;
        EXPECT_FALSE(supervisor->processID());
        EXPECT_FALSE(supervisor->launchPlan());
    };
    // Each step keeps every later cause of failure in place, so only the
    // order of the checks decides which one is reported.
    tree.writeFile("data", "a file where the data folder belongs");
    launchFailure = posixError(EACCES);

    expectRefusal(launch(""), CoreProcessError::Code::missingDesktopToken);
    EXPECT_EQ(environmentReads, 0) << "an empty token is refused before anything is looked at";

    expectRefusal(launch(), CoreProcessError::Code::runtimeNotFound);

    tree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
    auto workingDirectory = launch();
    expectRefusal(workingDirectory, CoreProcessError::Code::runtimeDirectoryUnavailable);
    EXPECT_THAT(workingDirectory.error().message,
                StartsWith("Dorvex's stable runtime directory could not be prepared. Not a directory"));

    fs::remove(tree.path() / "data");
    tree.writeFile("data/Dorvex Local/Logs", "a file where the log folder belongs");
    auto log = launch();
    expectRefusal(log, CoreProcessError::Code::runtimeDirectoryUnavailable);
    EXPECT_THAT(log.error().message, StartsWith("Dorvex's stable runtime directory could not be prepared. "
                                                "Privacy-safe diagnostics could not be prepared: "));
    EXPECT_TRUE(launched.empty()) << "nothing is started before the log exists";

    fs::remove(dataFolder() / "Logs");
    auto platform = launch();
    ASSERT_FALSE(platform);
    EXPECT_EQ(platform.error(), posixError(EACCES)) << "the platform's error is passed on unchanged";
    EXPECT_FALSE(supervisor->processID());
    EXPECT_FALSE(supervisor->launchPlan());

    launchFailure.reset();
    EXPECT_TRUE(launch());
}

TEST_F(CoreProcessSupervisorLaunchTest, ASecondLaunchWhileRunningIsRefusedFirstAndChangesNothing) {
    tree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
    ASSERT_TRUE(launch());
    const auto plan = supervisor->launchPlan();
    const auto pid = supervisor->processID();
    environmentReads = 0;

    auto second = launch("");
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().code, static_cast<long>(CoreProcessError::Code::alreadyRunning));
    EXPECT_EQ(second.error().message, "Dorvex core is already running.");
    EXPECT_EQ(supervisor->launchPlan(), plan);
    EXPECT_EQ(supervisor->processID(), pid);
    EXPECT_EQ(launched.size(), 1u);
    EXPECT_EQ(environmentReads, 0);
}

TEST_F(CoreProcessSupervisorLaunchTest, BundledEngineGetsAPrivateWorkingDirectoryAndTheServeCommand) {
    const auto engine = tree.writeExecutable("Murmo.app/Contents/Resources/MurmoCore/MurmoCore");
    ASSERT_TRUE(launch());

    ASSERT_EQ(launched.size(), 1u);
    const auto& request = launched[0];
    EXPECT_EQ(request.executable, engine);
    EXPECT_THAT(request.arguments, ElementsAre("serve", "--host", "127.0.0.1", "--port", "8765"));
    EXPECT_EQ(request.workingDirectory, dataFolder() / "runtime");
    EXPECT_EQ(request.environment.at("MURMO_DESKTOP_TOKEN"), kToken);
    for (const auto& folder : {dataFolder(), dataFolder() / "runtime"}) {
        struct stat status {};
        ASSERT_EQ(::stat(folder.c_str(), &status), 0) << folder;
        EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
    }
    EXPECT_EQ(supervisor->processGroupID(), supervisor->processID());
    EXPECT_FALSE(supervisor->isReady());
}

TEST_F(CoreProcessSupervisorLaunchTest, DevelopmentEnginesRunWithoutAWorkingDirectoryBeingMade) {
    // A development build runs from outside an application bundle.
    bundle->setBundleURL(tree.path() / "build");
    const auto checkout = tree.path() / "checkout";
    tree.writeExecutable("checkout/.venv/bin/uv");
    ASSERT_TRUE(launch(kToken, checkout));

    ASSERT_EQ(launched.size(), 1u);
    EXPECT_THAT(launched[0].arguments, ElementsAre("run", "--project", checkout.string(), "murmo", "serve", "--host",
                                                   "127.0.0.1", "--port", "8765"));
    EXPECT_EQ(launched[0].workingDirectory, checkout);
    EXPECT_FALSE(fs::exists(dataFolder() / "runtime"));
    EXPECT_TRUE(fs::is_directory(dataFolder() / "Logs"));
}

TEST_F(CoreProcessSupervisorLaunchTest, WaitingWithNothingRunningFailsAtOnceAndStopReportsNotRunningAtOnce) {
    std::optional<CoreProcessResult<void>> ready;
    supervisor->waitUntilReady("http://127.0.0.1:8765", std::string(kToken), std::chrono::seconds(20),
                               [&](CoreProcessResult<void> result) { ready = result; });
    ASSERT_TRUE(ready);
    ASSERT_FALSE(*ready);
    EXPECT_EQ(ready->error().localizedDescription(), "Dorvex core exited before becoming ready (status -1).");

    std::optional<CoreStopOutcome> outcome;
    supervisor->stop(std::chrono::seconds(2), [&](CoreStopOutcome result) { outcome = result; });
    EXPECT_EQ(outcome, CoreStopOutcome::notRunning);
}

TEST_F(CoreProcessSupervisorLaunchTest, HealthAttemptsAreBoundedGetsAndAReadyReplyAfterAnExitDoesNotCount) {
    tree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
    ASSERT_TRUE(launch());
    std::optional<CoreProcessResult<void>> ready;
    supervisor->waitUntilReady("http://[::1]:8765/engine/?probe=1", std::string(kToken), std::chrono::seconds(20),
                               [&](CoreProcessResult<void> result) { ready = result; });
    loop.runUntilIdle();
    ASSERT_EQ(transport->pendingRequests(), 1u);
    const auto request = transport->lastRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.url.text(), "http://[::1]:8765/engine/api/health?probe=1");
    EXPECT_THAT(request.headers, Contains(Pair("X-Murmo-Desktop-Token", std::string(kToken))));
    EXPECT_FALSE(request.body);
    EXPECT_EQ(request.exchangeTimeout, CoreProcessSupervisor::kHealthRequestTimeout);

    transport->answer(503, "{}");
    loop.advance(CoreProcessSupervisor::kPauseBetweenHealthAttempts);
    ASSERT_EQ(transport->pendingRequests(), 1u) << "a refused attempt is followed by another";
    EXPECT_FALSE(ready);

    // The engine dies while its ready reply is on the way.
    children[0]->exitNow(3);
    transport->answer(200, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
    loop.runUntilIdle();
    ASSERT_TRUE(ready);
    ASSERT_FALSE(*ready);
    EXPECT_EQ(ready->error().localizedDescription(), "Dorvex core exited before becoming ready (status 3).");
    EXPECT_FALSE(supervisor->isReady());
}

// ---- Health replies --------------------------------------------------------

TEST(CoreHealthReply, OnlyAComplete2xxReplyForProtocol1HostedByTheDesktopIsReady) {
    using Reply = CoreProcessSupervisor::HealthReply;
    struct Case {
        Reply reply;
        bool ready;
        std::string detail;
    };
    const std::vector<Case> cases{
        {CoreHTTPResponse{200, R"({"ok":true,"protocol_version":1,"desktop_hosted":true,"extra":[]})"}, true,
         "Last HTTP status: 200."},
        {CoreHTTPResponse{204, R"({"ok":true,"protocol_version":1.0,"desktop_hosted":true})"}, true,
         "Last HTTP status: 204."},
        {CoreHTTPResponse{200, R"({"ok": true, "protocol_version": 2, "desktop_hosted": true})"}, false,
         "Last HTTP status: 200."},
        {CoreHTTPResponse{200, R"({"ok": true, "protocol_version": 1})"}, false, "Last HTTP status: 200."},
        {CoreHTTPResponse{200, R"({"ok":"true","protocol_version":1,"desktop_hosted":true})"}, false,
         "Last HTTP status: 200."},
        {CoreHTTPResponse{200, R"({"ok":false,"protocol_version":1,"desktop_hosted":true})"}, false,
         "Last HTTP status: 200."},
        {CoreHTTPResponse{200, "not json"}, false, "Last HTTP status: 200."},
        {CoreHTTPResponse{503, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})"}, false,
         "Last HTTP status: 503."},
        {fail(coreTransportError(CoreTransportErrorCode::badServerResponse)), false,
         "Dorvex core returned an invalid health response."},
        {fail("NSPOSIXErrorDomain", 61, "Connection refused"), false, "Connection refused"},
    };
    for (const auto& c : cases) {
        const auto body = c.reply ? c.reply->body.value_or("") : c.reply.error().message;
        EXPECT_EQ(CoreProcessSupervisor::isReadyReply(c.reply), c.ready) << body;
        EXPECT_EQ(CoreProcessSupervisor::attemptDetail(c.reply), c.detail) << body;
    }
}

}  // namespace
}  // namespace murmo
