#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "bridge/BridgeProgram.h"

namespace murmo::bridge {
namespace {

using testing::Json;
using testing::RecordingOutput;
using testing::StringInput;

// Answers every request with its id and action, and counts them.
class EchoRuntime final : public BridgeRuntime {
public:
    explicit EchoRuntime(int& handled) : handled(handled) {}
    Envelope handle(const BridgeRequest& request) override {
        ++handled;
        if (request.action == "unload") return BridgeResponse::success(request.id, {{"text", "bad \xff"}});
        return BridgeResponse::success(request.id, {{"action", request.action}});
    }
    int& handled;
};

class BridgeProgramTest : public ::testing::Test {
protected:
    int run(std::vector<std::string> arguments, std::string input) {
        StringInput source(std::move(input), 7);
        return runBridgeProgram(arguments, source, output, [this] {
            ++runtimesMade;
            return std::make_unique<EchoRuntime>(handled);
        });
    }

    std::vector<Json> lines() const {
        std::vector<Json> parsed;
        const auto text = output.text();
        std::size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find('\n', start);
            EXPECT_NE(end, std::string::npos) << "every line ends with a line feed";
            if (end == std::string::npos) break;
            parsed.push_back(Json::parse(text.substr(start, end - start)));
            start = end + 1;
        }
        return parsed;
    }

    static std::string line(std::string_view action, std::string_view id = "r1") {
        return testing::requestObject(action, Json::object(), id).dump() + "\n";
    }

    RecordingOutput output;
    int runtimesMade = 0;
    int handled = 0;
};

TEST_F(BridgeProgramTest, AnswersEveryLineInOrderWithNullIdsForRefusedOnes) {
    EXPECT_EQ(run({}, line("status", "a") + "\n" +
                          R"({"id":"b","action":"status"})"
                          "\n" +
                          line("dance", "c") + line("Open-Settings", "d")),
              0);
    const auto answers = lines();
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0], BridgeResponse::success("a", {{"action", "status"}}));
    EXPECT_EQ(answers[1]["error"]["code"], "invalid_request_size");
    EXPECT_EQ(answers[2], BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::unsupportedProtocol)));
    // A well-formed request with an unknown action: its id is not echoed.
    EXPECT_EQ(answers[3], BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::unsupportedAction)));
    EXPECT_EQ(answers[4], BridgeResponse::success("d", {{"action", "open_settings"}}));
    EXPECT_EQ(runtimesMade, 1);
    EXPECT_EQ(handled, 2);
    // Each response goes out as its JSON bytes, then a separate line feed.
    ASSERT_EQ(output.writes.size(), 10u);
    EXPECT_EQ(output.writes[1], "\n");
}

TEST_F(BridgeProgramTest, ALineWithANulByteIsNotJSONWhereverTheNulSits) {
    using namespace std::string_literals;
    const auto valid = testing::requestObject("status", Json::object(), "a").dump();
    const std::vector<std::string> nulLines{
        valid + "\0 garbage"s,
        valid + "\0"s,
        "\0"s + valid,
        R"({"protocol_version":1,"id":"a)"s + "\0"s + R"(b","action":"status"})"s,
        R"({"protocol_version":1,"id":"a","action":"status)"s + "\0"s + R"("})"s,
    };
    for (const auto& nulLine : nulLines) {
        output = RecordingOutput{};
        run({}, nulLine + "\n" + line("status", "after"));
        const auto answers = lines();
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_EQ(answers[0], BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::invalidJSON)));
        // The refused line is one line: serving goes on with the next.
        EXPECT_EQ(answers[1], BridgeResponse::success("after", {{"action", "status"}}));
    }
    EXPECT_EQ(handled, static_cast<int>(nulLines.size()));
}

TEST_F(BridgeProgramTest, OnceModeAnswersOnlyTheFirstLineWhateverItsOutcome) {
    run({"--once"}, line("status", "a") + line("status", "b"));
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0]["id"], "a");

    output = RecordingOutput{};
    run({"--once"}, "\n" + line("status", "b"));
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0]["error"]["code"], "invalid_request_size");

    output = RecordingOutput{};
    run({"--once"}, std::string(300'000, '{') + "\n" + line("status", "b"));
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0]["error"]["code"], "invalid_request_size");
}

TEST_F(BridgeProgramTest, WrongArgumentsAreRefusedBeforeAnythingIsRead) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"--once", "--once"}, {"--once", "x"}, {"x", "--once"}, {""}}) {
        output = RecordingOutput{};
        EXPECT_EQ(run(arguments, line("status")), 0);
        EXPECT_EQ(
            output.text(),
            R"({"error":{"code":"invalid_arguments","message":"The bridge accepts only the optional --once argument."},"id":null,"ok":false})"
            "\n");
    }
    EXPECT_EQ(runtimesMade, 0);
}

TEST_F(BridgeProgramTest, AnUnserialisableAnswerBecomesTheFixedLineAndServingGoesOn) {
    run({}, line("unload", "a") + line("status", "b"));
    const auto answers = lines();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0]["error"]["code"], "serialization_failed");
    EXPECT_EQ(answers[1]["id"], "b");
}

TEST_F(BridgeProgramTest, StopsServingWhenTheOutputIsGone) {
    // The first response's JSON bytes go out; its line feed does not.
    output.writesBeforeFailure = 1;
    EXPECT_EQ(run({}, line("status", "a") + line("status", "b")), 0);
    EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace murmo::bridge
