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

}  // namespace murmo::bridge
