// Feeds arbitrary input lines through the bridge's request handling: the
// bounded line reader, request parsing, both runtimes (the full one driven by
// a scripted model) and response serialisation. Every line must come out as
// exactly one JSON object on one line, with an id and an ok flag, and an error
// code and message whenever ok is false; a line holding a NUL byte is refused
// as invalid JSON.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "bridge/BoundedLineReader.h"
#include "bridge/BridgeProgram.h"
#include "bridge/BridgeRequest.h"
#include "bridge/BridgeResponse.h"
#include "bridge/FoundationModelsRuntime.h"
#include "bridge/UnsupportedRuntime.h"
#include "bridge/Workspace.h"
#include "runtime/SystemClock.h"
#include "support/bridge/FixedSystemLocale.h"
#include "support/bridge/ScriptedLanguageModel.h"

using namespace murmo;
using namespace murmo::bridge;

namespace {

class MemoryInput final : public InputSource {
public:
    MemoryInput(std::string_view bytes, std::size_t pieceSize) : bytes_(bytes), pieceSize_(pieceSize) {}
    std::size_t read(std::span<char> buffer) override {
        const auto count = std::min({buffer.size(), pieceSize_, bytes_.size()});
        std::copy_n(bytes_.data(), count, buffer.data());
        bytes_.remove_prefix(count);
        return count;
    }

private:
    std::string_view bytes_;
    std::size_t pieceSize_;
};

class NoWorkspace final : public Workspace {
public:
    bool fileExists(const std::string&) const override { return false; }
    bool open(const std::string&) override { return false; }
};

void require(bool condition) {
    if (!condition) std::abort();
}

void checkResponseLine(const std::string& line) {
    require(line.find('\n') == std::string::npos);
    const auto envelope = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    require(envelope.is_object());
    require(envelope.contains("id") && (envelope["id"].is_string() || envelope["id"].is_null()));
    require(envelope.contains("ok") && envelope["ok"].is_boolean());
    if (envelope["ok"] == true) {
        require(envelope.contains("result") && envelope["result"].is_object());
    } else {
        const auto& error = envelope["error"];
        require(error.is_object() && error["code"].is_string() && error["message"].is_string());
    }
}

// The first byte sets how the scripted model behaves for this input.
void arrangeModel(ScriptedModelScript& script, std::uint8_t knobs, std::string_view text) {
    script = ScriptedModelScript{};
    if (knobs & 0x01) {
        script.availability[Guardrails::standard] =
            ModelAvailability::unavailable(static_cast<ModelUnavailableReason>((knobs >> 6) & 0x03));
    }
    if (knobs & 0x02) script.unsupportedLocales = {"en-US"};
    script.canCountTokens = (knobs & 0x04) != 0;
    script.promptTokens = (knobs & 0x08) ? 1801 : static_cast<std::int64_t>(text.size() % 1000);
    if (knobs & 0x10) {
        script.textAnswers.emplace_back(fail(generationError(static_cast<GenerationErrorCase>(knobs % 11))));
        script.typedAnswers.emplace_back(fail(generationError(static_cast<GenerationErrorCase>(knobs % 11))));
    } else {
        // Whatever the input holds comes back as the model's answer too.
        script.textAnswers.emplace_back(std::string(text));
        script.typedAnswers.emplace_back(GeneratedContent{(knobs & 0x20) == 0, {{"answer", std::string(text)}}});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const FixedSystemLocale systemLocale("en_US");
    static NoWorkspace workspace;
    // One runtime per input: warm sessions and token caches carry from one
    // line to the next, as they do in the program, and the scripted model's
    // record stays small.
    ScriptedLanguageModelPlatform models;
    FoundationModelsRuntime fullRuntime({models, systemLocale, workspace, SystemClock::shared()});
    UnsupportedRuntime unsupportedRuntime(systemLocale, workspace);

    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::uint8_t knobs = data[0];

    MemoryInput source(input, (knobs % 7) + 1);
    // A small limit here lets short inputs reach the oversize path.
    BoundedLineReader reader(source, (knobs & 0x40) ? 64 : kMaximumRequestBytes, 16);
    while (auto line = reader.next()) {
        arrangeModel(models.script(), knobs, line->text);
        const bool exceedsLimit = line->exceedsLimit;
        const auto fullAnswer = respondToLine(fullRuntime, line->text, exceedsLimit);
        checkResponseLine(responseLine(fullAnswer));
        checkResponseLine(responseLine(respondToLine(unsupportedRuntime, line->text, exceedsLimit)));
        // A NUL byte anywhere makes a line that fits the limit invalid JSON,
        // whatever the bytes around it would have said.
        if (!exceedsLimit && line->text.find('\0') != std::string::npos) {
            require(fullAnswer["ok"] == false && fullAnswer["error"]["code"] == "invalid_json");
        }
    }
    return 0;
}
