#include "platform/linux/PulseEchoCanceller.h"

#include <unistd.h>

#include <atomic>
#include <utility>

namespace murmo {

namespace {

// Names unique on the server: this process's id and a counter.
std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(getpid()) + "_" + std::to_string(counter.fetch_add(1));
}

// Module arguments are space-separated key=value pairs; a value in double
// quotes may hold spaces. Names of ours never need quoting; a device name
// from the server might hold a quote or a backslash, which we escape.
std::string quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

PulseEchoCanceller::PulseEchoCanceller(std::shared_ptr<PulseAudioContext> context, std::uint32_t moduleIndex,
                                       std::string sourceName, std::string sinkName, std::string masterSourceName,
                                       Duration timeout)
    : context_(std::move(context)),
      moduleIndex_(moduleIndex),
      sourceName_(std::move(sourceName)),
      sinkName_(std::move(sinkName)),
      masterSourceName_(std::move(masterSourceName)),
      timeout_(timeout) {}

Result<std::unique_ptr<PulseEchoCanceller>> PulseEchoCanceller::load(std::shared_ptr<PulseAudioContext> context,
                                                                     PulseAudioContext::Lock& lock,
                                                                     const std::string& microphoneSource,
                                                                     const std::string& speakersSink,
                                                                     Duration timeout) {
    const auto suffix = uniqueSuffix();
    std::string sourceName = "murmo_echo_cancel_source_" + suffix;
    std::string sinkName = "murmo_echo_cancel_sink_" + suffix;
    const std::string arguments =
        "aec_method=webrtc aec_args=\"analog_gain_control=0 digital_gain_control=0\" source_master=" +
        quoted(microphoneSource) + " sink_master=" + quoted(speakersSink) + " source_name=" + sourceName +
        " sink_name=" + sinkName +
        " source_properties=device.description=Murmo-voice-processing"
        " sink_properties=device.description=Murmo-voice-processing";
    std::uint32_t index = PA_INVALID_INDEX;
    auto loaded = context->run(lock, "loading the echo canceller", timeout, [&](pa_context* c) {
        return pa_context_load_module(
            c, "module-echo-cancel", arguments.c_str(),
            [](pa_context*, std::uint32_t module, void* out) { *static_cast<std::uint32_t*>(out) = module; }, &index);
    });
    if (!loaded) return fail(loaded.error());
    if (index == PA_INVALID_INDEX) {
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioOperationFailed,
                    "the sound server refused the echo canceller for " + microphoneSource);
    }
    return std::unique_ptr<PulseEchoCanceller>(new PulseEchoCanceller(
        std::move(context), index, std::move(sourceName), std::move(sinkName), microphoneSource, timeout));
}

PulseEchoCanceller::~PulseEchoCanceller() {
    auto unload = [index = moduleIndex_](pa_context* c) {
        return pa_context_unload_module(c, index, [](pa_context*, int, void*) {}, nullptr);
    };
    if (context_->isLoopThread()) {
        if (context_->isConnected()) PulseOperationHandle request(unload(context_->context()));
        return;
    }
    // A failure leaves nothing to do: the server is gone or refused, and
    // with the server gone the module went with it.
    (void)context_->run("unloading the echo canceller", timeout_, unload);
}

}  // namespace murmo
