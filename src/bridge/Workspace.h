#pragma once

#include <string>

namespace murmo::bridge {

// The desktop's file and application launcher, as far as the bridge needs it
// to bring up the system's settings.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual bool fileExists(const std::string& path) const = 0;
    // Opens a file or application bundle the way a double click would.
    virtual bool open(const std::string& path) = 0;
};

// The real file system. No application bundle can be opened on this
// platform, so `open` reports failure.
class PosixWorkspace final : public Workspace {
public:
    bool fileExists(const std::string& path) const override;
    bool open(const std::string& path) override;
};

}  // namespace murmo::bridge
