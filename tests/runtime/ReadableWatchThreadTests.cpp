#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <thread>

#include "RunLoopUntil.h"
#include "runtime/ManualLoop.h"
#include "runtime/ThreadLoop.h"
#include "runtime/glib/GLibLoop.h"

namespace murmo {
namespace {

using testing::runLoopUntil;

struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe() {
        for (int end : ends) {
            if (end >= 0) ::close(end);
        }
    }
    int readEnd() const { return ends[0]; }
    void write(std::string_view text) const {
        ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void closeWriteEnd() {
        ::close(ends[1]);
        ends[1] = -1;
    }
    int ends[2] = {-1, -1};
};

// Posts from another thread, so a run can end once everything sent before it
// was seen: a descriptor made readable before the post is looked at no later.
template <class Loop>
bool runPastWhatWasSent(Loop& loop) {
    bool reached = false;
    std::thread([&] { loop.post([&] { reached = true; }); }).join();
    return runLoopUntil(loop, [&] { return reached; });
}

template <class Loop>
class ReadableWatchThreadTest : public ::testing::Test {
protected:
    Loop loop;
    Pipe pipe;
};

using Loops = ::testing::Types<ManualLoop, ThreadLoop, GLibLoop>;
TYPED_TEST_SUITE(ReadableWatchThreadTest, Loops);

TYPED_TEST(ReadableWatchThreadTest, ReadsEachWriteOnTheLoopsThreadAndNothingOnceDropped) {
    auto& loop = this->loop;
    std::string received;
    int calls = 0;
    ReadableWatch watch = loop.watchReadable(this->pipe.readEnd(), [&] {
        EXPECT_TRUE(loop.isCurrentThread());
        ++calls;
        char buffer[16];
        const auto got = ::read(this->pipe.readEnd(), buffer, sizeof buffer);
        if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
    });
    std::thread writer([&] { this->pipe.write("ab"); });
    EXPECT_TRUE(runLoopUntil(loop, [&] { return received == "ab"; }));
    writer.join();
    const int callsWhileHeld = calls;

    watch = {};
    this->pipe.write("c");
    EXPECT_TRUE(runPastWhatWasSent(loop));
    EXPECT_EQ(calls, callsWhileHeld);
    EXPECT_EQ(received, "ab");
}

TYPED_TEST(ReadableWatchThreadTest, SeesTheEndOfTheStreamAndMayDropItselfThere) {
    auto& loop = this->loop;
    std::string received;
    int endings = 0;
    ReadableWatch watch;
    watch = loop.watchReadable(this->pipe.readEnd(), [&] {
        char buffer[16];
        const auto got = ::read(this->pipe.readEnd(), buffer, sizeof buffer);
        if (got > 0) {
            received.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            ++endings;
            watch.cancel();
        }
    });
    std::thread writer([&] {
        this->pipe.write("last words");
        this->pipe.closeWriteEnd();
    });
    EXPECT_TRUE(runLoopUntil(loop, [&] { return endings > 0; }));
    writer.join();
    EXPECT_TRUE(runPastWhatWasSent(loop));
    EXPECT_EQ(received, "last words");
    EXPECT_EQ(endings, 1) << "the end of a stream stays readable: only a dropped watch stops";
    EXPECT_FALSE(watch.armed());
}

}  // namespace
}  // namespace murmo
