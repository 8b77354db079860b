#include <gtest/gtest.h>

#include <fstream>

#include "input/SoundFeedbackController.h"
#include "platform/sim/SimCuePlayer.h"
#include "runtime/ManualLoop.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Outcome = DictationFeedbackTerminalOutcome;
using Sound = DictationFeedbackSound;
using Action = SimCuePlayerCall::Action;
namespace fs = std::filesystem;

// MARK: gate

TEST(DictationFeedbackSoundGateTest, EachOperationPlaysItsStartOnceAndItsEndOnce) {
    struct Step {
        enum class Kind { begin, start, finish } kind;
        std::string operation;
        Outcome outcome = Outcome::inserted;
        std::optional<Sound> expected = std::nullopt;
    };
    using K = Step::Kind;
    const std::vector<std::pair<std::string, std::vector<Step>>> scripts = {
        {"start twice", {{K::begin, "a"}, {K::start, "a", {}, Sound::start}, {K::start, "a", {}, std::nullopt}}},
        {"start after the end",
         {{K::begin, "a"}, {K::finish, "a", Outcome::error, Sound::error}, {K::start, "a", {}, std::nullopt}}},
        {"cancelled ends silently and for good",
         {{K::begin, "a"},
          {K::start, "a", {}, Sound::start},
          {K::finish, "a", Outcome::cancelled, std::nullopt},
          {K::finish, "a", Outcome::error, std::nullopt}}},
        {"ends without a beginning",
         {{K::finish, "a", Outcome::generatedWithoutInjection, Sound::success},
          {K::finish, "a", Outcome::inserted, std::nullopt},
          {K::start, "a", {}, std::nullopt}}},
        {"start of an unknown operation", {{K::start, "a", {}, std::nullopt}}},
        {"empty identifier",
         {{K::begin, ""}, {K::start, "", {}, std::nullopt}, {K::finish, "", Outcome::error, std::nullopt}}},
    };
    for (const auto& [name, steps] : scripts) {
        DictationFeedbackSoundGate gate(64);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const auto& step = steps[i];
            std::optional<Sound> played;
            switch (step.kind) {
                case K::begin: gate.begin(step.operation); continue;
                case K::start: played = gate.startAccepted(step.operation); break;
                case K::finish: played = gate.finish(step.operation, step.outcome); break;
            }
            EXPECT_EQ(played, step.expected) << name << ", step " << i;
        }
    }
}

TEST(DictationFeedbackSoundGateTest, TheSixtyFifthOperationEvictsTheOldest) {
    DictationFeedbackSoundGate gate(64);
    for (int i = 0; i < 65; ++i) gate.begin("op-" + std::to_string(i));
    EXPECT_EQ(gate.trackedOperationCount(), 64u);
    // Forgotten, so its start no longer plays...
    EXPECT_EQ(gate.startAccepted("op-0"), std::nullopt);
    EXPECT_EQ(gate.startAccepted("op-1"), Sound::start);
    // ...and its end counts as new (and evicts the next oldest).
    EXPECT_EQ(gate.finish("op-0", Outcome::inserted), Sound::success);
    EXPECT_EQ(gate.trackedOperationCount(), 64u);
    EXPECT_EQ(gate.finish("op-1", Outcome::error), Sound::error);

    DictationFeedbackSoundGate tiny(0);
    EXPECT_EQ(tiny.capacity(), 1);
}

// MARK: controller

// A bundle over a folder laid out as "<root>/Contents/Resources".
class FolderBundle final : public Bundle {
public:
    FolderBundle(fs::path root, bool isMain) : root_(std::move(root)), isMain_(isMain) {}

    fs::path bundleURL() const override { return root_; }
    std::optional<fs::path> executableURL() const override { return std::nullopt; }
    std::optional<fs::path> resourceURL() const override { return root_ / "Contents" / "Resources"; }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    std::optional<nlohmann::json> infoDictionary() const override { return std::nullopt; }
    std::optional<fs::path> urlForResource(std::string_view name, std::string_view extension,
                                           std::string_view subdirectory) const override {
        auto url = *resourceURL() / subdirectory / (std::string(name) + "." + std::string(extension));
        if (!fs::exists(url)) return std::nullopt;
        return url;
    }
    bool isMainBundle() const override { return isMain_; }

private:
    fs::path root_;
    bool isMain_;
};

class SoundFeedbackControllerTest : public ::testing::Test {
protected:
    SoundFeedbackControllerTest() {
        for (const char* name : {"dictation-start", "dictation-success", "dictation-error"}) {
            installSound(appRoot(), name);
        }
    }

    fs::path appRoot() const { return root / "app"; }
    fs::path soundPath(const fs::path& bundleRoot, std::string_view name) const {
        return bundleRoot / "Contents" / "Resources" / "Sounds" / (std::string(name) + ".wav");
    }
    void installSound(const fs::path& bundleRoot, std::string_view name) {
        fs::create_directories(soundPath(bundleRoot, name).parent_path());
        fs::copy_file(fs::path(MURMO_SOURCE_DIR) / "resources" / "Sounds" / (std::string(name) + ".wav"),
                      soundPath(bundleRoot, name), fs::copy_options::overwrite_existing);
    }
    void writeBytes(const fs::path& file, std::size_t count) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string(count, 'x');
    }

    std::unique_ptr<SoundFeedbackController> makeController() {
        auto main = std::make_shared<FolderBundle>(appRoot(), true);
        return makeController(main);
    }
    std::unique_ptr<SoundFeedbackController> makeController(std::shared_ptr<const Bundle> bundle) {
        auto controller = std::make_unique<SoundFeedbackController>(SoundFeedbackControllerDependencies{
            std::move(bundle), std::make_shared<FolderBundle>(appRoot(), true), players, loop.clock()});
        players->clearCalls();
        return controller;
    }

    std::vector<std::string> playedFiles() const {
        std::vector<std::string> files;
        for (const auto& call : players->calls()) {
            if (call.action == Action::play) files.push_back(call.file);
        }
        return files;
    }

    testing::TemporaryDirectory folder;
    const fs::path root = folder.path();
    ManualLoop loop;
    std::shared_ptr<SimCuePlayerFactory> players = std::make_shared<SimCuePlayerFactory>();
};

TEST_F(SoundFeedbackControllerTest, LoadsAndPreparesTheThreeShippedCuesWithTheirVolumes) {
    auto controller = std::make_unique<SoundFeedbackController>(SoundFeedbackControllerDependencies{
        std::make_shared<FolderBundle>(appRoot(), true), nullptr, players, loop.clock()});
    const std::vector<SimCuePlayerCall> expected = {
        {"dictation-start.wav", Action::setVolume, 0.42f},   {"dictation-start.wav", Action::prepareToPlay, 0},
        {"dictation-success.wav", Action::setVolume, 0.48f}, {"dictation-success.wav", Action::prepareToPlay, 0},
        {"dictation-error.wav", Action::setVolume, 0.44f},   {"dictation-error.wav", Action::prepareToPlay, 0},
    };
    EXPECT_EQ(players->calls(), expected);
}

TEST_F(SoundFeedbackControllerTest, ShortOrUndecodableFilesFallBackToTheNextLocation) {
    // A helper bundle whose own files are unusable: the start cue is 44 bytes,
    // the success cue cannot be decoded, the error cue is missing.
    const fs::path other = root / "other";
    writeBytes(soundPath(other, "dictation-start"), 44);
    installSound(other, "dictation-success");
    players->refuse(soundPath(other, "dictation-success"));
    auto controller = makeController(std::make_shared<FolderBundle>(other, false));

    const std::vector<fs::path> opened = players->openedFiles();
    const std::vector<fs::path> expected = {
        soundPath(appRoot(), "dictation-start"),
        soundPath(other, "dictation-success"),  // found by the bundle's lookup
        soundPath(other, "dictation-success"),  // and again by its resource folder
        soundPath(appRoot(), "dictation-success"),
        soundPath(appRoot(), "dictation-error"),
    };
    EXPECT_EQ(opened, expected);
}

TEST_F(SoundFeedbackControllerTest, AMissingCueStaysSilentWhileTheOthersPlay) {
    fs::remove(soundPath(appRoot(), "dictation-start"));
    auto controller = makeController();
    controller->beginOperation("a");
    controller->startAccepted("a");
    controller->finish("a", Outcome::inserted);
    EXPECT_EQ(playedFiles(), std::vector<std::string>{"dictation-success.wav"});
}

TEST_F(SoundFeedbackControllerTest, ANewCueCutsThePlayingOneAndReplaysFromTheStart) {
    auto controller = makeController();
    controller->beginOperation("a");
    controller->startAccepted("a");
    controller->finish("a", Outcome::inserted);
    const std::vector<SimCuePlayerCall> expected = {
        {"dictation-start.wav", Action::stop},
        {"dictation-start.wav", Action::setCurrentTime, 0},
        {"dictation-start.wav", Action::play},
        {"dictation-start.wav", Action::stop},
        {"dictation-start.wav", Action::setCurrentTime, 0},
        {"dictation-success.wav", Action::stop},
        {"dictation-success.wav", Action::setCurrentTime, 0},
        {"dictation-success.wav", Action::play},
    };
    EXPECT_EQ(players->calls(), expected);

    // A cue that already finished is left alone; the same cue restarts.
    players->finishPlaying();
    players->clearCalls();
    controller->finish("b", Outcome::inserted);
    const std::vector<SimCuePlayerCall> replay = {
        {"dictation-success.wav", Action::stop},
        {"dictation-success.wav", Action::setCurrentTime, 0},
        {"dictation-success.wav", Action::play},
    };
    EXPECT_EQ(players->calls(), replay);
}

TEST_F(SoundFeedbackControllerTest, DisabledCuesStaySilentButTheGateStillRecords) {
    auto controller = makeController();
    controller->beginOperation("a");
    controller->startAccepted("a");
    players->clearCalls();
    controller->setEnabled(false);
    EXPECT_FALSE(controller->isEnabled());
    EXPECT_EQ(players->calls().size(), 6u);  // every player stopped and rewound

    controller->beginOperation("b");
    controller->startAccepted("b");
    controller->finish("b", Outcome::error);
    controller->setEnabled(true);
    controller->startAccepted("b");
    controller->finish("b", Outcome::error);
    EXPECT_TRUE(playedFiles().empty());
}

TEST_F(SoundFeedbackControllerTest, ErrorsOutsideOperationsPlayAtMostOncePerEightTenthsOfASecond) {
    auto controller = makeController();
    controller->playGeneralError();
    loop.advance(500ms);
    controller->playGeneralError();
    loop.advance(300ms);
    controller->playGeneralError();
    EXPECT_EQ(playedFiles(), (std::vector<std::string>{"dictation-error.wav", "dictation-error.wav"}));

    // The time is kept while disabled, so enabling right after plays nothing.
    players->clearCalls();
    loop.advance(1s);
    controller->setEnabled(false);
    controller->playGeneralError();
    controller->setEnabled(true);
    loop.advance(500ms);
    controller->playGeneralError();
    EXPECT_TRUE(playedFiles().empty());
}

TEST_F(SoundFeedbackControllerTest, ShutdownIsFinal) {
    auto controller = makeController();
    controller->shutdown();
    controller->setEnabled(true);
    controller->finish("a", Outcome::error);
    controller->playGeneralError();
    EXPECT_TRUE(playedFiles().empty());
}

}  // namespace
}  // namespace murmo
