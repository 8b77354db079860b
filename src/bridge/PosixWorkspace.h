#pragma once

#include <string>

#include "bridge/Workspace.h"

namespace murmo::bridge {

// The real file system. No application bundle can be opened on this
// platform, so `open` reports failure.
class PosixWorkspace final : public Workspace {
public:
    bool fileExists(const std::string& path) const override;
    bool open(const std::string& path) override;
};

}  // namespace murmo::bridge
