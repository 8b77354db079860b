// The on-device model bridge: JSON lines on standard input and output.

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bridge/BridgeProgram.h"
#include "bridge/FileDescriptorStream.h"
#include "bridge/FoundationModelsRuntime.h"
#include "bridge/LanguageModel.h"
#include "bridge/PosixSystemLocale.h"
#include "bridge/PosixWorkspace.h"
#include "bridge/UnsupportedRuntime.h"
#include "runtime/Environment.h"
#include "runtime/SystemClock.h"

using namespace murmo;
using namespace murmo::bridge;

namespace {

// The system's on-device language model. This platform has none, so the
// bridge answers as it does on a system too old for one.
std::unique_ptr<LanguageModelPlatform> systemLanguageModelPlatform() { return nullptr; }

}  // namespace

int main(int argc, char** argv) {
    // A reader that went away must not end the program with a signal: it
    // always exits with status 0.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        FileDescriptorInput input(STDIN_FILENO);
        FileDescriptorOutput output(STDOUT_FILENO);
        PosixSystemLocale systemLocale(currentEnvironment());
        PosixWorkspace workspace;
        std::unique_ptr<LanguageModelPlatform> models;
        runBridgeProgram(arguments, input, output, [&]() -> std::unique_ptr<BridgeRuntime> {
            models = systemLanguageModelPlatform();
            if (models) {
                return std::make_unique<FoundationModelsRuntime>(
                    FoundationModelsRuntime::Dependencies{*models, systemLocale, workspace, SystemClock::shared()});
            }
            return std::make_unique<UnsupportedRuntime>(systemLocale, workspace);
        });
    } catch (...) {
        // Nothing may reach standard error, and the status stays 0.
    }
    return 0;
}
