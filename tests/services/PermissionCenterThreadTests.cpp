#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"
#include "runtime/ThreadLoop.h"
#include "services/PermissionCenter.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

TEST(PermissionCenterThreadTest, AMicrophoneAnswerFromAnotherThreadCompletesOnceOnTheMainLoop) {
    ManualLoop simulationTime;
    SimDesktop desktop{simulationTime};
    auto ports = desktop.ports();
    desktop.microphonePermission().setStatus(MicrophoneAuthorizationStatus::notDetermined);
    desktop.microphonePermission().setRequestAnswer(SimMicrophonePermission::RequestAnswer::held, false);

    ThreadLoop loop;
    std::thread system;
    int completions = 0;
    bool onLoopThread = false;
    MicrophoneAuthorizationStatus answered{};
    auto center = PermissionCenter::create({.loop = loop,
                                            .microphone = *ports.microphonePermission,
                                            .accessibility = ports.accessibility,
                                            .keyTap = *ports.keyTap,
                                            .eventPoster = ports.eventPoster,
                                            .workspace = ports.workspace});
    loop.post([&] {
        center->request(NativePermissionKind::microphone, [&](PermissionSnapshot snapshot) {
            answered = snapshot.microphone;
            onLoopThread = loop.isCurrentThread();
            ++completions;
            // A later turn shows whether anything completes twice.
            loop.after(50ms, [&] { loop.quit(); }).detach();
        });
        // The system answers on a thread of its own.
        system = std::thread([&] { desktop.microphonePermission().answerHeldRequest(); });
    });
    auto giveUp = loop.after(10s, [&] { loop.quit(); });
    loop.run();
    system.join();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(onLoopThread);
    EXPECT_EQ(answered, MicrophoneAuthorizationStatus::denied);
}

}  // namespace
}  // namespace murmo
