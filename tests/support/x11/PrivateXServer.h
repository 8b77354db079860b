#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "runtime/Error.h"

namespace murmo::testing {

// An X server of the caller's own (Xvfb on a display no other server holds),
// for what the session's server must not go through: being killed, or a
// benchmark run outside a test desktop. The destructor kills and reaps it.
class PrivateXServer {
public:
    // Returns once the server accepts connections.
    static Result<std::unique_ptr<PrivateXServer>> start();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":<n>".
    const std::string& displayName() const { return displayName_; }
    // Kills the server at once (SIGKILL) and reaps it; idempotent.
    void kill();

private:
    PrivateXServer(pid_t pid, std::string displayName) : pid_(pid), displayName_(std::move(displayName)) {}

    pid_t pid_;
    std::string displayName_;
};

}  // namespace murmo::testing
