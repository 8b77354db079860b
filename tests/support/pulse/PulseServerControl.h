#pragma once

// What the audio tests do to the test session's sound server, as a user or
// the system would: load and unload modules, change the default source,
// suspend a source, read a source's volume. Every call waits (bounded) for
// the server's answer.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

class PulseServerControl {
public:
    // Connects to $PULSE_SERVER.
    static Result<std::unique_ptr<PulseServerControl>> connect();

    const std::shared_ptr<PulseAudioContext>& context() const { return context_; }

    Result<std::uint32_t> loadModule(const std::string& name, const std::string& arguments);
    Status unloadModule(std::uint32_t module);
    Status setDefaultSource(const std::string& name);
    Result<std::string> defaultSourceName();
    Result<std::uint32_t> sourceIndex(const std::string& name);
    // Absent when no source has that name.
    Result<std::optional<std::vector<std::uint32_t>>> sourceVolume(const std::string& name);
    Status suspendSource(const std::string& name, bool suspend);
    // Waits until the source delivers audio: a null sink renders in 2 s
    // blocks until a stream asks for less, so the first data of a session
    // can take that long.
    Status waitForAudio(const std::string& source);

private:
    explicit PulseServerControl(std::shared_ptr<PulseAudioContext> context) : context_(std::move(context)) {}
    Status runForSuccess(std::string_view what, const PulseAudioContext::OperationStart& start, const int& succeeded);

    std::shared_ptr<PulseAudioContext> context_;
};

}  // namespace murmo::testing
