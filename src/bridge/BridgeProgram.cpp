#include "bridge/BridgeProgram.h"

#include <exception>

#include "bridge/BoundedLineReader.h"
#include "bridge/BridgeRequest.h"

namespace murmo::bridge {

namespace {

constexpr std::string_view kOnceArgument = "--once";

BridgeResult<BridgeRequest> parseGuarded(std::string_view line) {
    try {
        return parseRequest(line);
    } catch (const std::exception&) {
        return refuse(BridgeFailureKind::unparsableRequest);
    }
}

}  // namespace

Envelope respondToLine(BridgeRuntime& runtime, std::string_view line, bool exceedsLimit) {
    if (exceedsLimit)
        return BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::invalidRequestSize));
    auto request = parseGuarded(line);
    // A line that did not parse is never answered with its id, even when it
    // held a valid one.
    if (!request) return BridgeResponse::failure(std::nullopt, request.error());
    try {
        return runtime.handle(*request);
    } catch (const std::exception&) {
        return BridgeResponse::failure(request->id, BridgeFailure(BridgeFailureKind::bridgeFailed));
    }
}

bool writeResponse(OutputSink& output, const Envelope& envelope) {
    return output.write(responseLine(envelope)) && output.write("\n");
}

int runBridgeProgram(std::span<const std::string> arguments, InputSource& input, OutputSink& output,
                     const std::function<std::unique_ptr<BridgeRuntime>()>& makeRuntime) {
    const bool onceMode = arguments.size() == 1 && arguments.front() == kOnceArgument;
    if (!arguments.empty() && !onceMode) {
        writeResponse(output,
                      BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::invalidArguments)));
        return 0;
    }

    auto runtime = makeRuntime();
    BoundedLineReader reader(input, kMaximumRequestBytes);
    while (auto line = reader.next()) {
        const auto envelope = respondToLine(*runtime, line->text, line->exceedsLimit);
        // With nobody left to read the answers, serving more requests would
        // only spend the model's time.
        if (!writeResponse(output, envelope)) break;
        if (onceMode) break;
    }
    return 0;
}

}  // namespace murmo::bridge
