#pragma once

#include "platform/ProcessInfo.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// Process records and canonical paths on the simulated desktop. Paths are
// resolved against the model's symbolic links, never the real file system.
class SimProcessInfo final : public ProcessInfo {
public:
    explicit SimProcessInfo(SimDesktop& desktop) : desktop_(desktop) {}

    std::optional<ProcessRecord> processRecord(std::int32_t pid) override;
    std::filesystem::path canonicalPath(const std::filesystem::path& path) override;

private:
    SimDesktop& desktop_;
};

}  // namespace murmo
