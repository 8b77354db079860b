#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Run {
    int status = -1;
    std::string standardError;
};

Run runApp(const std::string& arguments) {
    const auto errorFile = std::filesystem::temp_directory_path() / ("murmo-entry-" + std::to_string(::getpid()));
    const auto command =
        std::string("'") + MURMO_APP_PATH + "' " + arguments + " 2>'" + errorFile.string() + "' >/dev/null";
    const int raw = std::system(command.c_str());
    std::ifstream input(errorFile, std::ios::binary);
    std::stringstream text;
    text << input.rdbuf();
    std::filesystem::remove(errorFile);
    return Run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
}

TEST(ProgramEntryTest, DeliverySmokeAnywhereInTheArgumentsEndsWith69AndTheNotice) {
    for (const char* arguments : {"--delivery-smoke", "--no-launch-core --delivery-smoke"}) {
        const auto run = runApp(arguments);
        EXPECT_EQ(run.status, 69) << arguments;
        EXPECT_EQ(run.standardError, "Dorvex delivery smoke is disabled in this build.\n") << arguments;
    }
}

}  // namespace
