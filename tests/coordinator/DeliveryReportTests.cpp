#include "coordinator/DeliveryReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace murmo {
namespace {

using namespace std::chrono_literals;

TEST(DeliveryReport, PayloadForEachKindOfResult) {
    struct Case {
        std::string name;
        DeliveryResult result;
        DeliveryResultPayload expected;
    };
    const std::string target = "target-7";
    const std::vector<Case> cases{
        {"failure",
         DeliveryResult::failed("target_changed", "focused_element_changed", "The text field changed.", 1234500us),
         {target, "target_changed", "none", "focused_element_changed", false, 1234.5}},
        {"verified clipboard paste",
         DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste, true, 40ms),
         {target, "inserted", "clipboard_paste", "", true, 40}},
        {"verified accessibility",
         DeliveryResult::inserted(TextDeliveryMethod::accessibility, true, 2500us),
         {target, "inserted", "accessibility", "", true, 2.5}},
        {"verified keyboard",
         DeliveryResult::inserted(TextDeliveryMethod::keyboard, true, 7ms),
         {target, "inserted", "unicode_event", "", true, 7}},
        {"verified internal editor",
         DeliveryResult::inserted(TextDeliveryMethod::internalEditor, true, 0ms),
         {target, "inserted", "internal_editor", "", true, 0}},
        {"unverified clipboard paste",
         DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste, false, 310ms),
         {target, "inserted", "clipboard_paste", "delivery_dispatched_unobservable", false, 310}},
        {"unverified keyboard",
         DeliveryResult::inserted(TextDeliveryMethod::keyboard, false, 12ms),
         {target, "inserted", "unicode_event", "delivery_dispatched_unobservable", false, 12}},
    };
    for (const auto& [name, result, expected] : cases) {
        const auto payload = deliveryReport(result, target);
        EXPECT_EQ(payload.targetID, expected.targetID) << name;
        EXPECT_EQ(payload.outcome, expected.outcome) << name;
        EXPECT_EQ(payload.method, expected.method) << name;
        EXPECT_EQ(payload.reasonCode, expected.reasonCode) << name;
        EXPECT_EQ(payload.verified, expected.verified) << name;
        EXPECT_DOUBLE_EQ(payload.elapsedMilliseconds, expected.elapsedMilliseconds) << name;
    }
}

}  // namespace
}  // namespace murmo
