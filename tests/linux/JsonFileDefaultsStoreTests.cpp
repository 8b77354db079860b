#include "platform/linux/JsonFileDefaultsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/sim/RecordingLogSink.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::TemporaryDirectory;

std::string contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class JsonFileDefaultsStoreTest : public ::testing::Test {
protected:
    TemporaryDirectory home;
    fs::path config = home.path() / "config";
    fs::path file = config / "murmo" / "defaults.json";
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();

    JsonFileDefaultsStore open() {
        return JsonFileDefaultsStore({{"XDG_CONFIG_HOME", config.string()}, {"HOME", home.path().string()}},
                                     Logger("defaults", logs));
    }
    void writeDefaults(std::string_view text) { home.writeFile("config/murmo/defaults.json", text); }
};

TEST_F(JsonFileDefaultsStoreTest, ValuesSurviveANewStoreInAPrivateFolder) {
    {
        auto store = open();
        store.set("Murmo.UI.language", "tr");
        store.set("Murmo.Native.feedbackSounds", false);
        store.set("gone", 1);
        store.remove("gone");
    }
    auto store = open();
    EXPECT_EQ(store.value("Murmo.UI.language"), json("tr"));
    EXPECT_EQ(store.value("Murmo.Native.feedbackSounds"), json(false));
    EXPECT_FALSE(store.value("gone"));
    struct stat folder {};
    ASSERT_EQ(::stat((config / "murmo").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(JsonFileDefaultsStoreTest, WhereTheConfigFolderIs) {
    for (const auto& xdg : {std::string("relative/config"), std::string()}) {
        JsonFileDefaultsStore store(xdg.empty()
                                        ? EnvironmentMap{{"HOME", home.path().string()}}
                                        : EnvironmentMap{{"HOME", home.path().string()}, {"XDG_CONFIG_HOME", xdg}},
                                    Logger("defaults", logs));
        EXPECT_EQ(store.path(), home.path() / ".config/murmo/defaults.json") << xdg;
    }
}

TEST_F(JsonFileDefaultsStoreTest, AnUnparsableFileIsMovedAsideByteForByteNeverOverAnEarlierOne) {
    writeDefaults("{not json");
    {
        auto store = open();
        EXPECT_FALSE(store.value("anything"));
        store.set("a", 1);
    }
    EXPECT_EQ(contents(config / "murmo/defaults.json.corrupt"), "{not json");
    writeDefaults("[1, 2]");  // valid JSON, but no object
    auto store = open();
    EXPECT_FALSE(store.value("a"));
    EXPECT_EQ(contents(config / "murmo/defaults.json.corrupt"), "{not json");
    EXPECT_EQ(contents(config / "murmo/defaults.json.corrupt-2"), "[1, 2]");
    EXPECT_TRUE(logs->contains("moved aside"));
}

TEST_F(JsonFileDefaultsStoreTest, AFileThatCannotBeReadIsNeverMovedOrReplaced) {
    // A folder where the file should be, and a file over the size bound.
    fs::create_directories(file / "inside");
    {
        auto store = open();
        store.set("a", 1);
        EXPECT_EQ(store.value("a"), json(1)) << "kept for this run";
    }
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    fs::remove_all(file);

    const std::string huge(JsonFileDefaultsStore::kMaximumFileBytes + 1, ' ');
    writeDefaults(huge);
    open().set("a", 1);
    EXPECT_EQ(fs::file_size(file), huge.size());
    EXPECT_FALSE(fs::exists(config / "murmo/defaults.json.corrupt"));
}

TEST_F(JsonFileDefaultsStoreTest, AFailedWriteKeepsTheOldFileAndTheValueAndTheNextWriteStoresBoth) {
    writeDefaults(R"({"a":1})");
    auto store = open();
    // A file where the folder should be: nothing can be written.
    fs::rename(config / "murmo", config / "murmo.saved");
    home.writeFile("config/murmo", "in the way");
    store.set("b", 2);
    EXPECT_EQ(store.value("b"), json(2));
    EXPECT_TRUE(logs->contains("Defaults not written"));

    fs::remove(config / "murmo");
    fs::rename(config / "murmo.saved", config / "murmo");
    EXPECT_EQ(contents(file), R"({"a":1})");
    store.set("c", 3);
    EXPECT_EQ(json::parse(contents(file)), (json{{"a", 1}, {"b", 2}, {"c", 3}}));
}

TEST_F(JsonFileDefaultsStoreTest, AValueJsonCannotHoldIsRefusedAndLaterWritesStillWork) {
    auto store = open();
    store.set("path", std::string("/home/\xFF\xFE/file"));
    EXPECT_FALSE(store.value("path"));
    EXPECT_TRUE(logs->contains("refused"));
    store.set("a", 1);
    EXPECT_EQ(json::parse(contents(file)), (json{{"a", 1}}));
}

}  // namespace
}  // namespace murmo
