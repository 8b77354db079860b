#include "platform/linux/X11Workspace.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "X11WorkspaceTestClient.h"
#include "platform/linux/CairoIconRenderer.h"
#include "platform/linux/EwmhWindowProperties.h"
#include "platform/linux/X11Connection.h"
#include "runtime/ManualLoop.h"
#include "support/TemporaryDirectory.h"
#include "support/XTestClientProcess.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace murmo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TemporaryDirectory;
using testing::XTestClientProcess;

constexpr auto kSettleTimeout = 10s;

// The test client's --icon image of side `side`, as the workspace hands it
// out: pixel (x, y) is red `side`, green x, blue y, alpha 0x80.
PixelImage expectedClientIcon(int side) {
    PixelImage image{.width = side, .height = side};
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            image.rgba.insert(image.rgba.end(), {static_cast<std::uint8_t>(side), static_cast<std::uint8_t>(x),
                                                 static_cast<std::uint8_t>(y), 0x80});
        }
    }
    return image;
}

// The workspace on the session's display, a connection of the test's own to
// play the window manager's other clients, and test windows.
class X11WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = X11Workspace::open(loop);
        ASSERT_TRUE(opened) << opened.error().message;
        workspace = std::move(*opened);
        auto connection = X11Connection::open();
        ASSERT_TRUE(connection) << connection.error().message;
        x = std::move(*connection);
        properties = std::make_unique<EwmhWindowProperties>(*x);
    }

    std::unique_ptr<XTestClientProcess> launch(const std::vector<std::string>& options = {}) {
        return testing::launchTestClient(scripts, options);
    }

    // The managed (top-level) window of the client.
    X11ID topLevelOf(const XTestClientProcess& client) {
        for (const auto window : properties->clientList()) {
            if (properties->processID(window) == client.pid()) return window;
        }
        return 0;
    }

    // Asks the window manager to activate `window`, as a pager does.
    void activate(X11ID window) {
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = window;
        message.xclient.message_type = XInternAtom(x->display(), "_NET_ACTIVE_WINDOW", False);
        message.xclient.format = 32;
        message.xclient.data.l[0] = 2;
        message.xclient.data.l[1] = CurrentTime;
        XSendEvent(x->display(), DefaultRootWindow(x->display()), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &message);
        XSync(x->display(), False);
    }

    std::optional<std::int32_t> frontmostPID() {
        const auto frontmost = workspace->frontmostApplication();
        return frontmost ? std::optional(frontmost->processIdentifier) : std::nullopt;
    }

    bool frontmostBecomes(pid_t pid) {
        return loop.pumpUntil([&] { return frontmostPID() == pid; }, kSettleTimeout);
    }

    // The on-screen windows of `pids`' processes, front to back.
    std::vector<WindowListEntry> windowsOf(std::initializer_list<pid_t> pids) {
        std::vector<WindowListEntry> windows;
        for (const auto& window : workspace->onScreenWindows()) {
            if (std::ranges::find(pids, window.ownerPID) != pids.end()) windows.push_back(window);
        }
        return windows;
    }

    ManualLoop loop;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<X11Connection> x;
    std::unique_ptr<EwmhWindowProperties> properties;
    TemporaryDirectory scripts;
};

TEST_F(X11WorkspaceTest, FrontmostFollowsTheActiveWindowAndEachActivationIsToldOnTheLoop) {
    struct Notice {
        std::int32_t pid;
        bool onLoopThread;
    };
    std::vector<Notice> notices;
    auto observation = workspace->observeActivations([&](const RunningApplication& application) {
        notices.push_back(Notice{.pid = application.processIdentifier, .onLoopThread = loop.isCurrentThread()});
    });
    const auto alpha = launch({"--wm-class=alpha,MurmoTestAlpha"});
    const auto beta = launch();
    ASSERT_TRUE(alpha && beta);
    ASSERT_TRUE(frontmostBecomes(beta->pid()));

    const auto front = workspace->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->activationPolicy, ApplicationActivationPolicy::regular);
    // No class and no desktop entry: the kernel's command name.
    EXPECT_EQ(front->localizedName, "murmo-x-test-cl");

    const auto heard = [&](pid_t pid) { return !notices.empty() && notices.back().pid == pid; };
    notices.clear();
    activate(topLevelOf(*alpha));
    ASSERT_TRUE(loop.pumpUntil([&] { return heard(alpha->pid()); }, kSettleTimeout));
    EXPECT_EQ(frontmostPID(), alpha->pid());
    EXPECT_EQ(workspace->frontmostApplication()->localizedName, "MurmoTestAlpha");

    activate(topLevelOf(*beta));
    ASSERT_TRUE(loop.pumpUntil([&] { return heard(beta->pid()); }, kSettleTimeout));
    EXPECT_EQ(frontmostPID(), beta->pid());
    ASSERT_EQ(notices.size(), 2U);
    EXPECT_EQ(notices.front().pid, alpha->pid());
    EXPECT_TRUE(std::ranges::all_of(notices, &Notice::onLoopThread));

    // Dropping the handle stops the notices.
    observation.reset();
    activate(topLevelOf(*alpha));
    ASSERT_TRUE(frontmostBecomes(alpha->pid()));
    loop.pumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(notices.size(), 2U);
}

TEST_F(X11WorkspaceTest, WithoutAnActiveWindowTheFocusedInnerWindowIsClimbedToItsOwner) {
    const auto client = launch({"--focus-child"});
    ASSERT_TRUE(client);
    ASSERT_TRUE(frontmostBecomes(client->pid()));
    // The focused window is an inner one that names no owner.
    EXPECT_FALSE(properties->processID(client->window()));

    // As without a window manager that sets it.
    XDeleteProperty(x->display(), DefaultRootWindow(x->display()),
                    XInternAtom(x->display(), "_NET_ACTIVE_WINDOW", False));
    XSync(x->display(), False);
    EXPECT_EQ(frontmostPID(), client->pid());
    EXPECT_FALSE(properties->items32(properties->rootWindow(), "_NET_ACTIVE_WINDOW", "WINDOW"))
        << "the window manager set the active window again: the fallback went untested";

    XSetInputFocus(x->display(), PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(x->display(), False);
    EXPECT_FALSE(workspace->frontmostApplication());
}

TEST_F(X11WorkspaceTest, OnScreenWindowsRunFrontToBackAndFollowRestacking) {
    const auto lower = launch();
    const auto upper = launch();
    ASSERT_TRUE(lower && upper);
    ASSERT_TRUE(frontmostBecomes(upper->pid()));
    const auto lowerWindow = topLevelOf(*lower);
    const auto upperWindow = topLevelOf(*upper);

    const auto order = [&] {
        std::vector<std::optional<std::uint32_t>> numbers;
        for (const auto& window : windowsOf({lower->pid(), upper->pid()})) numbers.push_back(window.windowNumber);
        return numbers;
    };
    const std::vector<std::optional<std::uint32_t>> upperFirst{upperWindow, lowerWindow};
    const std::vector<std::optional<std::uint32_t>> lowerFirst{lowerWindow, upperWindow};
    ASSERT_TRUE(loop.pumpUntil([&] { return order() == upperFirst; }, kSettleTimeout));
    for (const auto& window : windowsOf({lower->pid(), upper->pid()})) EXPECT_EQ(window.layer, 0);

    activate(lowerWindow);
    EXPECT_TRUE(loop.pumpUntil([&] { return order() == lowerFirst; }, kSettleTimeout));

    // A window that is unmapped (minimized) is not on screen.
    XUnmapWindow(x->display(), upperWindow);
    XSync(x->display(), False);
    EXPECT_TRUE(loop.pumpUntil([&] { return order() == std::vector<std::optional<std::uint32_t>>{lowerWindow}; },
                               kSettleTimeout));
}

TEST_F(X11WorkspaceTest, DocksLieAboveNormalWindowsAndTheDesktopWindowIsNoneOfThem) {
    const auto normal = launch();
    const auto dock = launch({"--window-type=DOCK"});
    const auto desktop = launch({"--window-type=DESKTOP"});
    ASSERT_TRUE(normal && dock && desktop);
    const auto layers = [&] {
        std::vector<std::pair<std::int32_t, std::int32_t>> found;
        for (const auto& window : windowsOf({normal->pid(), dock->pid(), desktop->pid()})) {
            found.emplace_back(window.ownerPID, window.layer);
        }
        std::ranges::sort(found);
        return found;
    };
    std::vector<std::pair<std::int32_t, std::int32_t>> expected{{normal->pid(), 0}, {dock->pid(), 20}};
    std::ranges::sort(expected);
    EXPECT_TRUE(loop.pumpUntil([&] { return layers() == expected; }, kSettleTimeout));
}

TEST_F(X11WorkspaceTest, RunningApplicationsAreLiveProcessesWithTheirWindowsDecidingThePolicy) {
    const auto regular = launch({"--wm-class=regular,MurmoTestRegular"});
    const auto utility = launch({"--window-type=UTILITY"});
    ASSERT_TRUE(regular && utility);

    const auto shown = workspace->runningApplication(regular->pid());
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, (RunningApplication{.processIdentifier = regular->pid(),
                                          .localizedName = "MurmoTestRegular",
                                          .activationPolicy = ApplicationActivationPolicy::regular}));
    EXPECT_EQ(workspace->runningApplication(utility->pid())->activationPolicy, ApplicationActivationPolicy::accessory);

    // A process without windows still runs: the focus checks ask whether an
    // element's owner (a helper process) is alive, and it never comes to the
    // front.
    const auto own = workspace->runningApplication(workspace->ownProcessIdentifier());
    ASSERT_TRUE(own);
    EXPECT_EQ(own->activationPolicy, ApplicationActivationPolicy::prohibited);
    EXPECT_EQ(workspace->ownProcessIdentifier(), ::getpid());

    std::vector<std::int32_t> listed;
    for (const auto& application : workspace->runningApplications()) listed.push_back(application.processIdentifier);
    EXPECT_EQ(std::ranges::count(listed, regular->pid()), 1);
    EXPECT_EQ(std::ranges::count(listed, utility->pid()), 1);
    EXPECT_EQ(std::ranges::count(listed, ::getpid()), 0) << "a windowless process is listed";

    EXPECT_FALSE(workspace->runningApplication(0x7fffffff));
    // An ended process that nobody reaped yet runs no more.
    const pid_t zombie = ::fork();
    if (zombie == 0) ::_exit(0);
    ASSERT_GT(zombie, 0);
    siginfo_t ended{};
    ASSERT_EQ(::waitid(P_PID, zombie, &ended, WEXITED | WNOWAIT), 0);
    EXPECT_FALSE(workspace->runningApplication(zombie));
    ::waitpid(zombie, nullptr, 0);
}

TEST_F(X11WorkspaceTest, AWindowFromAnotherMachineNamesNoProcessHere) {
    const auto client = launch();
    ASSERT_TRUE(client);
    ASSERT_TRUE(frontmostBecomes(client->pid()));
    const auto window = topLevelOf(*client);
    const auto nameMachine = [&](const std::string& host) {
        XTextProperty machine{};
        machine.value = reinterpret_cast<unsigned char*>(const_cast<char*>(host.c_str()));
        machine.encoding = XInternAtom(x->display(), "STRING", False);
        machine.format = 8;
        machine.nitems = host.size();
        XSetWMClientMachine(x->display(), window, &machine);
        XSync(x->display(), False);
    };
    std::array<char, 256> host{};
    ASSERT_EQ(::gethostname(host.data(), host.size() - 1), 0);
    nameMachine(host.data());
    EXPECT_EQ(frontmostPID(), client->pid());

    // Its pid would name whatever process here has that number.
    nameMachine("elsewhere.invalid");
    EXPECT_FALSE(workspace->frontmostApplication());
    EXPECT_TRUE(windowsOf({client->pid()}).empty());
}

TEST_F(X11WorkspaceTest, TheWindowIconClosestToTheAskedSizeComesAsRGBA) {
    const auto client = launch({"--icon"});
    ASSERT_TRUE(client);
    EXPECT_EQ(workspace->runningApplicationIcon(client->pid(), 30), expectedClientIcon(32));
    EXPECT_EQ(workspace->runningApplicationIcon(client->pid(), 12), expectedClientIcon(16));
    // Equally close to both: the larger, which scales down.
    EXPECT_EQ(workspace->runningApplicationIcon(client->pid(), 24), expectedClientIcon(32));
    EXPECT_FALSE(workspace->runningApplicationIcon(0x7fffffff, 32));
}

TEST_F(X11WorkspaceTest, AnAddressNothingHandlesIsNotOpened) {
    const auto url = URL::parse("murmo-no-such-scheme-handler:anything");
    ASSERT_TRUE(url);
    EXPECT_FALSE(workspace->open(*url));
    EXPECT_FALSE(workspace->urlForApplication("org.murmo.NoSuchApplication"));
    EXPECT_FALSE(workspace->iconForFile("/nonexistent/entry.desktop", 32));
}

}  // namespace
}  // namespace murmo
