#pragma once

// Reads the four permissions dictation needs, asks the system for one of the
// three requestable ones, and opens the matching privacy settings. Main
// thread only; every request's completion runs exactly once, on the main
// thread, with the permissions as they are then (whether or not the user
// granted anything), unless the centre is gone by then.

#include <functional>
#include <memory>

#include "platform/Accessibility.h"
#include "platform/EventPoster.h"
#include "platform/KeyTap.h"
#include "platform/MicrophonePermission.h"
#include "platform/Workspace.h"
#include "runtime/MainLoop.h"
#include "services/PermissionSnapshot.h"

namespace murmo {

struct PermissionCenterPorts {
    MainLoop& loop;
    MicrophonePermission& microphone;
    Accessibility& accessibility;
    KeyTap& keyTap;
    EventPoster& eventPoster;
    Workspace& workspace;
};

class PermissionCenter : public std::enable_shared_from_this<PermissionCenter> {
public:
    using Completion = std::function<void(PermissionSnapshot)>;

    // How long after a system prompt the permissions are read again.
    static constexpr Duration kRefreshAfterPrompt = std::chrono::milliseconds(350);

    static std::shared_ptr<PermissionCenter> create(PermissionCenterPorts ports);
    PermissionCenter(const PermissionCenter&) = delete;
    PermissionCenter& operator=(const PermissionCenter&) = delete;

    // Read without prompting.
    PermissionSnapshot snapshot() const;
    // Microphone: a prompt when not determined (its answer completes on the
    // next loop turn), else at once, opening the settings when it is not
    // authorised. Accessibility and input monitoring: the system's prompt,
    // the settings when still not allowed, and the completion 0.35 s later.
    void request(NativePermissionKind kind, Completion completion);
    // The kind's privacy pane, else the privacy settings as a whole; false
    // when neither opened.
    bool openSystemSettings(NativePermissionKind kind);

private:
    explicit PermissionCenter(PermissionCenterPorts ports) : ports_(ports) {}

    void requestMicrophone(Completion completion);
    void refreshAfterSystemPrompt(Completion completion);
    bool open(std::string_view address);

    PermissionCenterPorts ports_;
};

}  // namespace murmo
