#include "app/ProgramEntry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/sim/SequentialIdGenerator.h"

namespace murmo {
namespace {

// Everything written to a pipe standing for standard error.
class CapturedErrors {
public:
    CapturedErrors() { EXPECT_EQ(::pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0); }
    ~CapturedErrors() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    int writeEnd() const { return fds_[1]; }
    std::string text() const {
        std::string text;
        char buffer[256];
        for (ssize_t got; (got = ::read(fds_[0], buffer, sizeof buffer)) > 0;) text.append(buffer, got);
        return text;
    }

private:
    int fds_[2] = {-1, -1};
};

TEST(ProgramEntryTest, WithoutALoopbackPortTheProgramSaysSoInOneLineAndExitsWith78) {
    CapturedErrors errors;
    ProgramEntryServices services{
        .errorOutput = errors.writeEnd(), .reservePort = [] {
            return Result<std::uint16_t>(std::unexpected(Error("POSIX", EADDRINUSE, "Address already in use", "bind")));
        }};
    std::vector<char*> arguments{const_cast<char*>("murmo")};

    EXPECT_EQ(runMurmo(arguments, services), kConfigurationFailureStatus);
    const auto text = errors.text();
    EXPECT_EQ(text, "murmo: no loopback port could be reserved for the Dorvex core; not starting.\n");
}

TEST(ProgramEntryTest, TheDeliverySmokeArgumentWinsWhereverItStands) {
    for (const std::vector<const char*>& arguments : {std::vector<const char*>{"murmo", "--delivery-smoke"},
                                                      {"--delivery-smoke"},
                                                      {"murmo", "x", "--delivery-smoke"}}) {
        CapturedErrors errors;
        std::vector<char*> argv;
        for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
        EXPECT_EQ(deliverySmokeExit(argv, ProgramEntryServices{.errorOutput = errors.writeEnd()}),
                  kDeliverySmokeStatus);
        EXPECT_EQ(errors.text(), kDeliverySmokeNotice);
    }
    std::vector<char*> plain{const_cast<char*>("murmo"), const_cast<char*>("--delivery-smoke=1")};
    EXPECT_EQ(deliverySmokeExit(plain, {}), std::nullopt);
}

TEST(ProgramEntryTest, ALaunchConfigurationIsAManagedEngineOnTheReservedPort) {
    SequentialIdGenerator ids;
    ProgramEntryServices services{.reservePort = [] { return Result<std::uint16_t>(45123); }};
    const auto configuration = makeLaunchConfiguration(ids, services);
    ASSERT_TRUE(configuration.has_value());
    EXPECT_EQ(configuration->coreURL, "http://127.0.0.1:45123");
    EXPECT_TRUE(configuration->launchCore);
    EXPECT_FALSE(configuration->repoRoot.has_value());
    EXPECT_EQ(configuration->desktopToken.size(), 43u);
}

}  // namespace
}  // namespace murmo
