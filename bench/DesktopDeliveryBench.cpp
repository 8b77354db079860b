// How long dictated text takes from the final transcript to being readable in
// a real GTK entry through our delivery (the focus reservation, the guarded
// clipboard, the posted paste chord, the target's paste), beside a bare
// AT-SPI insert of the same text into the same entry, read back the same way.
// Prints the ratio of the two.
//
// Needs the tests' private desktop (an X server, a window manager, a session
// bus with the accessibility bus): run it as
//   tests/support/desktop-session.sh build/dev/bench/bench_DesktopDeliveryBench

#include <benchmark/benchmark.h>

#include <atspi/atspi.h>
#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "delivery/FocusTextInjector.h"
#include "platform/linux/LinuxDesktop.h"
#include "runtime/glib/GLibLoop.h"
#include "support/GtkTestAppProcess.h"
#include "support/LinuxDeliveryStack.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;
using murmo::testing::GtkTestAppProcess;
using murmo::testing::GtkTestWidget;
using SteadyClock = std::chrono::steady_clock;

constexpr char kDictated[] = "Grüße 👋 çok iyi, the numbers are in";
constexpr auto kPatience = std::chrono::seconds(10);

void pumpUntil(const std::function<bool()>& done) {
    const auto deadline = SteadyClock::now() + kPatience;
    while (!done()) {
        if (SteadyClock::now() > deadline) throw std::runtime_error("the text never became readable");
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
}

// The GTK application with its entry focused, and our delivery on the loop.
struct World {
    GLibLoop loop;
    std::unique_ptr<GtkTestAppProcess> app = launchApplication();
    testing::LinuxDeliveryStack stack{loop};

    static std::unique_ptr<GtkTestAppProcess> launchApplication() {
        auto launched = GtkTestAppProcess::launch(MURMO_GTK_TEST_APP_PATH);
        if (!launched) throw std::runtime_error(launched.error().message);
        if (!(*launched)->focus(GtkTestWidget::entry)) throw std::runtime_error("the entry took no focus");
        return std::move(*launched);
    }

    void emptyEntry() {
        if (!app->set(GtkTestWidget::entry, "") || !app->focus(GtkTestWidget::entry)) {
            throw std::runtime_error("the entry could not be emptied");
        }
    }

    // The entry's text as the accessibility bus reads it.
    std::optional<std::string> entryText(const AXElement& entry) {
        auto value = stack.ports.accessibility.copyAttributeValue(entry, axattr::value, 1.0f);
        if (value.error != axerror::success || !value.value) return std::nullopt;
        const auto* text = std::get_if<std::string>(&*value.value);
        return text ? std::optional(*text) : std::nullopt;
    }
};

void BM_FinalTextToReadableThroughDelivery(benchmark::State& state) {
    World world;
    for (auto _ : state) {
        world.emptyEntry();
        // The previous paste gives the user's clipboard back before a new
        // one may start.
        pumpUntil([&] { return !world.stack.injector->isDeliveryActive(); });
        std::optional<FocusReservation> reservation;
        pumpUntil([&] {
            reservation = world.stack.injector->reserve("bench");
            return reservation->kind() == FocusReservation::Kind::ready;
        });
        const auto target = *reservation->snapshot();
        const auto started = SteadyClock::now();
        world.stack.injector->deliver(
            kDictated, target, [](MonotonicTime) {}, [](DeliveryResult) {});
        pumpUntil([&] { return world.entryText(target.element) == kDictated; });
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - started).count());
    }
}
BENCHMARK(BM_FinalTextToReadableThroughDelivery)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// The focused editable text under `node`, with a reference of its own.
AtspiAccessible* focusedEditableText(AtspiAccessible* node) {
    if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_TEXT) {
        AtspiStateSet* states = atspi_accessible_get_state_set(node);
        const bool focused = atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
        g_object_unref(states);
        if (focused) return static_cast<AtspiAccessible*>(g_object_ref(node));
    }
    const int children = atspi_accessible_get_child_count(node, nullptr);
    for (int index = 0; index < children; ++index) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, index, nullptr);
        if (!child) continue;
        AtspiAccessible* found = focusedEditableText(child);
        g_object_unref(child);
        if (found) return found;
    }
    return nullptr;
}

// The focused editable text of the application with this pid, if any.
AtspiAccessible* focusedEditableTextOf(pid_t pid) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const int applications = atspi_accessible_get_child_count(desktop, nullptr);
    for (int index = 0; index < applications && !found; ++index) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, index, nullptr);
        if (!application) continue;
        if (atspi_accessible_get_process_id(application, nullptr) == static_cast<guint>(pid)) {
            found = focusedEditableText(application);
        }
        g_object_unref(application);
    }
    g_object_unref(desktop);
    return found;
}

// libatspi itself: the focused entry found once, then a bare insert and a
// read-back of the whole text per iteration.
void BM_FinalTextToReadableThroughBareInsert(benchmark::State& state) {
    World world;
    atspi_init();
    AtspiAccessible* entry = nullptr;
    pumpUntil([&] { return (entry = focusedEditableTextOf(world.app->pid())) != nullptr; });
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(entry);
    AtspiText* text = atspi_accessible_get_text_iface(entry);
    const auto length = static_cast<gint>(std::strlen(kDictated));
    for (auto _ : state) {
        atspi_editable_text_set_text_contents(editable, "", nullptr);
        const auto started = SteadyClock::now();
        atspi_editable_text_insert_text(editable, 0, kDictated, length, nullptr);
        pumpUntil([&] {
            const gint characters = atspi_text_get_character_count(text, nullptr);
            gchar* read = atspi_text_get_text(text, 0, characters, nullptr);
            const bool done = read && std::strcmp(read, kDictated) == 0;
            g_free(read);
            return done;
        });
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - started).count());
    }
    g_object_unref(text);
    g_object_unref(editable);
    g_object_unref(entry);
}
BENCHMARK(BM_FinalTextToReadableThroughBareInsert)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio =
                reporter.ratio("BM_FinalTextToReadableThroughDelivery", "BM_FinalTextToReadableThroughBareInsert")) {
            std::printf("final text to readable in the entry, our delivery / a bare AT-SPI insert: %.2fx\n", *ratio);
        }
    });
}
