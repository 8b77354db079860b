#pragma once

// This platform has no in-app updater. With a configured feed the updater
// made here refuses to start, with an error of our own domain, so the status
// reports "startup_failed" the way any failed start does; its windows show
// nothing.

#include "platform/Updater.h"

namespace murmo {

class LinuxUpdaterFactory final : public UpdaterFactory {
public:
    static constexpr std::string_view kErrorDomain = "MurmoUpdater";
    static constexpr long kNoInAppUpdater = 1;

    std::shared_ptr<UpdateUserDriver> makeStandardUserDriver(const Bundle& hostBundle) override;
    std::unique_ptr<Updater> makeUpdater(const Bundle& hostBundle, const Bundle& applicationBundle,
                                         std::shared_ptr<UpdateUserDriver> userDriver,
                                         UpdaterDelegate& delegate) override;
};

}  // namespace murmo
