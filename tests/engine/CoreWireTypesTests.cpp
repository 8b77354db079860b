#include "engine/CoreWireTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace murmo {
namespace {

std::set<std::string> keysOf(const json::Json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
}

TEST(JSONValueTest, DecodesEachCaseWithoutConfusingNumbersAndBools) {
    auto object = JSONValue::decodeObject(R"({"n":1,"t":true,"s":"1","z":null,"f":2.5,"o":{"a":[null,2]}})");
    ASSERT_TRUE(object) << object.error().message;
    EXPECT_EQ(object->at("n").number(), 1.0);
    EXPECT_EQ(object->at("n").boolean(), std::nullopt) << "a number is never a bool";
    EXPECT_EQ(object->at("t").boolean(), true);
    EXPECT_EQ(object->at("t").number(), std::nullopt);
    ASSERT_NE(object->at("s").string(), nullptr);
    EXPECT_EQ(*object->at("s").string(), "1");
    EXPECT_TRUE(object->at("z").isNull());
    EXPECT_EQ(object->at("f").number(), 2.5);

    const auto* nested = object->at("o").object();
    ASSERT_NE(nested, nullptr);
    const auto* array = std::get_if<JSONValue::Array>(&nested->at("a").storage());
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(array->size(), 2u);
    EXPECT_TRUE((*array)[0].isNull());
    EXPECT_EQ((*array)[1].number(), 2.0);
}

TEST(JSONValueTest, RefusesNonObjectsAndNestingBeyondTheLimit) {
    EXPECT_FALSE(JSONValue::decodeObject("[1]"));
    EXPECT_FALSE(JSONValue::decodeObject("null"));
    EXPECT_FALSE(JSONValue::decodeObject(""));
    std::string deep = "{\"a\":";
    for (std::size_t i = 0; i < JSONValue::kMaximumDepth + 5; ++i) deep += "[";
    for (std::size_t i = 0; i < JSONValue::kMaximumDepth + 5; ++i) deep += "]";
    deep += "}";
    EXPECT_FALSE(JSONValue::decodeObject(deep));
}

TEST(CoreEventTest, DecodingTable) {
    struct Case {
        const char* text;
        bool decodes;
    };
    const Case cases[] = {
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":{}})", true},
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":{},"operation_id":null,"monotonic_ns":null})",
         true},
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable"})", false},              // no data
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":null})", false},  // null data
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":[]})", false},  // data not an object
        {R"({"protocol_version":1,"sequence":"3","type":"t","qos":"reliable","data":{}})", false},  // sequence as text
        {R"({"sequence":3,"type":"t","qos":"reliable","data":{}})", false},                         // no version
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":{},"monotonic_ns":-1})", false},
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":{},"monotonic_ns":1.5})", false},
        {R"({"protocol_version":1,"sequence":3,"type":"t","qos":"reliable","data":{},"operation_id":7})", false},
    };
    for (const auto& c : cases) EXPECT_EQ(CoreEvent::decode(c.text).has_value(), c.decodes) << c.text;
}

TEST(CoreEventTest, KeepsOptionalFieldsAndFullUnsignedUptime) {
    auto event = CoreEvent::decode(
        R"({"protocol_version":1,"sequence":9,"type":"final_text","qos":"conflated","data":{"text":"hi"},)"
        R"("operation_id":"op","monotonic_ns":18446744073709551615,"extra":true})");
    ASSERT_TRUE(event) << event.error().message;
    EXPECT_EQ(event->sequence, 9);
    EXPECT_EQ(event->type, "final_text");
    EXPECT_EQ(event->qos, "conflated");
    EXPECT_EQ(*event->data.at("text").string(), "hi");
    EXPECT_EQ(event->operationID, "op");
    EXPECT_EQ(event->monotonicNanoseconds, 18446744073709551615ull);

    auto bare = CoreEvent::decode(R"({"protocol_version":1,"sequence":1,"type":"t","qos":"reliable","data":{}})");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->operationID, std::nullopt);
    EXPECT_EQ(bare->monotonicNanoseconds, std::nullopt);
}

TEST(RecordingTargetMetadataPolicyTest, SanitizingTable) {
    const std::string threeByte = "\xE3\x81\x82";  // one three-byte character
    std::string hundredThreeByte;
    for (int i = 0; i < 100; ++i) hundredThreeByte += threeByte;
    struct Case {
        std::optional<std::string> input;
        std::optional<std::string> expected;
        const char* what;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "absent stays absent"},
        {"  Notes\n", "Notes", "trimmed at both ends"},
        {"\xC2\xA0Notes\xE3\x80\x80", "Notes", "Unicode spaces trimmed too"},
        {" \t\n ", std::nullopt, "only white space"},
        {std::string(255, 'a'), std::string(255, 'a'), "exactly 255 bytes"},
        {std::string(256, 'a'), std::nullopt, "256 bytes dropped, never cut"},
        {"  " + std::string(255, 'a') + "\n", std::string(255, 'a'), "length counted after trimming"},
        {hundredThreeByte, std::nullopt, "300 bytes in 100 characters"},
        {"Te\txt", std::nullopt, "tab inside"},
        {"Te\xE2\x80\x8Dxt", std::nullopt, "zero-width joiner (format)"},
        {"Te\x01xt", std::nullopt, "control character"},
        {"Te\xFFxt", std::nullopt, "invalid UTF-8"},
        {"com.example.Notes", "com.example.Notes", "plain identifier"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RecordingTargetMetadataPolicy::sanitized(c.input), c.expected) << c.what;
    }
}

TEST(RecordingPayloadTest, BodyLeavesAbsentKeysOutAndKeepsEveryDigit) {
    const std::int64_t beyondDouble = (1ll << 53) + 1;
    RecordingPayload full("native_hotkey", "op-1", MonotonicTime(Duration(beyondDouble)), "  com.example.app ", "App",
                          "native_raw", 48000);
    const auto body = full.requestBody();
    EXPECT_EQ(keysOf(body), (std::set<std::string>{"source", "operation_id", "client_monotonic_ns", "target_app_id",
                                                   "target_app_name", "audio_source", "audio_sample_rate"}));
    EXPECT_EQ(body["target_app_id"], "com.example.app");
    EXPECT_EQ(json::dump(body)->find("\"client_monotonic_ns\":9007199254740993") != std::string::npos, true);
    EXPECT_EQ(body["audio_sample_rate"], 48000);

    RecordingPayload reduced("native_hotkey", "op-1", MonotonicTime(Duration(5)), std::string(300, 'x'), " \n");
    EXPECT_EQ(keysOf(reduced.requestBody()), (std::set<std::string>{"source", "operation_id", "client_monotonic_ns"}))
        << "unusable target fields are left out, never sent as null";
    EXPECT_EQ(*reduced.encoded(), R"({"source":"native_hotkey","operation_id":"op-1","client_monotonic_ns":5})");
}

TEST(DictationCommandResponseTest, EveryFieldOptionalButTypesStrict) {
    auto empty = DictationCommandResponse::decode("{}");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->phase || empty->operationID || empty->finalText || empty->agentAnswer || empty->errorMessage ||
                 empty->reasonCode || empty->messageKey);

    auto full = DictationCommandResponse::decode(
        R"({"phase":null,"operation_id":"op","final_text":"Hello","agent_answer":{"text":"x"},)"
        R"("error":"bad","reason_code":"r","message_key":"k"})");
    ASSERT_TRUE(full) << full.error().message;
    EXPECT_EQ(full->phase, std::nullopt);
    EXPECT_EQ(full->finalText, "Hello");
    EXPECT_EQ(full->errorMessage, "bad") << "read from \"error\"";
    ASSERT_TRUE(full->agentAnswer);
    EXPECT_EQ(*full->agentAnswer->at("text").string(), "x");

    EXPECT_FALSE(DictationCommandResponse::decode(R"({"agent_answer":"text"})"));
    EXPECT_FALSE(DictationCommandResponse::decode(R"({"phase":3})"));
    EXPECT_FALSE(DictationCommandResponse::decode(""));
}

TEST(DeliveryResultPayloadTest, EncodesInOrderAndRefusesWhatJSONCannotCarry) {
    DeliveryResultPayload payload{"target", "inserted", "accessibility", "ok", true, 12.5};
    EXPECT_EQ(*payload.encoded(),
              R"({"outcome":"inserted","method":"accessibility","verified":true,"target_id":"target",)"
              R"("reason_code":"ok","elapsed_ms":12.5})");

    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        payload.elapsedMilliseconds = bad;
        EXPECT_FALSE(payload.encoded()) << "never sent as null";
    }
    payload.elapsedMilliseconds = 1;
    payload.reasonCode = "\xFF";
    EXPECT_FALSE(payload.encoded()) << "invalid UTF-8 is never replaced";
}

TEST(ShortcutSettingsResponseTest, OnlyWhatIsGivenAndNoFallbackForMalformedFields) {
    auto partial = ShortcutSettingsResponse::decode(R"({"audio_device":3,"background_noise_reduction":{}})");
    ASSERT_TRUE(partial) << partial.error().message;
    EXPECT_EQ(partial->audioDevice, 3);
    ASSERT_TRUE(partial->backgroundNoiseReduction);
    EXPECT_EQ(partial->backgroundNoiseReduction->available, std::nullopt);
    EXPECT_FALSE(partial->nativeShortcut || partial->hotkeyEnabled || partial->agentTTSRate ||
                 partial->backgroundNoiseReductionEnabled || partial->audioDeviceName);

    auto full = ShortcutSettingsResponse::decode(
        R"({"fast_mode_enabled":true,"live_dictation_enabled":false,"auto_inject":true,"hotkey_enabled":true,)"
        R"("native_shortcut":{"kind":"chord","key_code":49,"modifiers":["control","option"],"display":"x"},)"
        R"("background_noise_reduction_enabled":true,"audio_device":null,"audio_device_name":"USB Mic",)"
        R"("background_noise_reduction":{"available":true},"agent_mode_enabled":true,)"
        R"("agent_activation_policy":"both","agent_native_shortcut":{"kind":"fn","modifiers":[],"display":"Fn"},)"
        R"("agent_response_mode":"speak","agent_tts_voice":"v","agent_tts_rate":1.25})");
    ASSERT_TRUE(full) << full.error().message;
    ASSERT_TRUE(full->nativeShortcut);
    EXPECT_EQ(full->nativeShortcut->keyCode, 49);
    EXPECT_EQ(full->backgroundNoiseReductionEnabled, true);
    EXPECT_EQ(full->backgroundNoiseReduction->available, true);
    EXPECT_EQ(full->audioDevice, std::nullopt);
    EXPECT_EQ(full->agentNativeShortcut->kind, "fn");
    EXPECT_EQ(full->agentTTSRate, 1.25);

    for (const char* bad :
         {R"({"audio_device":"3"})", R"({"agent_tts_rate":"fast"})", R"({"native_shortcut":{"kind":"fn"}})",
          R"({"background_noise_reduction":true})", R"({"hotkey_enabled":1})", R"({"audio_device":1.5})"}) {
        EXPECT_FALSE(ShortcutSettingsResponse::decode(bad)) << bad;
    }
}

}  // namespace
}  // namespace murmo
