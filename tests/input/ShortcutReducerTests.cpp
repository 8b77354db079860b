#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/EventTapLifecycleReducer.h"
#include "input/FunctionKeyOwnershipReducer.h"
#include "input/ShortcutCaptureReducer.h"
#include "input/ShortcutReducer.h"

namespace murmo {
namespace {

constexpr auto kNone = ShortcutModifiers{};
constexpr auto kFn = ShortcutModifiers::function;
constexpr auto kCommand = ShortcutModifiers::command;
constexpr auto kOption = ShortcutModifiers::option;
constexpr auto kControl = ShortcutModifiers::control;
constexpr auto kShift = ShortcutModifiers::shift;

constexpr std::uint16_t kSpace = 49;
constexpr std::uint16_t kLetterA = 0;
constexpr std::uint16_t kLetterK = 40;
constexpr std::uint16_t kShiftKey = 56;
constexpr std::uint16_t kCommandKey = 55;
constexpr std::uint16_t kOptionKey = 58;
constexpr std::uint16_t kControlKey = 59;

KeyboardSample flags(std::uint16_t keyCode, ShortcutModifiers held) {
    return {KeyboardEventKind::flagsChanged, keyCode, held, false};
}
KeyboardSample down(std::uint16_t keyCode, ShortcutModifiers held = kNone, bool isRepeat = false) {
    return {KeyboardEventKind::keyDown, keyCode, held, isRepeat};
}
KeyboardSample up(std::uint16_t keyCode, ShortcutModifiers held = kNone) {
    return {KeyboardEventKind::keyUp, keyCode, held, false};
}

template <class Action>
struct Step {
    KeyboardSample sample;
    std::optional<Action> expected;
};

struct ReducerCase {
    std::string name;
    ShortcutChoice shortcut;
    std::vector<Step<ShortcutAction>> steps;
};

constexpr auto kPressed = ShortcutAction::pressed;
constexpr auto kReleased = ShortcutAction::released;
constexpr auto kCancelled = ShortcutAction::cancelled;

TEST(ShortcutReducer, SequenceTable) {
    const auto fn = ShortcutChoice::function();
    const auto chord = ShortcutChoice::chord(kSpace, kControl | kOption);
    const std::vector<ReducerCase> cases{
        {"Fn alone", fn, {{flags(63, kFn), kPressed}, {flags(63, kNone), kReleased}}},
        {"Fn then Shift cancels until Fn is up, then starts afresh",
         fn,
         {{flags(63, kFn), kPressed},
          {flags(kShiftKey, kFn | kShift), kCancelled},
          {flags(kShiftKey, kFn), std::nullopt},
          {flags(63, kFn), std::nullopt},
          {flags(63, kNone), std::nullopt},
          {flags(63, kFn), kPressed},
          {flags(63, kNone), kReleased}}},
        {"Fn then another key cancels",
         fn,
         {{flags(63, kFn), kPressed},
          {down(kSpace, kFn), kCancelled},
          {up(kSpace, kFn), std::nullopt},
          {flags(63, kNone), std::nullopt}}},
        {"Fn held: repeats and key-ups do nothing",
         fn,
         {{flags(63, kFn), kPressed},
          {down(kSpace, kFn, true), std::nullopt},
          {up(kSpace, kFn), std::nullopt},
          {flags(63, kNone), kReleased}}},
        {"Shift held, then Fn: no press",
         fn,
         {{flags(kShiftKey, kShift), std::nullopt},
          {flags(63, kFn | kShift), std::nullopt},
          {flags(63, kShift), std::nullopt}}},
        {"Chord, Option released first",
         chord,
         {{flags(kControlKey, kControl), std::nullopt},
          {flags(kOptionKey, kControl | kOption), std::nullopt},
          {down(kSpace, kControl | kOption), kPressed},
          {down(kSpace, kControl | kOption, true), std::nullopt},
          {flags(kOptionKey, kControl), kReleased},
          {up(kSpace, kControl), std::nullopt},
          {flags(kControlKey, kNone), std::nullopt}}},
        {"Chord, Control released first",
         chord,
         {{down(kSpace, kControl | kOption), kPressed},
          {flags(kControlKey, kOption), kReleased},
          {flags(kOptionKey, kNone), std::nullopt},
          {up(kSpace), std::nullopt}}},
        {"Chord, key released first",
         chord,
         {{down(kSpace, kControl | kOption), kPressed},
          {up(kSpace, kControl | kOption), kReleased},
          {flags(kOptionKey, kControl), std::nullopt}}},
        {"Chord with extra modifiers, which may come and go",
         chord,
         {{down(kSpace, kControl | kOption | kShift | kFn), kPressed},
          {flags(kShiftKey, kControl | kOption | kFn), std::nullopt},
          {flags(63, kControl | kOption), std::nullopt},
          {up(kSpace, kControl | kOption), kReleased}}},
        {"Chord key without all its modifiers, or first seen as a repeat",
         chord,
         {{down(kSpace), std::nullopt},
          {down(kSpace, kControl), std::nullopt},
          {down(kSpace, kControl | kOption, true), std::nullopt},
          {down(kLetterA, kControl | kOption), std::nullopt},
          {down(kSpace, kControl | kOption), kPressed}}},
    };
    for (const auto& [name, shortcut, steps] : cases) {
        ShortcutReducer reducer(shortcut);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(reducer.reduce(steps[i].sample), steps[i].expected) << name << ", step " << i;
        }
    }
}

TEST(FunctionKeyOwnershipReducer, OwnsOnlyALoneFnPressAndItsRelease) {
    struct Case {
        std::string name;
        std::vector<std::pair<KeyboardSample, bool>> steps;
    };
    const std::vector<Case> cases{
        {"lone press and release", {{flags(63, kFn), true}, {flags(63, kNone), true}, {flags(63, kNone), false}}},
        {"with Shift held", {{flags(63, kFn | kShift), false}, {flags(63, kShift), false}}},
        {"other keys never count",
         {{down(63, kFn), false}, {flags(kShiftKey, kFn | kShift), false}, {flags(kShiftKey, kNone), false}}},
        {"a modifier in between does not give the release back",
         {{flags(63, kFn), true}, {flags(kShiftKey, kFn | kShift), false}, {flags(63, kNone), true}}},
    };
    for (const auto& [name, steps] : cases) {
        FunctionKeyOwnershipReducer reducer;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(reducer.shouldSuppress(steps[i].first), steps[i].second) << name << ", step " << i;
        }
    }
    FunctionKeyOwnershipReducer reset;
    EXPECT_TRUE(reset.shouldSuppress(flags(63, kFn)));
    reset.reset();
    EXPECT_FALSE(reset.shouldSuppress(flags(63, kNone)));
}

TEST(EventTapLifecycleReducer, GenerationsAreExclusiveAndNeverReused) {
    EventTapLifecycleReducer lifecycle;
    EXPECT_EQ(lifecycle.stop(), std::nullopt);
    const auto first = lifecycle.beginStart();
    ASSERT_EQ(first, EventTapGeneration{1});
    EXPECT_EQ(lifecycle.beginStart(), std::nullopt);
    EXPECT_TRUE(lifecycle.accepts(*first));
    EXPECT_EQ(lifecycle.stop(), first);
    EXPECT_FALSE(lifecycle.accepts(*first));
    const auto second = lifecycle.beginStart();
    EXPECT_EQ(second, EventTapGeneration{2});
    EXPECT_FALSE(lifecycle.accepts(*first));
    EXPECT_TRUE(lifecycle.accepts(*second));
}

struct CaptureCase {
    std::string name;
    std::vector<Step<ShortcutCaptureAction>> steps;
};

const auto kCaptureCancelled = ShortcutCaptureAction::cancelled();
ShortcutCaptureAction completed(ShortcutChoice choice) { return ShortcutCaptureAction::completed(choice); }

TEST(ShortcutCaptureReducer, SequenceTable) {
    const std::vector<CaptureCase> cases{
        {"Escape cancels, and nothing follows",
         {{down(kEscapeKeyCode), kCaptureCancelled}, {down(kLetterK, kCommand | kShift), std::nullopt}}},
        {"Escape with modifiers cancels too", {{down(kEscapeKeyCode, kCommand | kShift), kCaptureCancelled}}},
        {"a repeated Escape does not cancel",
         {{down(kEscapeKeyCode, kNone, true), std::nullopt}, {down(kEscapeKeyCode), kCaptureCancelled}}},
        {"Command+Shift+K completes once",
         {{flags(kCommandKey, kCommand), std::nullopt},
          {flags(kShiftKey, kCommand | kShift), std::nullopt},
          {down(kLetterK, kCommand | kShift), completed(ShortcutChoice::chord(kLetterK, kCommand | kShift))},
          {up(kLetterK, kCommand | kShift), std::nullopt},
          {down(kLetterA, kControl), std::nullopt},
          {down(kEscapeKeyCode), std::nullopt}}},
        {"a plain letter, then the same with Control",
         {{down(kLetterA), std::nullopt},
          {down(kLetterA, kControl), completed(ShortcutChoice::chord(kLetterA, kControl))}}},
        {"a modifier key is never a chord's key", {{down(kShiftKey, kShift), std::nullopt}}},
        {"Fn alone", {{flags(63, kFn), std::nullopt}, {flags(63, kNone), completed(ShortcutChoice::function())}}},
        {"Fn with Shift in between, then Fn alone",
         {{flags(63, kFn), std::nullopt},
          {flags(kShiftKey, kFn | kShift), std::nullopt},
          {flags(kShiftKey, kFn), std::nullopt},
          {flags(63, kNone), std::nullopt},
          {flags(63, kFn), std::nullopt},
          {flags(63, kNone), completed(ShortcutChoice::function())}}},
        {"Shift held first, then Fn",
         {{flags(kShiftKey, kShift), std::nullopt},
          {flags(63, kShift | kFn), std::nullopt},
          {flags(kShiftKey, kFn), std::nullopt},
          {flags(63, kNone), std::nullopt}}},
        {"Fn held and a letter pressed",
         {{flags(63, kFn), std::nullopt}, {down(kLetterA, kFn), std::nullopt}, {flags(63, kNone), std::nullopt}}},
        {"Command+Fn+K",
         {{flags(kCommandKey, kCommand), std::nullopt},
          {flags(63, kCommand | kFn), std::nullopt},
          {down(kLetterK, kCommand | kFn), std::nullopt},
          {flags(63, kCommand), std::nullopt}}},
        // A shortcut's key code stays below 256; anything above would be a
        // result every reader of it refuses.
        {"a key beyond a shortcut's range is ignored and capturing goes on",
         {{down(300, kCommand), std::nullopt},
          {down(65535, kCommand | kShift), std::nullopt},
          {down(255, kCommand), completed(ShortcutChoice::chord(255, kCommand))}}},
    };
    for (const auto& [name, steps] : cases) {
        ShortcutCaptureReducer reducer;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(reducer.reduce(steps[i].sample), steps[i].expected) << name << ", step " << i;
        }
    }
}

TEST(ShortcutCaptureReducer, TapDisabledCancelsOnlyAnUnfinishedCapture) {
    ShortcutCaptureReducer capturing;
    EXPECT_EQ(capturing.reduce(flags(63, kFn)), std::nullopt);
    EXPECT_EQ(capturing.tapDisabled(), kCaptureCancelled);
    // One result per capture: the rest of that Fn press completes nothing.
    EXPECT_EQ(capturing.reduce(flags(63, kNone)), std::nullopt);
    EXPECT_EQ(capturing.reduce(down(kLetterK, kCommand)), std::nullopt);
    EXPECT_EQ(capturing.tapDisabled(), std::nullopt);

    ShortcutCaptureReducer completedCapture;
    EXPECT_EQ(completedCapture.reduce(down(kLetterK, kCommand)), completed(ShortcutChoice::chord(kLetterK, kCommand)));
    EXPECT_EQ(completedCapture.tapDisabled(), std::nullopt);
}

}  // namespace
}  // namespace murmo
