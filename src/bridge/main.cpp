// The on-device model bridge: JSON lines on standard input and output.

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bridge/BridgeProgram.h"
#include "bridge/ByteStream.h"
#include "bridge/SystemLocale.h"
#include "bridge/UnsupportedRuntime.h"
#include "bridge/Workspace.h"
#include "runtime/Environment.h"

using namespace murmo::bridge;

int main(int argc, char** argv) {
    // A reader that went away must not end the program with a signal: it
    // always exits with status 0.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        FileDescriptorInput input(STDIN_FILENO);
        FileDescriptorOutput output(STDOUT_FILENO);
        PosixSystemLocale systemLocale(murmo::currentEnvironment());
        PosixWorkspace workspace;
        runBridgeProgram(arguments, input, output, [&]() -> std::unique_ptr<BridgeRuntime> {
            // This platform has no on-device language model, so the bridge
            // answers as it does on a system too old for one.
            return std::make_unique<UnsupportedRuntime>(systemLocale, workspace);
        });
    } catch (...) {
        // Nothing may reach standard error, and the status stays 0.
    }
    return 0;
}
