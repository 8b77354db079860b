#include "engine/MurmoLaunchConfiguration.h"
#include "runtime/SystemIdGenerator.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmo {
namespace {

// The reserved port must be free again: the engine binds it right after.
bool canBindLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 1) == 0;
    ::close(fd);
    return bound;
}

TEST(LoopbackPortReservationTest, ReservesAPortThatIsFreeAgainAfterwards) {
    auto port = reserveLoopbackPort();
    ASSERT_TRUE(port) << port.error().message;
    EXPECT_NE(*port, 0);
    EXPECT_TRUE(canBindLoopback(*port));
}

TEST(LoopbackPortReservationTest, IsolatedManagedUsesAFreshLoopbackPortEachTime) {
    SystemIdGenerator ids;
    auto first = MurmoLaunchConfiguration::isolatedManaged({ids});
    auto second = MurmoLaunchConfiguration::isolatedManaged({ids});
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_TRUE(first->coreURL.starts_with("http://127.0.0.1:")) << first->coreURL;
    EXPECT_EQ(first->coreURL, "http://127.0.0.1:" + std::to_string(first->corePort()));
    EXPECT_NE(first->desktopToken, second->desktopToken);
}

}  // namespace
}  // namespace murmo
