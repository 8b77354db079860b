#pragma once

// While the platform shows neither a tray nor windows, the program prints
// what a person would see of them: the status menu's state line and the
// dashboard's load state, one line each time one changes. It sits between
// the application and the desktop's status bar and window factory, passing
// every call through.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/AppWindow.h"
#include "platform/StatusItem.h"

namespace murmo {

class ConsoleChrome {
public:
    using Print = std::function<void(std::string_view line)>;

    ConsoleChrome(StatusBar& statusBar, AppWindowFactory& windows, Print print);
    ~ConsoleChrome();
    ConsoleChrome(const ConsoleChrome&) = delete;
    ConsoleChrome& operator=(const ConsoleChrome&) = delete;

    StatusBar& statusBar();
    AppWindowFactory& windows();

    // Writes the line and a line feed to standard output at once.
    static void printToStandardOutput(std::string_view line);

private:
    class Bar;
    class Windows;

    std::unique_ptr<Bar> bar_;
    std::unique_ptr<Windows> windows_;
};

}  // namespace murmo
