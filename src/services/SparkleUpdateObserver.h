#pragma once

// The updater's delegate: turns each callback that matters into one change of
// the update state it holds. Main thread.

#include "platform/Updater.h"
#include "services/ApplicationUpdateState.h"

namespace murmo {

class SparkleUpdateObserver final : public UpdaterDelegate {
public:
    explicit SparkleUpdateObserver(IdGenerator& ids) : ids_(ids), state_(ApplicationUpdateState::initial(ids)) {}

    const ApplicationUpdateState& state() const { return state_; }

    // Never refuses; each check starts a new cycle.
    bool mayPerformUpdateCheck() override;
    void didFindValidUpdate(const AppcastItem& item) override { go(Stage::available, item); }
    void didNotFindUpdate(const UpdaterError& error) override { state_.fail(error, ids_); }
    void willDownloadUpdate(const AppcastItem& item) override { go(Stage::downloading, item); }
    void didDownloadUpdate(const AppcastItem& item) override { go(Stage::preparing, item); }
    void willExtractUpdate(const AppcastItem& item) override { go(Stage::preparing, item); }
    void failedToDownloadUpdate(const AppcastItem&, const UpdaterError& error) override { state_.fail(error, ids_); }
    void userDidCancelDownload() override { go(Stage::cancelled); }
    void willInstallUpdate(const AppcastItem& item) override { go(Stage::installing, item); }
    void willRelaunchApplication() override { go(Stage::relaunching); }
    // Answers false: the immediate installation is neither called nor kept,
    // and the updater installs on quit itself.
    bool willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()> immediateInstallation) override;
    void didAbort(const UpdaterError& error) override { state_.fail(error, ids_); }
    void didFinishUpdateCycle(const std::optional<UpdaterError>& error) override { state_.finish(error, ids_); }
    void userDidMakeChoice(UserUpdateChoice choice, const AppcastItem& item, UserUpdateStage stage) override;

    // What the user driver reports on its way through.
    void go(ApplicationUpdateState::Stage stage, const std::optional<AppcastItem>& item = std::nullopt) {
        state_.transition(stage, item, ids_);
    }
    // Ready to install, on quit.
    void readyOnQuit(const std::optional<AppcastItem>& item);
    void expected(std::uint64_t length) { state_.expectBytes(length); }
    void received(std::uint64_t length) { state_.receiveBytes(length); }

private:
    using Stage = ApplicationUpdateState::Stage;

    IdGenerator& ids_;
    ApplicationUpdateState state_;
};

}  // namespace murmo
