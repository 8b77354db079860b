#include "coordinator/AgentTerminalPayload.h"

#include <gtest/gtest.h>

#include <string>

namespace murmo {
namespace {

using Parsed = std::expected<AgentTerminalPayload, AgentTerminalValidationError>;
using Question = std::optional<std::string_view>;

JSONValue::Object objectFrom(std::string_view json) {
    auto decoded = JSONValue::decodeObject(json);
    if (!decoded) ADD_FAILURE() << "fixture is not a JSON object: " << json;
    return decoded.value_or(JSONValue::Object{});
}

JSONValue textValue(std::string text) { return JSONValue(JSONValue::Storage(std::move(text))); }

Parsed parse(std::string_view json, Question question = std::nullopt, std::string_view fallback = "text") {
    return AgentTerminalPayload::parse(objectFrom(json), fallback, question);
}

// "accepted", or the reason code the coordinator would report.
std::string outcome(const Parsed& parsed) { return parsed ? "accepted" : std::string(reasonCode(parsed.error())); }

TEST(AgentTerminalValidationErrorTest, ReasonCodes) {
    const std::pair<AgentTerminalValidationError, std::string_view> rows[] = {
        {AgentTerminalValidationError::missingAnswer, "agent_empty_output"},
        {AgentTerminalValidationError::unsafeAnswer, "agent_output_invalid"},
        {AgentTerminalValidationError::questionEcho, "agent_question_echo"},
        {AgentTerminalValidationError::missingConfirmationToken, "agent_confirmation_invalid"},
    };
    for (const auto& [error, code] : rows) EXPECT_EQ(reasonCode(error), code);
}

TEST(AgentTerminalPayloadTest, VersionedAnswerInAnEventIsBothTextsWithTheFallbackMode) {
    const auto parsed =
        parse(R"({"type":"agent.answer","agent_answer":{"schema_version":1,"answer":" It is sunny.\n"}})", std::nullopt,
              "voice");
    ASSERT_TRUE(parsed) << outcome(parsed);
    EXPECT_EQ(*parsed, (AgentTerminalPayload{.displayText = "It is sunny.",
                                             .spokenText = "It is sunny.",
                                             .responseMode = AgentResponseMode::voice}));
}

TEST(AgentTerminalPayloadTest, EveryFieldComesFromItsKey) {
    const auto parsed = parse(R"({
        "schema_version": 1, "answer": "Send the draft to Ada?", "response_mode": "both", "language": "tr-TR",
        "requires_confirmation": true, "confirmation_token": "tok-1", "confirmation_label": "Send it",
        "route": "mail.send", "reason_code": "needs_confirmation", "message_key": "agent.confirm.send"})");
    ASSERT_TRUE(parsed) << outcome(parsed);
    EXPECT_EQ(*parsed, (AgentTerminalPayload{.displayText = "Send the draft to Ada?",
                                             .spokenText = "Send the draft to Ada?",
                                             .responseMode = AgentResponseMode::both,
                                             .language = "tr-TR",
                                             .requiresConfirmation = true,
                                             .confirmationToken = "tok-1",
                                             .confirmationLabel = "Send it",
                                             .route = "mail.send",
                                             .reasonCode = "needs_confirmation",
                                             .messageKey = "agent.confirm.send"}));
}

TEST(AgentTerminalPayloadTest, AcceptedAnswers) {
    struct Row {
        std::string_view json;
        Question question;
        std::string_view displayText;
    };
    const Row rows[] = {
        // Where the answer object is.
        {R"({"answer":{"schema_version":1,"answer":"Sure."}})", {}, "Sure."},
        {R"({"agent_answer":{"schema_version":1,"answer":"First."},"answer":{"schema_version":1,"answer":"Second."}})",
         {},
         "First."},
        {R"({"agent_answer":"flat","answer":{"schema_version":1,"answer":"Sure."}})", {}, "Sure."},
        // Versioned texts are compared after trimming; 1.0 is the number 1.
        {R"({"schema_version":1,"answer":"It is sunny.","display_text":"  It is sunny.\n","spoken_text":"It is sunny.\u3000","text":"It is sunny."})",
         {},
         "It is sunny."},
        {R"({"schema_version":1.0,"answer":"Sure."})", {}, "Sure."},
        // Plain form: display and spoken agree, text may repeat them.
        {R"({"display_text":" Hi there ","spoken_text":"Hi there","text":"Hi there"})", {}, "Hi there"},
        {R"({"schema_version":"1","display_text":"Hi there","spoken_text":"Hi there"})", {}, "Hi there"},
        // Content that passes the checks.
        {R"({"schema_version":1,"answer":"Ok"})", {}, "Ok"},
        {R"({"schema_version":1,"answer":"null pointer"})", {}, "null pointer"},
        {R"({"schema_version":1,"answer":"Fill in display_text and spoken_text."})",
         {},
         "Fill in display_text and spoken_text."},
        {R"({"schema_version":1,"answer":"{ braces around a sentence }"})", {}, "{ braces around a sentence }"},
        {R"({"schema_version":1,"answer":"[1, 2]"})", {}, "[1, 2]"},
        // The question: punctuation counts, and without a question nothing is an echo.
        {R"({"schema_version":1,"answer":"What time is it"})", "What time is it?", "What time is it"},
        {R"({"schema_version":1,"answer":"What time is it?"})", {}, "What time is it?"},
    };
    for (const auto& row : rows) {
        const auto parsed = parse(row.json, row.question);
        ASSERT_TRUE(parsed) << row.json << " gave " << outcome(parsed);
        EXPECT_EQ(parsed->displayText, row.displayText) << row.json;
        EXPECT_EQ(parsed->spokenText, row.displayText) << row.json;
    }
}

TEST(AgentTerminalPayloadTest, RejectedAnswers) {
    struct Row {
        std::string_view json;
        Question question;
        std::string_view reason;
    };
    const Row rows[] = {
        // Versioned form.
        {R"({"agent_answer":{"schema_version":2,"answer":"It is sunny."}})", {}, "agent_output_invalid"},
        {R"({"agent_answer":{"schema_version":"1","answer":"It is sunny."}})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"It is sunny.","display_text":"It is rainy."})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"It is sunny.","spoken_text":"It is sunny!"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"display_text":"It is sunny."})", {}, "agent_output_invalid"},
        {R"({"schema_version":2})", {}, "agent_empty_output"},
        {R"({"schema_version":1,"answer":" \n\t "})", {}, "agent_empty_output"},
        // Plain form.
        {R"({"display_text":"It is sunny.","spoken_text":"It is rainy."})", {}, "agent_output_invalid"},
        {R"({"display_text":"It is sunny."})", {}, "agent_output_invalid"},
        {R"({"spoken_text":"It is sunny."})", {}, "agent_output_invalid"},
        {R"({"text":"It is sunny."})", {}, "agent_output_invalid"},
        {R"({"display_text":"It is sunny.","spoken_text":"It is sunny.","text":"Other."})", {}, "agent_output_invalid"},
        {R"({"route":"weather","response_mode":"text"})", {}, "agent_empty_output"},
        {R"({})", {}, "agent_empty_output"},
        {R"({"display_text":42,"spoken_text":null})", {}, "agent_empty_output"},
        // Echo of the question, ignoring case and runs of Unicode white space.
        {R"({"schema_version":1,"answer":"what  TIME\n is\u00a0it?"})", "What time is it?", "agent_question_echo"},
        {R"({"schema_version":1,"answer":"a"})", "A", "agent_question_echo"},
        // Texts not fit to show or speak.
        {R"({"schema_version":1,"answer":"A"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"e\u0301"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":" \ud83d\udc4d\ud83c\udffd "})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"null"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"NULL"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"UnDefined"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"Set \"display_text\" to hi."})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"{\"SPOKEN_TEXT\": \"hi\"}"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"{\"reply\": \"hi\""})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"[1, 2"})", {}, "agent_output_invalid"},
        {R"({"schema_version":1,"answer":"[1, 2}"})", {}, "agent_output_invalid"},
        // Confirmation.
        {R"({"schema_version":1,"answer":"Send it?","requires_confirmation":true})", {}, "agent_confirmation_invalid"},
        {R"({"schema_version":1,"answer":"Send it?","requires_confirmation":true,"confirmation_token":"  "})",
         {},
         "agent_confirmation_invalid"},
        {R"({"confirmation_token":"tok-1","agent_answer":{"schema_version":1,"answer":"Send it?","requires_confirmation":true}})",
         {},
         "agent_confirmation_invalid"},
        // The texts are judged before the confirmation.
        {R"({"schema_version":1,"answer":"","requires_confirmation":true})", {}, "agent_empty_output"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(outcome(parse(row.json, row.question)), row.reason)
            << row.json << " with question " << row.question.value_or("<none>");
    }
}

TEST(AgentTerminalPayloadTest, TextsAreLimitedInUTF8BytesAfterTrimmingAndDroppedWholeBeyondIt) {
    constexpr auto limit = AgentTerminalPayload::kMaximumTextBytes;
    const std::string longest(limit, 'a');
    std::string twoByteLetters;
    for (std::size_t i = 0; i < limit / 2; ++i) twoByteLetters += "\xC3\xA9";  // é
    struct Row {
        std::string answer;
        std::string_view reason;
        std::string kept;
    };
    const Row rows[] = {
        {longest, "accepted", longest},
        {" \n" + longest + "\xE3\x80\x80", "accepted", longest},  // the blanks around it do not count
        {twoByteLetters, "accepted", twoByteLetters},
        {longest + "a", "agent_empty_output", ""},
        {twoByteLetters + "a", "agent_empty_output", ""},  // 10,001 characters but 20,001 bytes
    };
    for (const auto& row : rows) {
        const auto parsed = AgentTerminalPayload::parse(
            {{"schema_version", JSONValue(JSONValue::Storage(1.0))}, {"answer", textValue(row.answer)}}, "text", {});
        EXPECT_EQ(outcome(parsed), row.reason) << row.answer.size() << " bytes";
        if (parsed) {
            EXPECT_EQ(parsed->displayText, row.kept) << row.answer.size() << " bytes";
        }
    }
}

TEST(AgentTerminalPayloadTest, TheKnownQuestionComesFirstThenTheOuterObjectsThenTheAnswerObjects) {
    struct Row {
        Question expected;
        std::string_view outerQuestion;
        std::string_view answerObjectQuestion;
        std::string_view reason;
    };
    // The answer is always "Hello there".
    const Row rows[] = {
        {"hello THERE", "", "", "agent_question_echo"},
        {"Something else", "Hello there", "Hello there", "accepted"},
        {" \n", "Hello there", "", "agent_question_echo"},  // a blank known question is no question
        {std::nullopt, "Hello there", "", "agent_question_echo"},
        {std::nullopt, "", "Hello there", "agent_question_echo"},
        {std::nullopt, "Something else", "Hello there", "accepted"},
        {std::nullopt, "  ", "Hello there", "agent_question_echo"},
    };
    for (const auto& row : rows) {
        JSONValue::Object answerObject{{"schema_version", JSONValue(JSONValue::Storage(1.0))},
                                       {"answer", textValue("Hello there")}};
        JSONValue::Object outer;
        if (!row.answerObjectQuestion.empty())
            answerObject["question"] = textValue(std::string(row.answerObjectQuestion));
        if (!row.outerQuestion.empty()) outer["question"] = textValue(std::string(row.outerQuestion));
        outer["agent_answer"] = JSONValue(JSONValue::Storage(std::move(answerObject)));
        EXPECT_EQ(outcome(AgentTerminalPayload::parse(outer, "text", row.expected)), row.reason)
            << "known " << row.expected.value_or("<none>") << ", outer " << row.outerQuestion << ", answer object "
            << row.answerObjectQuestion;
    }
}

TEST(AgentTerminalPayloadTest, ConfirmationIsReadFromTheAnswerObjectOnly) {
    struct Row {
        std::string_view answerKeys;
        std::string_view outerKeys;
        bool requiresConfirmation;
        std::string_view token;
        std::string_view label;
    };
    const Row rows[] = {
        {"", "", false, "", ""},
        {R"("confirmation_token":" tok-1 ")", "", true, "tok-1", ""},
        {R"("requires_confirmation":false,"confirmation_token":"tok-1")", "", true, "tok-1", ""},
        {R"("requires_confirmation":"true")", "", false, "", ""},
        {R"("requires_confirmation":1)", "", false, "", ""},
        {R"("requires_confirmation":true,"confirmation_token":"tok-1","confirmation_label":"Send it")", "", true,
         "tok-1", "Send it"},
        {"", R"("requires_confirmation":true,"confirmation_token":"tok-1","confirmation_label":"Send it")", false, "",
         ""},
    };
    for (const auto& row : rows) {
        std::string answerObject = R"({"schema_version":1,"answer":"Send the draft?")";
        if (!row.answerKeys.empty()) answerObject += "," + std::string(row.answerKeys);
        std::string json = "{";
        if (!row.outerKeys.empty()) json += std::string(row.outerKeys) + ",";
        json += R"("agent_answer":)" + answerObject + "}}";
        const auto parsed = parse(json);
        ASSERT_TRUE(parsed) << json << " gave " << outcome(parsed);
        EXPECT_EQ(parsed->requiresConfirmation, row.requiresConfirmation) << json;
        EXPECT_EQ(parsed->confirmationToken, row.token) << json;
        EXPECT_EQ(parsed->confirmationLabel, row.label) << json;
    }
}

TEST(AgentTerminalPayloadTest, ResponseModeComesFromTheAnswerThenTheOuterObjectThenTheFallback) {
    struct Row {
        std::string_view json;
        std::string_view fallback;
        AgentResponseMode expected;
    };
    const Row rows[] = {
        {R"({"agent_answer":{"schema_version":1,"answer":"Sure.","response_mode":"voice"},"response_mode":"both"})",
         "text", AgentResponseMode::voice},
        {R"({"agent_answer":{"schema_version":1,"answer":"Sure."},"response_mode":"both"})", "text",
         AgentResponseMode::both},
        {R"({"agent_answer":{"schema_version":1,"answer":"Sure.","response_mode":3},"response_mode":"voice"})", "text",
         AgentResponseMode::voice},
        {R"({"agent_answer":{"schema_version":1,"answer":"Sure.","response_mode":" voice"},"response_mode":"both"})",
         "text", AgentResponseMode::text},
        {R"({"schema_version":1,"answer":"Sure.","response_mode":" voice"})", "both", AgentResponseMode::both},
        {R"({"schema_version":1,"answer":"Sure."})", "loud", AgentResponseMode::text},
    };
    for (const auto& row : rows) {
        const auto parsed = parse(row.json, std::nullopt, row.fallback);
        ASSERT_TRUE(parsed) << row.json << " gave " << outcome(parsed);
        EXPECT_EQ(parsed->responseMode, row.expected) << row.json << " with fallback " << row.fallback;
    }
}

TEST(AgentTerminalPayloadTest, CarriedStringsFallBackToTheOuterObjectOnlyWhenTheAnswerGivesNoString) {
    const auto parsed = parse(R"({
        "language": "de-DE", "route": "outer.route", "reason_code": "outer_reason", "message_key": "outer.key",
        "agent_answer": {"schema_version": 1, "answer": "Sure.",
                         "language": " tr-TR\n", "route": 7, "reason_code": "   "}})");
    ASSERT_TRUE(parsed) << outcome(parsed);
    EXPECT_EQ(parsed->language, "tr-TR");
    EXPECT_EQ(parsed->route, "outer.route") << "a number is no string";
    EXPECT_EQ(parsed->reasonCode, std::nullopt) << "a blank string is the answer's word, not replaced";
    EXPECT_EQ(parsed->messageKey, "outer.key") << "missing from the answer";

    JSONValue::Object wrapped{{"language", textValue("de-DE")}};
    wrapped["agent_answer"] = JSONValue(JSONValue::Storage(
        JSONValue::Object{{"schema_version", JSONValue(JSONValue::Storage(1.0))},
                          {"answer", textValue("Sure.")},
                          {"language", textValue(std::string(AgentTerminalPayload::kMaximumTextBytes + 1, 'x'))}}));
    const auto overLong = AgentTerminalPayload::parse(wrapped, "text", {});
    ASSERT_TRUE(overLong) << outcome(overLong);
    EXPECT_EQ(overLong->language, std::nullopt) << "dropped whole, and not replaced by the outer value";
}

// Values built in the program rather than decoded from text carry whatever
// bytes they were given.
TEST(AgentTerminalPayloadTest, BytesThatAreNotUTF8AreNeverKept) {
    const auto versioned = [](std::string answer) {
        return JSONValue::Object{{"schema_version", JSONValue(JSONValue::Storage(1.0))},
                                 {"answer", textValue(std::move(answer))}};
    };
    EXPECT_EQ(outcome(AgentTerminalPayload::parse(versioned("Hello \xFF there"), "text", {})), "agent_output_invalid");

    auto plain = objectFrom(R"({"display_text":"Hello there","spoken_text":"Hello there"})");
    plain["text"] = textValue("Hello \xC3");
    EXPECT_EQ(outcome(AgentTerminalPayload::parse(plain, "text", {})), "agent_output_invalid")
        << "a broken text beside good ones";

    auto withLanguage = versioned("Hello there");
    withLanguage["language"] = textValue("tr\xFF");
    withLanguage["confirmation_token"] = textValue("tok\xC0\xAF");
    const auto parsed = AgentTerminalPayload::parse(withLanguage, "text", {});
    ASSERT_TRUE(parsed) << outcome(parsed);
    EXPECT_EQ(parsed->language, std::nullopt);
    EXPECT_EQ(parsed->confirmationToken, "");
    EXPECT_FALSE(parsed->requiresConfirmation);

    withLanguage["requires_confirmation"] = JSONValue(JSONValue::Storage(true));
    EXPECT_EQ(outcome(AgentTerminalPayload::parse(withLanguage, "text", {})), "agent_confirmation_invalid")
        << "a token that cannot be sent back is no token";

    EXPECT_EQ(outcome(AgentTerminalPayload::parse(versioned("hello there"), "text", "Hello\xFF there")), "accepted")
        << "a broken known question is no question";
}

}  // namespace
}  // namespace murmo
