#include "support/pulse/PulseServerControl.h"

#include <chrono>
#include <thread>

#include "support/pulse/PulseSourceRecorder.h"

namespace murmo::testing {

namespace {

using namespace std::chrono_literals;

constexpr Duration kTimeout = 5s;

void keepSuccess(pa_context*, int success, void* out) { *static_cast<int*>(out) = success; }

}  // namespace

Result<std::unique_ptr<PulseServerControl>> PulseServerControl::connect() {
    auto context = PulseAudioContext::connect("murmo-test-control", kTimeout);
    if (!context) return fail(context.error());
    return std::unique_ptr<PulseServerControl>(new PulseServerControl(*context));
}

Status PulseServerControl::runForSuccess(std::string_view what, const PulseAudioContext::OperationStart& start,
                                         const int& succeeded) {
    auto done = context_->run(what, kTimeout, start);
    if (!done) return done;
    if (!succeeded) return fail("MurmoTests", 1, std::string(what) + " was refused");
    return {};
}

Result<std::uint32_t> PulseServerControl::loadModule(const std::string& name, const std::string& arguments) {
    std::uint32_t index = PA_INVALID_INDEX;
    auto done = context_->run("loading " + name, kTimeout, [&](pa_context* c) {
        return pa_context_load_module(
            c, name.c_str(), arguments.c_str(),
            [](pa_context*, std::uint32_t i, void* out) { *static_cast<std::uint32_t*>(out) = i; }, &index);
    });
    if (!done) return fail(done.error());
    if (index == PA_INVALID_INDEX) return fail("MurmoTests", 1, name + " did not load");
    return index;
}

Status PulseServerControl::unloadModule(std::uint32_t module) {
    int succeeded = 0;
    return runForSuccess(
        "unloading a module",
        [&](pa_context* c) { return pa_context_unload_module(c, module, keepSuccess, &succeeded); }, succeeded);
}

Status PulseServerControl::setDefaultSource(const std::string& name) {
    int succeeded = 0;
    return runForSuccess(
        "setting the default source",
        [&](pa_context* c) { return pa_context_set_default_source(c, name.c_str(), keepSuccess, &succeeded); },
        succeeded);
}

Result<std::string> PulseServerControl::defaultSourceName() {
    std::string name;
    auto done = context_->run("reading the server", kTimeout, [&](pa_context* c) {
        return pa_context_get_server_info(
            c,
            [](pa_context*, const pa_server_info* info, void* out) {
                if (info && info->default_source_name) *static_cast<std::string*>(out) = info->default_source_name;
            },
            &name);
    });
    if (!done) return fail(done.error());
    return name;
}

Result<std::uint32_t> PulseServerControl::sourceIndex(const std::string& name) {
    std::uint32_t index = PA_INVALID_INDEX;
    auto done = context_->run("reading a source", kTimeout, [&](pa_context* c) {
        return pa_context_get_source_info_by_name(
            c, name.c_str(),
            [](pa_context*, const pa_source_info* info, int, void* out) {
                if (info) *static_cast<std::uint32_t*>(out) = info->index;
            },
            &index);
    });
    if (!done) return fail(done.error());
    if (index == PA_INVALID_INDEX) return fail("MurmoTests", 1, "no source named " + name);
    return index;
}

Result<std::optional<std::vector<std::uint32_t>>> PulseServerControl::sourceVolume(const std::string& name) {
    std::optional<std::vector<std::uint32_t>> volume;
    auto done = context_->run("reading a source's volume", kTimeout, [&](pa_context* c) {
        return pa_context_get_source_info_by_name(
            c, name.c_str(),
            [](pa_context*, const pa_source_info* info, int, void* out) {
                if (!info) return;
                *static_cast<std::optional<std::vector<std::uint32_t>>*>(out) =
                    std::vector<std::uint32_t>(info->volume.values, info->volume.values + info->volume.channels);
            },
            &volume);
    });
    if (!done) return fail(done.error());
    return volume;
}

Status PulseServerControl::suspendSource(const std::string& name, bool suspend) {
    int succeeded = 0;
    return runForSuccess(
        suspend ? "suspending a source" : "resuming a source",
        [&](pa_context* c) {
            return pa_context_suspend_source_by_name(c, name.c_str(), suspend ? 1 : 0, keepSuccess, &succeeded);
        },
        succeeded);
}

Status PulseServerControl::waitForAudio(const std::string& source) {
    auto recorder = PulseSourceRecorder::record(context_, source, 48'000);
    if (!recorder) return fail(recorder.error());
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while ((*recorder)->sampleCount() == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return fail("MurmoTests", 1, source + " delivered no audio within 5 s");
        }
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

}  // namespace murmo::testing
