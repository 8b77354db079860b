#include "coordinator/TerminalRequestMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Machine = TerminalRequestMachine;
using Outcome = Machine::RequestOutcome;
using Intent = std::optional<TerminalIntent>;

constexpr auto kRelease = TerminalIntent::release;
constexpr auto kCancel = TerminalIntent::cancel;
constexpr Intent kNothing = std::nullopt;

constexpr Machine::SendConditions kReady{};
constexpr Machine::SendConditions kAudioEndPending{.audioEndPending = true};
constexpr Machine::SendConditions kAgentResolutionPending{.agentResolutionPending = true};
constexpr Machine::SendConditions kBothPending{.agentResolutionPending = true, .audioEndPending = true};

// Each input carries the output it must give.
struct Request {
    TerminalIntent intent;
    Outcome expected;
};
struct TakeSend {
    Machine::SendConditions conditions;
    Intent expected;
};
struct Fail {
    Machine::FailureAction expected;
};
struct ServerFinalized {
    // True when the engine's finalisation was also the release.
    bool expected;
};

struct State {
    Intent intent;
    bool sent;
    int attempt;
};

struct Step {
    std::variant<Request, TakeSend, Fail, ServerFinalized> input;
    State after;
};

struct Case {
    std::string name;
    std::vector<Step> steps;
};

Request release(Outcome expected) { return {kRelease, expected}; }
Request cancel(Outcome expected) { return {kCancel, expected}; }
TakeSend send(Machine::SendConditions conditions, Intent expected) { return {conditions, expected}; }
Fail fail(Machine::FailureAction expected) { return {expected}; }
ServerFinalized finalized(bool expected) { return {expected}; }

Machine::FailureAction retryAfter(Duration delay) { return Machine::RetryAfter{delay}; }
Machine::FailureAction newCancelSeriesAfter(Duration pause) { return Machine::CancelSeriesExhausted{pause}; }
const Machine::FailureAction kReleaseAbandoned = Machine::ReleaseAbandoned{};

std::string describe(const Intent& intent) {
    if (!intent) return "nothing";
    return *intent == kRelease ? "release" : "cancel";
}

std::string describe(Outcome outcome) {
    switch (outcome) {
        case Outcome::unchanged: return "unchanged";
        case Outcome::released: return "released";
        case Outcome::cancelled: return "cancelled";
    }
    return "?";
}

std::string milliseconds(Duration duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()) + "ms";
}

std::string describe(const Machine::FailureAction& action) {
    if (const auto* retry = std::get_if<Machine::RetryAfter>(&action))
        return "retry after " + milliseconds(retry->delay);
    if (const auto* exhausted = std::get_if<Machine::CancelSeriesExhausted>(&action)) {
        return "new cancel series after " + milliseconds(exhausted->pause);
    }
    return "release abandoned";
}

std::string describe(const State& state) {
    return "intent=" + describe(state.intent) + " sent=" + (state.sent ? "yes" : "no") +
           " attempt=" + std::to_string(state.attempt);
}

// Applies one input; returns {what it gave, what it should have given}.
std::pair<std::string, std::string> apply(Machine& machine, const Step& step) {
    if (const auto* request = std::get_if<Request>(&step.input)) {
        return {describe(machine.request(request->intent)), describe(request->expected)};
    }
    if (const auto* take = std::get_if<TakeSend>(&step.input)) {
        return {describe(machine.takeSend(take->conditions)), describe(take->expected)};
    }
    if (const auto* failure = std::get_if<Fail>(&step.input)) {
        return {describe(machine.failed()), describe(failure->expected)};
    }
    const auto& finalization = std::get<ServerFinalized>(step.input);
    return {std::to_string(machine.serverFinalized()), std::to_string(finalization.expected)};
}

// One full cancel series from a cancel that is not in flight: three failed
// attempts, the first two retried after 0.2 s and 0.4 s, then a pause.
std::vector<Step> failingCancelSeries() {
    return {
        {send(kBothPending, kCancel), {kCancel, true, 1}}, {fail(retryAfter(200ms)), {kCancel, false, 1}},
        {send(kReady, kCancel), {kCancel, true, 2}},       {fail(retryAfter(400ms)), {kCancel, false, 2}},
        {send(kReady, kCancel), {kCancel, true, 3}},       {fail(newCancelSeriesAfter(1500ms)), {kCancel, false, 0}},
    };
}

std::vector<Case> cases() {
    std::vector<Step> cancelForever{{cancel(Outcome::cancelled), {kCancel, false, 0}}};
    for (int series = 0; series < 3; ++series) {
        const auto steps = failingCancelSeries();
        cancelForever.insert(cancelForever.end(), steps.begin(), steps.end());
    }
    return {
        {"release waits for the audio end and the agent resolution, then goes once",
         {{send(kReady, kNothing), {kNothing, false, 0}},
          {release(Outcome::released), {kRelease, false, 0}},
          {send(kAudioEndPending, kNothing), {kRelease, false, 0}},
          {send(kAgentResolutionPending, kNothing), {kRelease, false, 0}},
          {send(kBothPending, kNothing), {kRelease, false, 0}},
          {send(kReady, kRelease), {kRelease, true, 1}},
          {send(kReady, kNothing), {kRelease, true, 1}},
          {release(Outcome::unchanged), {kRelease, true, 1}},
          {send(kReady, kNothing), {kRelease, true, 1}}}},
        {"release fails: retried after 0.2 s then 0.4 s, the third failure is a cancel sent at once",
         {{release(Outcome::released), {kRelease, false, 0}},
          {send(kReady, kRelease), {kRelease, true, 1}},
          {fail(retryAfter(200ms)), {kRelease, false, 1}},
          {send(kAudioEndPending, kNothing), {kRelease, false, 1}},
          {send(kReady, kRelease), {kRelease, true, 2}},
          {fail(retryAfter(400ms)), {kRelease, false, 2}},
          {send(kReady, kRelease), {kRelease, true, 3}},
          {fail(kReleaseAbandoned), {kCancel, false, 0}},
          {send(kBothPending, kCancel), {kCancel, true, 1}},
          {fail(retryAfter(200ms)), {kCancel, false, 1}}}},
        {"cancel fails: 0.2 s, 0.4 s, then a pause and a new series, forever", cancelForever},
        {"a cancel during a release in flight starts fresh attempts and goes at once",
         {{release(Outcome::released), {kRelease, false, 0}},
          {send(kReady, kRelease), {kRelease, true, 1}},
          {fail(retryAfter(200ms)), {kRelease, false, 1}},
          {send(kReady, kRelease), {kRelease, true, 2}},
          {cancel(Outcome::cancelled), {kCancel, false, 0}},
          {send(kBothPending, kCancel), {kCancel, true, 1}},
          {fail(retryAfter(200ms)), {kCancel, false, 1}}}},
        {"a second cancel keeps the first one's attempts",
         {{cancel(Outcome::cancelled), {kCancel, false, 0}},
          {send(kReady, kCancel), {kCancel, true, 1}},
          {cancel(Outcome::cancelled), {kCancel, true, 1}},
          {send(kReady, kNothing), {kCancel, true, 1}},
          {fail(retryAfter(200ms)), {kCancel, false, 1}},
          {send(kReady, kCancel), {kCancel, true, 2}},
          {fail(retryAfter(400ms)), {kCancel, false, 2}},
          {cancel(Outcome::cancelled), {kCancel, false, 2}},
          {send(kReady, kCancel), {kCancel, true, 3}},
          {fail(newCancelSeriesAfter(1500ms)), {kCancel, false, 0}}}},
        {"a release after a cancel changes nothing",
         {{cancel(Outcome::cancelled), {kCancel, false, 0}},
          {release(Outcome::unchanged), {kCancel, false, 0}},
          {send(kReady, kCancel), {kCancel, true, 1}},
          {release(Outcome::unchanged), {kCancel, true, 1}},
          {fail(retryAfter(200ms)), {kCancel, false, 1}},
          {release(Outcome::unchanged), {kCancel, false, 1}},
          {send(kReady, kCancel), {kCancel, true, 2}}}},
        {"finalised by the engine before any intent: that is the release, and none is sent",
         {{finalized(true), {kRelease, true, 0}},
          {send(kReady, kNothing), {kRelease, true, 0}},
          {release(Outcome::unchanged), {kRelease, true, 0}},
          {send(kReady, kNothing), {kRelease, true, 0}},
          {finalized(false), {kRelease, true, 0}},
          {send(kReady, kNothing), {kRelease, true, 0}}}},
        {"a cancel after the engine finalised still goes out",
         {{finalized(true), {kRelease, true, 0}},
          {cancel(Outcome::cancelled), {kCancel, false, 0}},
          {send(kReady, kCancel), {kCancel, true, 1}}}},
        {"finalised by the engine while a release retry is pending: the retry sends nothing",
         {{release(Outcome::released), {kRelease, false, 0}},
          {send(kReady, kRelease), {kRelease, true, 1}},
          {fail(retryAfter(200ms)), {kRelease, false, 1}},
          {finalized(false), {kRelease, true, 1}},
          {send(kReady, kNothing), {kRelease, true, 1}}}},
        {"finalised by the engine while a release is in flight: its later failure sends no release",
         {{release(Outcome::released), {kRelease, false, 0}},
          {send(kReady, kRelease), {kRelease, true, 1}},
          {finalized(false), {kRelease, true, 1}},
          {fail(retryAfter(200ms)), {kRelease, false, 1}},
          {send(kReady, kNothing), {kRelease, false, 1}}}},
    };
}

TEST(TerminalRequestMachine, StepTable) {
    for (const auto& [name, steps] : cases()) {
        Machine machine;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const auto [output, expectedOutput] = apply(machine, steps[i]);
            EXPECT_EQ(output, expectedOutput) << name << ", step " << i;
            const State after{machine.intent(), machine.sent(), machine.attempt()};
            EXPECT_EQ(describe(after), describe(steps[i].after)) << name << ", step " << i;
        }
    }
}

}  // namespace
}  // namespace murmo
