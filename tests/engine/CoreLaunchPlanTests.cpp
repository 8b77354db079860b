#include "engine/CoreLaunchPlan.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;

constexpr std::string_view kInBundleResources = "Murmo.app/Contents/Resources/MurmoCore/MurmoCore";
constexpr std::string_view kInBundleMacOS = "Murmo.app/Contents/MacOS/MurmoCore";

class CoreLaunchPlanTest : public ::testing::Test {
protected:
    CoreProcessResult<CoreLaunchPlan> resolve(const std::optional<fs::path>& repoRoot, const fs::path& bundle) const {
        return resolveLaunchPlan(repoRoot, bundle, environment, search);
    }
    fs::path home() const { return tree.path() / "home"; }

    TemporaryDirectory tree;
    EnvironmentMap environment{{"HOME", (tree.path() / "home").string()},
                               {"XDG_DATA_HOME", (tree.path() / "data").string()}};
    // The machine's own tool folders must not decide these tests.
    CoreLaunchPlanSearchPaths search{tree.path(), {tree.path() / "system" / "bin"}};
    fs::path bundle = tree.path() / "Murmo.app";
    fs::path checkout = tree.path() / "checkout";
};

TEST_F(CoreLaunchPlanTest, BundledEnginePrefersResourcesAndRunsInTheDataFolder) {
    const auto resources = tree.writeExecutable(kInBundleResources);
    const auto macos = tree.writeExecutable(kInBundleMacOS);
    tree.writeExecutable("checkout/.venv/bin/murmo");

    auto plan = resolve(checkout, bundle);
    ASSERT_TRUE(plan);
    EXPECT_EQ(*plan, (CoreLaunchPlan{
                         resources, {}, tree.path() / "data" / "Dorvex Local" / "runtime", CoreRuntimeKind::bundled}));

    fs::remove(resources);
    plan = resolve(checkout, bundle);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->executableURL, macos);
    EXPECT_EQ(plan->runtimeKind, CoreRuntimeKind::bundled);
}

TEST_F(CoreLaunchPlanTest, OnlyRegularExecutableFilesCount) {
    // A directory carries the execute bit but is no program; a plain file
    // without the bit is not one either.
    tree.makeDirectory(kInBundleResources);
    tree.writeFile(kInBundleMacOS, "data");
    const auto venvEngine = tree.writeExecutable("checkout/.venv/bin/murmo");

    auto plan = resolve(checkout, tree.path() / "build");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->executableURL, venvEngine);

    EXPECT_FALSE(isExecutableFile(tree.path() / kInBundleResources));
    EXPECT_FALSE(isExecutableFile(tree.path() / kInBundleMacOS));
    EXPECT_FALSE(isExecutableFile(tree.path() / "missing"));
    EXPECT_TRUE(isExecutableFile(venvEngine));
}

TEST_F(CoreLaunchPlanTest, AnApplicationBundleNeverFallsBackToDevelopmentEngines) {
    const auto engine = tree.writeExecutable("tools/engine");
    tree.writeExecutable("checkout/.venv/bin/murmo");
    environment["MURMO_EXECUTABLE"] = engine.string();

    for (const auto* name : {"Murmo.app", "Murmo.APP", "Murmo.App/"}) {
        auto plan = resolve(checkout, tree.path() / name);
        ASSERT_FALSE(plan) << name;
        EXPECT_EQ(plan.error(), CoreProcessError::runtimeNotFound()) << name;
    }
    EXPECT_TRUE(resolve(checkout, tree.path() / "build"));
}

TEST_F(CoreLaunchPlanTest, ExplicitExecutableWorkingDirectory) {
    const auto engine = tree.writeExecutable("tools/engine");
    const auto outside = tree.path() / "build";

    environment["MURMO_EXECUTABLE"] = engine.string();
    auto plan = resolve(std::nullopt, outside);
    ASSERT_TRUE(plan);
    EXPECT_EQ(*plan, (CoreLaunchPlan{engine, {}, engine.parent_path(), CoreRuntimeKind::explicitExecutable}));

    // The checkout is used exactly as given here, not standardized.
    const fs::path unnormalised = tree.path() / "checkout" / ".." / "checkout";
    plan = resolve(unnormalised, outside);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->currentDirectoryURL, unnormalised);

    // A relative name is resolved against the current directory and standardized.
    environment["MURMO_EXECUTABLE"] = "tools/../tools/./engine";
    plan = resolve(std::nullopt, outside);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->executableURL, engine);
}

TEST_F(CoreLaunchPlanTest, UnusableExplicitExecutableFallsThroughToTheCheckout) {
    const auto venvEngine = tree.writeExecutable("checkout/.venv/bin/murmo");
    tree.writeFile("tools/not-executable", "x");
    tree.makeDirectory("tools/folder");
    const auto outside = tree.path() / "build";

    for (const auto& value : {std::string(), (tree.path() / "tools/not-executable").string(),
                              (tree.path() / "tools/folder").string(), (tree.path() / "tools/missing").string()}) {
        environment["MURMO_EXECUTABLE"] = value;
        auto plan = resolve(checkout, outside);
        ASSERT_TRUE(plan) << value;
        EXPECT_EQ(plan->executableURL, venvEngine) << value;
        EXPECT_EQ(plan->runtimeKind, CoreRuntimeKind::virtualEnvironment) << value;
        EXPECT_FALSE(resolve(std::nullopt, outside)) << value;
    }
}

TEST_F(CoreLaunchPlanTest, CheckoutRulesUseTheStandardizedRoot) {
    const auto outside = tree.path() / "build";
    const fs::path given = tree.path() / "checkout" / ".." / "checkout";
    const auto venvUV = tree.writeExecutable("checkout/.venv/bin/uv");

    auto plan = resolve(given, outside);
    ASSERT_TRUE(plan);
    EXPECT_EQ(*plan, (CoreLaunchPlan{
                         venvUV, {"run", "--project", checkout.string(), "murmo"}, checkout, CoreRuntimeKind::uv}));

    const auto venvEngine = tree.writeExecutable("checkout/.venv/bin/murmo");
    plan = resolve(given, outside);
    ASSERT_TRUE(plan);
    EXPECT_EQ(*plan, (CoreLaunchPlan{venvEngine, {}, checkout, CoreRuntimeKind::virtualEnvironment}));
}

TEST_F(CoreLaunchPlanTest, UVSearchOrder) {
    const auto outside = tree.path() / "build";
    // Planted from the last place searched to the first; each new one must win.
    const std::vector<fs::path> places{"system/bin/uv", "home/.cargo/bin/uv", "home/.local/bin/uv",
                                       "checkout/.venv/bin/uv"};
    EXPECT_EQ(resolve(checkout, outside).error(), CoreProcessError::runtimeNotFound());
    for (const auto& place : places) {
        const auto uv = tree.writeExecutable(place);
        auto plan = resolve(checkout, outside);
        ASSERT_TRUE(plan) << place;
        EXPECT_EQ(plan->executableURL, uv) << place;
        EXPECT_EQ(plan->runtimeKind, CoreRuntimeKind::uv);
    }
}

TEST_F(CoreLaunchPlanTest, NothingFoundOutsideABundleWithoutACheckout) {
    tree.writeExecutable("home/.local/bin/uv");
    auto plan = resolve(std::nullopt, tree.path() / "build");
    ASSERT_FALSE(plan);
    EXPECT_EQ(plan.error().localizedDescription(),
              "Dorvex core runtime was not found in the app bundle or development environment.");
}

TEST(ApplicationDataDirectoryTest, FollowsTheDataHomeRules) {
    EXPECT_EQ(applicationDataDirectory({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", "/data/ada/"}}),
              fs::path("/data/ada/Dorvex Local"));
    // A relative XDG_DATA_HOME is invalid and ignored.
    EXPECT_EQ(applicationDataDirectory({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", "relative"}}),
              fs::path("/home/ada/.local/share/Dorvex Local"));
    EXPECT_EQ(applicationDataDirectory({{"HOME", "/home/ada"}}), fs::path("/home/ada/.local/share/Dorvex Local"));
    EXPECT_TRUE(applicationDataDirectory({}).is_absolute());
}

TEST(CoreProcessErrorTest, MessagesAndCodes) {
    struct Case {
        CoreProcessError error;
        std::string message;
        std::string reason;
    };
    const std::vector<Case> cases{
        {CoreProcessError::runtimeDirectoryUnavailable("Permission denied"),
         "Dorvex's stable runtime directory could not be prepared. Permission denied", "runtime_directory_unavailable"},
        {CoreProcessError::exitedBeforeReady(-9), "Dorvex core exited before becoming ready (status -9).",
         "exited_before_ready"},
        {CoreProcessError::readinessTimedOut(""), "Dorvex core did not become ready in time.", "readiness_timed_out"},
        {CoreProcessError::readinessTimedOut("Dorvex core returned an invalid health response."),
         "Dorvex core did not become ready in time. Dorvex core returned an invalid health response.",
         "readiness_timed_out"},
        {CoreProcessError::alreadyRunning(), "Dorvex core is already running.", "already_running"},
        {CoreProcessError::missingDesktopToken(), "Managed Dorvex core requires a per-launch desktop token.",
         "missing_desktop_token"},
        {CoreProcessError::runtimeNotFound(),
         "Dorvex core runtime was not found in the app bundle or development environment.", "runtime_not_found"},
        {CoreProcessError::invalidHealthResponse(), "Dorvex core returned an invalid health response.",
         "invalid_health_response"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.localizedDescription(), c.message);
        const auto error = c.error.toError();
        EXPECT_EQ(error.domain, kCoreProcessErrorDomain);
        EXPECT_EQ(error.code, static_cast<long>(c.error.code));
        EXPECT_EQ(error.message, c.message);
        EXPECT_EQ(error.reason, c.reason);
    }
    for (auto kind : {CoreRuntimeKind::bundled, CoreRuntimeKind::explicitExecutable,
                      CoreRuntimeKind::virtualEnvironment, CoreRuntimeKind::uv}) {
        EXPECT_EQ(coreRuntimeKindFromString(toString(kind)), kind);
    }
    EXPECT_EQ(toString(CoreRuntimeKind::explicitExecutable), "explicit");
}

}  // namespace
}  // namespace murmo
