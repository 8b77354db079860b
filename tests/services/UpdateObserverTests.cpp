#include <gtest/gtest.h>

#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimUpdater.h"
#include "services/DorvexUpdateUserDriver.h"
#include "services/SparkleUpdateObserver.h"

namespace murmo {
namespace {

using Stage = ApplicationUpdateState::Stage;

const AppcastItem kItem{"2.1.0", "210"};

class UpdateObserverTest : public ::testing::Test {
protected:
    SequentialIdGenerator ids;
    SparkleUpdateObserver observer{ids};
    std::shared_ptr<SimStandardUserDriver> standard = std::make_shared<SimStandardUserDriver>();
    DorvexUpdateUserDriver driver{standard, observer};

    Stage stage() const { return observer.state().stage; }
};

TEST_F(UpdateObserverTest, AWholeCycleFromCheckToInstallOnQuit) {
    ASSERT_TRUE(observer.mayPerformUpdateCheck());
    const auto cycle = observer.state().eventID;
    observer.didFindValidUpdate(kItem);
    driver.showUpdateFound(kItem, UserUpdateStage::notDownloaded, [](UserUpdateChoice) {});
    EXPECT_EQ(stage(), Stage::available);
    EXPECT_EQ(observer.state().eventID, cycle);

    observer.willDownloadUpdate(kItem);
    driver.showDownloadInitiated([] {});
    driver.showDownloadDidReceiveExpectedContentLength(1000);
    driver.showDownloadDidReceiveDataOfLength(250);
    EXPECT_EQ(observer.state().payload()["download_progress"], 0.25);
    observer.didDownloadUpdate(kItem);
    observer.willExtractUpdate(kItem);
    driver.showDownloadDidStartExtractingUpdate();
    EXPECT_EQ(stage(), Stage::preparing);

    bool immediateRan = false;
    EXPECT_FALSE(observer.willInstallUpdateOnQuit(kItem, [&] { immediateRan = true; }));
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_TRUE(observer.state().installOnQuit);
    EXPECT_EQ(observer.state().version, "2.1.0");
    observer.didFinishUpdateCycle(std::nullopt);
    EXPECT_EQ(stage(), Stage::ready) << "a cycle ending in ready keeps it";
    EXPECT_FALSE(immediateRan);
    EXPECT_EQ(observer.state().eventID, cycle);
    EXPECT_EQ(standard->calls(),
              (std::vector<std::string>{"showUpdateFound", "showDownloadInitiated",
                                        "showDownloadDidReceiveExpectedContentLength",
                                        "showDownloadDidReceiveDataOfLength", "showDownloadDidStartExtractingUpdate"}));
}

TEST_F(UpdateObserverTest, TheImmediateInstallationBlockIsNeitherRunNorKept) {
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> watch = token;
    observer.willInstallUpdateOnQuit(kItem, [token = std::move(token)] {});
    EXPECT_TRUE(watch.expired()) << "released when the callback returned";
}

TEST_F(UpdateObserverTest, TheUsersChoiceTable) {
    const struct {
        UserUpdateChoice choice;
        UserUpdateStage shown;
        Stage stage;
        bool installOnQuit;
    } rows[] = {
        {UserUpdateChoice::dismiss, UserUpdateStage::installing, Stage::ready, true},
        {UserUpdateChoice::dismiss, UserUpdateStage::downloaded, Stage::downloaded, false},
        {UserUpdateChoice::dismiss, UserUpdateStage::notDownloaded, Stage::idle, false},
        {UserUpdateChoice::skip, UserUpdateStage::downloaded, Stage::idle, false},
        {UserUpdateChoice::install, UserUpdateStage::downloaded, Stage::available, false},
    };
    for (const auto& row : rows) {
        observer.didFindValidUpdate(kItem);
        observer.userDidMakeChoice(row.choice, kItem, row.shown);
        EXPECT_EQ(stage(), row.stage) << static_cast<int>(row.choice) << "/" << static_cast<int>(row.shown);
        EXPECT_EQ(observer.state().installOnQuit, row.installOnQuit);
    }
    observer.didFindValidUpdate(kItem);
    observer.userDidMakeChoice(UserUpdateChoice::dismiss, kItem, UserUpdateStage::notDownloaded);
    EXPECT_FALSE(observer.state().version) << "dismissing an update not downloaded clears its version";
}

TEST_F(UpdateObserverTest, CancellingAndSkippingRecordTheStateBeforeTheStandardDriverHearsIt) {
    std::vector<Stage> seenByBlock;
    driver.showUserInitiatedUpdateCheck([&] { seenByBlock.push_back(stage()); });
    ASSERT_TRUE(standard->cancel());
    EXPECT_EQ(seenByBlock, std::vector{Stage::cancelled});

    observer.willDownloadUpdate(kItem);
    driver.showReadyToInstallAndRelaunch([&](UserUpdateChoice) { seenByBlock.push_back(stage()); });
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_TRUE(observer.state().installOnQuit);
    EXPECT_EQ(observer.state().version, "2.1.0") << "ready without an item keeps the versions";
    ASSERT_TRUE(standard->reply(UserUpdateChoice::skip));
    EXPECT_EQ(seenByBlock.back(), Stage::cancelled);

    driver.showReadyToInstallAndRelaunch([&](UserUpdateChoice) { seenByBlock.push_back(stage()); });
    ASSERT_TRUE(standard->reply(UserUpdateChoice::install));
    EXPECT_EQ(seenByBlock.back(), Stage::ready) << "install waits for the installation callbacks";
}

TEST_F(UpdateObserverTest, ByteReportsOutsideADownloadChangeNothingAndADownloadStartsTheCountsOver) {
    driver.showDownloadDidReceiveExpectedContentLength(100);
    driver.showDownloadDidReceiveDataOfLength(100);
    EXPECT_EQ(observer.state().receivedBytes, 0u);
    observer.willDownloadUpdate(kItem);
    driver.showDownloadDidReceiveDataOfLength(40);
    driver.showDownloadInitiated([] {});
    EXPECT_EQ(observer.state().receivedBytes, 0u);

    const auto before = observer.state().eventID;
    ASSERT_TRUE(observer.mayPerformUpdateCheck());
    EXPECT_NE(observer.state().eventID, before);
}

}  // namespace
}  // namespace murmo
