#include "services/SparkleUpdateObserver.h"

namespace murmo {

bool SparkleUpdateObserver::mayPerformUpdateCheck() {
    go(Stage::checking);
    return true;
}

bool SparkleUpdateObserver::willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()>) {
    readyOnQuit(item);
    return false;
}

void SparkleUpdateObserver::readyOnQuit(const std::optional<AppcastItem>& item) {
    go(Stage::ready, item);
    state_.installOnQuit = true;
}

void SparkleUpdateObserver::userDidMakeChoice(UserUpdateChoice choice, const AppcastItem& item, UserUpdateStage stage) {
    switch (choice) {
        case UserUpdateChoice::dismiss:
            if (stage == UserUpdateStage::installing) return readyOnQuit(item);
            if (stage == UserUpdateStage::downloaded) return go(Stage::downloaded, item);
            return go(Stage::idle);
        case UserUpdateChoice::skip: return go(Stage::idle);
        case UserUpdateChoice::install: return;
    }
    // A choice outside the framework's three changes nothing.
}

}  // namespace murmo
