#include "DictationInvariants.h"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <sstream>

#include "RequestPattern.h"

namespace murmo::testing {

namespace {

using Json = nlohmann::json;

// The requests that end an operation; the "*" is its identifier.
const std::vector<RequestPattern>& terminalPatterns() {
    static const std::vector<RequestPattern> patterns{
        RequestPattern("POST /api/v1/dictations/*/release"),
        RequestPattern("POST /api/v1/dictations/*/cancel"),
        RequestPattern("POST /api/v1/agent/operations/*/release"),
        RequestPattern("DELETE /api/v1/agent/operations/*"),
    };
    return patterns;
}

std::optional<std::string> terminalOperation(const RecordingCoreTransport::Exchange& exchange) {
    for (const auto& pattern : terminalPatterns()) {
        if (auto captured = pattern.captures(exchange.method, pathOfTarget(exchange.target))) return captured->front();
    }
    return std::nullopt;
}

std::string line(const RecordingCoreTransport::Exchange& exchange) { return exchange.method + " " + exchange.target; }

std::string describe(const RecordingCoreTransport::Exchange& exchange) {
    using Outcome = RecordingCoreTransport::Exchange::Outcome;
    switch (exchange.outcome) {
        case Outcome::pending: return "still unanswered";
        case Outcome::replied: return "answered " + std::to_string(exchange.status);
        case Outcome::failed: return "failed (" + exchange.failure + ")";
    }
    return "unknown";
}

bool isRelease(const RecordingCoreTransport::Exchange& exchange) {
    return pathOfTarget(exchange.target).ends_with("/release");
}

// Whether `earlier` had its outcome before `later` went out. Exchanges
// without marks keep their order unknown: an outcome at all then counts.
bool answeredBefore(const RecordingCoreTransport::Exchange& earlier, const RecordingCoreTransport::Exchange& later) {
    if (earlier.sentMark == 0 || later.sentMark == 0) {
        return earlier.outcome != RecordingCoreTransport::Exchange::Outcome::pending;
    }
    return earlier.answeredMark != 0 && earlier.answeredMark < later.sentMark;
}

// Why `next` may follow `previous` for the same operation, or nullopt with
// the reason it may not.
std::optional<std::string> whyNotAllowed(const RecordingCoreTransport::Exchange& previous,
                                         const RecordingCoreTransport::Exchange& next,
                                         const TerminalAllowances& allowed) {
    const bool answered = answeredBefore(previous, next);
    if (previous.failed() && answered) return std::nullopt;
    if (isRelease(previous) && !isRelease(next)) {
        if (allowed.cancelOvertakesRelease && !answered) return std::nullopt;
        if (allowed.quitCancelsAfterAnsweredRelease && answered) return std::nullopt;
        if (allowed.agentDeletedAfterAnsweredRelease && answered && next.method == "DELETE") return std::nullopt;
    }
    if (previous.failed()) return "which failed only after it went out";
    return "which had not failed but was " + describe(previous);
}

void checkTerminalRequests(const DictationTrace& trace, const TerminalAllowances& allowed,
                           std::vector<std::string>& violations) {
    std::map<std::string, std::vector<const RecordingCoreTransport::Exchange*>> byOperation;
    for (const auto& exchange : trace.exchanges) {
        if (auto operation = terminalOperation(exchange)) byOperation[*operation].push_back(&exchange);
    }
    for (const auto& [operation, exchanges] : byOperation) {
        for (std::size_t i = 0; i + 1 < exchanges.size(); ++i) {
            if (auto reason = whyNotAllowed(*exchanges[i], *exchanges[i + 1], allowed)) {
                violations.push_back("operation " + operation + ": " + line(*exchanges[i + 1]) + " was sent after " +
                                     line(*exchanges[i]) + ", " + *reason);
            }
        }
    }
}

void checkDeliveryReports(const DictationTrace& trace, std::vector<std::string>& violations) {
    static const RequestPattern report("POST /api/v1/dictations/*/delivery-result");
    std::map<std::string, std::size_t> reports;
    for (const auto& request : trace.engineRequests) {
        if (auto captured = report.captures(request.method, request.path)) ++reports[captured->front()];
    }
    for (const auto& [operation, count] : reports) {
        if (count > 1) {
            violations.push_back("operation " + operation + ": " + std::to_string(count) + " delivery reports");
        }
    }
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

void checkField(const DictationTrace& trace, const DictationExpectations& expected,
                std::vector<std::string>& violations) {
    if (expected.dictatedText.empty()) return;
    const auto before = occurrences(trace.fieldTextBefore, expected.dictatedText);
    const auto after = occurrences(trace.fieldTextAfter, expected.dictatedText);
    if (after > before + 1) {
        violations.push_back("the dictated text was inserted " + std::to_string(after - before) +
                             " times; the field holds \"" + trace.fieldTextAfter + "\"");
    }
}

std::string describe(const std::vector<PasteboardItem>& items) {
    std::ostringstream out;
    out << items.size() << " item(s):";
    for (const auto& item : items) {
        out << " [";
        for (const auto& representation : item.representations) {
            out << " " << representation.type << "(" << representation.data.size() << " bytes)";
        }
        out << " ]";
    }
    return out.str();
}

void checkClipboard(const DictationTrace& trace, const DictationExpectations& expected,
                    std::vector<std::string>& violations) {
    if (expected.clipboard == ClipboardExpectation::restored) {
        if (trace.clipboardAfter != trace.clipboardBefore) {
            violations.push_back("the user's clipboard was not given back byte for byte: it held " +
                                 describe(trace.clipboardBefore) + " and now holds " + describe(trace.clipboardAfter));
        }
        return;
    }
    const std::vector<PasteboardItem> transcriptAlone{PasteboardItem::plainText(expected.dictatedText)};
    if (trace.clipboardAfter != transcriptAlone) {
        violations.push_back("the clipboard should hold the dictated text alone after an unverified paste, but holds " +
                             describe(trace.clipboardAfter));
    }
}

void checkAudioFrames(const DictationTrace& trace, std::vector<std::string>& violations) {
    // Audio frames belong to the stream opened by the latest begin; after its
    // end or cancel none may come until another begins. With frames missing
    // at the front, nothing is known until the first control frame.
    std::optional<std::string> closedBy;
    if (trace.allSocketFramesKept) closedBy = "start of the trace, before any stream began";
    std::size_t late = 0;
    auto report = [&] {
        if (closedBy && late > 0) {
            violations.push_back(std::to_string(late) + " audio frame(s) arrived after the " + *closedBy);
        }
        late = 0;
    };
    for (const auto& frame : trace.socketFrames) {
        if (!frame.text) {
            if (closedBy) ++late;
            continue;
        }
        auto control = audioControlFrame(frame);
        if (!control) continue;
        if (control->type == "native_audio_begin") {
            report();
            closedBy.reset();
        } else if (control->type == "native_audio_end" || control->type == "native_audio_cancel") {
            report();
            closedBy = control->type + " frame of operation " + control->operationID;
        }
    }
    report();
}

void checkLogs(const DictationTrace& trace, const DictationExpectations& expected,
               std::vector<std::string>& violations) {
    if (expected.dictatedText.empty()) return;
    for (const auto& record : trace.logLines) {
        if (record.message.find(expected.dictatedText) != std::string::npos) {
            violations.push_back("the dictated text is in a log line of category \"" + record.category +
                                 "\": " + record.message);
        }
    }
}

}  // namespace

std::optional<AudioControlFrame> audioControlFrame(const StandInSocketFrame& frame) {
    if (!frame.text) return std::nullopt;
    auto parsed = Json::parse(frame.bytes, nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    auto type = parsed.find("type");
    if (type == parsed.end() || !type->is_string()) return std::nullopt;
    AudioControlFrame control{type->get<std::string>(), {}, frame.socket};
    if (auto operation = parsed.find("operation_id"); operation != parsed.end() && operation->is_string()) {
        control.operationID = operation->get<std::string>();
    }
    return control;
}

std::vector<std::string> dictationInvariantViolations(const DictationTrace& trace,
                                                      const DictationExpectations& expected) {
    std::vector<std::string> violations;
    checkTerminalRequests(trace, expected.terminal, violations);
    checkDeliveryReports(trace, violations);
    checkField(trace, expected, violations);
    checkClipboard(trace, expected, violations);
    checkAudioFrames(trace, violations);
    checkLogs(trace, expected, violations);
    if (!trace.coordinatorIdle) violations.push_back("the coordinator still has an operation open");
    return violations;
}

}  // namespace murmo::testing
