#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>

#include "engine/CoreStopSequence.h"
#include "support/FakeChildProcess.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::FakeChildProcess;
using Target = FakeChildProcess::Target;
using Sent = FakeChildProcess::SentSignal;

constexpr pid_t kPid = 4242;

struct StopCase {
    const char* name;
    std::optional<pid_t> knownGroup = kPid;
    std::optional<pid_t> currentGroup = kPid;
    // Signals that end the child; none: it survives everything.
    std::set<int> exitsOn = {};
    bool exitedBefore = false;
    std::vector<std::tuple<Target, int, int>> failures = {};
    Duration gracePeriod = std::chrono::seconds(2);
    std::vector<Sent> expectedSignals = {};
    CoreStopOutcome expectedOutcome = CoreStopOutcome::notRunning;
    std::vector<Duration> expectedWaits = {};
};

// Names the case instead of dumping its bytes into every test name.
void PrintTo(const StopCase& stopCase, std::ostream* out) { *out << stopCase.name; }

class CoreStopSequenceTable : public ::testing::TestWithParam<StopCase> {};

TEST_P(CoreStopSequenceTable, SignalsAndOutcome) {
    const auto& c = GetParam();
    FakeChildProcess child(kPid, c.knownGroup);
    child.setCurrentProcessGroup(c.currentGroup);
    child.exitsOn(c.exitsOn);
    if (c.exitedBefore) child.exitNow(0);
    for (auto [target, signal, error] : c.failures) child.failSends(target, signal, error);

    const auto group = CoreStopSequence::groupToSignal(child, c.knownGroup);
    CoreStopSequence::sendPoliteSignal(child, group);
    const auto outcome = CoreStopSequence::awaitExitOrKill(child, group, c.gracePeriod);

    EXPECT_EQ(child.sentSignals(), c.expectedSignals);
    EXPECT_EQ(rawValue(outcome), rawValue(c.expectedOutcome));
    EXPECT_EQ(child.waits(), c.expectedWaits);
}

constexpr Duration kGrace = std::chrono::seconds(2);
const Sent kGroupTerm{Target::group, kPid, SIGTERM};
const Sent kGroupKill{Target::group, kPid, SIGKILL};
const Sent kPidTerm{Target::process, kPid, SIGTERM};
const Sent kPidKill{Target::process, kPid, SIGKILL};

INSTANTIATE_TEST_SUITE_P(Cases, CoreStopSequenceTable,
                         ::testing::Values(StopCase{.name = "polite_engine_ends_on_sigterm_to_its_group",
                                                    .exitsOn = {SIGTERM},
                                                    .expectedSignals = {kGroupTerm},
                                                    .expectedOutcome = CoreStopOutcome::terminated,
                                                    .expectedWaits = {kGrace}},
                                           StopCase{.name = "grace_period_of_zero_still_waits_the_shortest_period",
                                                    .exitsOn = {SIGKILL},
                                                    .gracePeriod = Duration::zero(),
                                                    .expectedSignals = {kGroupTerm, kGroupKill},
                                                    .expectedOutcome = CoreStopOutcome::killed,
                                                    .expectedWaits = {100ms, 750ms}},
                                           StopCase{.name = "engine_ignoring_sigterm_is_killed_with_its_group",
                                                    .exitsOn = {SIGKILL},
                                                    .expectedSignals = {kGroupTerm, kGroupKill},
                                                    .expectedOutcome = CoreStopOutcome::killed,
                                                    .expectedWaits = {kGrace, 750ms}},
                                           StopCase{.name = "group_already_gone_sends_no_extra_sigterm_to_the_pid",
                                                    .exitedBefore = true,
                                                    .failures = {{Target::group, SIGTERM, ESRCH}},
                                                    .expectedSignals = {kGroupTerm},
                                                    .expectedOutcome = CoreStopOutcome::terminated,
                                                    .expectedWaits = {kGrace}},
                                           StopCase{.name = "refused_group_sigterm_falls_back_to_the_pid",
                                                    .exitsOn = {SIGTERM},
                                                    .failures = {{Target::group, SIGTERM, EPERM}},
                                                    .expectedSignals = {kGroupTerm, kPidTerm},
                                                    .expectedOutcome = CoreStopOutcome::terminated,
                                                    .expectedWaits = {kGrace}},
                                           StopCase{.name = "group_learned_from_the_child_when_not_known_at_launch",
                                                    .knownGroup = std::nullopt,
                                                    .exitsOn = {SIGTERM},
                                                    .expectedSignals = {kGroupTerm},
                                                    .expectedOutcome = CoreStopOutcome::terminated,
                                                    .expectedWaits = {kGrace}},
                                           StopCase{.name = "without_a_group_only_the_pid_is_signalled",
                                                    .knownGroup = std::nullopt,
                                                    .currentGroup = 17,
                                                    .exitsOn = {SIGKILL},
                                                    .expectedSignals = {kPidTerm, kPidKill},
                                                    .expectedOutcome = CoreStopOutcome::killed,
                                                    .expectedWaits = {kGrace, 750ms}},
                                           StopCase{.name = "refused_group_sigkill_falls_back_to_the_pid",
                                                    .exitsOn = {SIGKILL},
                                                    .failures = {{Target::group, SIGKILL, EPERM}},
                                                    .expectedSignals = {kGroupTerm, kGroupKill, kPidKill},
                                                    .expectedOutcome = CoreStopOutcome::killed,
                                                    .expectedWaits = {kGrace, 750ms}},
                                           StopCase{.name = "undeliverable_sigkill_is_kill_failed",
                                                    .knownGroup = std::nullopt,
                                                    .currentGroup = std::nullopt,
                                                    .failures = {{Target::process, SIGKILL, EPERM}},
                                                    .expectedSignals = {kPidTerm, kPidKill},
                                                    .expectedOutcome = CoreStopOutcome::killFailed,
                                                    .expectedWaits = {kGrace, 750ms}},
                                           StopCase{.name = "child_surviving_sigkill_is_kill_failed",
                                                    .expectedSignals = {kGroupTerm, kGroupKill},
                                                    .expectedOutcome = CoreStopOutcome::killFailed,
                                                    .expectedWaits = {kGrace, 750ms}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CoreStopOutcome, RawValuesRoundTrip) {
    for (auto outcome : {CoreStopOutcome::notRunning, CoreStopOutcome::terminated, CoreStopOutcome::killed,
                         CoreStopOutcome::killFailed}) {
        EXPECT_EQ(coreStopOutcomeFromRawValue(rawValue(outcome)), outcome);
    }
    EXPECT_EQ(rawValue(CoreStopOutcome::killFailed), "killFailed");
    EXPECT_EQ(coreStopOutcomeFromRawValue("Killed"), std::nullopt);
}

}  // namespace
}  // namespace murmo
