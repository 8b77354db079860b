#pragma once

// The system's save panel: the user picks a folder and a file name for
// something the application is about to write. Part of the window chrome
// (platform/Chrome.h) but a port of its own, so a component that only saves
// files takes only this. Shaped so a GTK file chooser in save mode backs it
// call for call: the suggested name is its current name, the content type one
// filter, a free-standing panel one without a transient parent. Main thread
// only.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace murmo {

enum class SaveContentType {
    plainText,
    json,
};

struct SavePanelRequest {
    // What the name field holds when the panel opens (UTF-8).
    std::string suggestedName{};
    // The only kind of file the panel offers to save.
    SaveContentType contentType = SaveContentType::plainText;
    // Whether the user may make a new folder from the panel.
    bool canCreateFolders = true;
    // A panel of its own rather than a sheet attached to one of our windows.
    bool freeStanding = true;

    bool operator==(const SavePanelRequest&) const = default;
};

// The chosen location as a path that keeps its length; absent when the user
// cancelled or the panel gave no location.
using SavePanelCompletion = std::function<void(std::optional<std::filesystem::path>)>;

class SavePanel {
public:
    virtual ~SavePanel() = default;

    // Opens a new panel; several may be open at once, each with its own
    // completion. The completion never runs inside this call: it runs once,
    // on the main loop, when the user closes the panel. A backend destroyed
    // with panels still open drops their completions uncalled.
    virtual void beginSavePanel(const SavePanelRequest& request, SavePanelCompletion completion) = 0;
};

}  // namespace murmo
