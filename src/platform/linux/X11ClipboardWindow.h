#pragma once

// An unmapped window of our own, owned: the clipboard's requestor and owner
// window. It hears its property changes (server timestamps, selection
// transfers into it). Destroyed with its owner, on the thread that uses the
// connection.

#include "platform/linux/X11Connection.h"

namespace murmo {

class X11ClipboardWindow {
public:
    explicit X11ClipboardWindow(X11Connection& connection);
    ~X11ClipboardWindow();
    X11ClipboardWindow(const X11ClipboardWindow&) = delete;
    X11ClipboardWindow& operator=(const X11ClipboardWindow&) = delete;

    unsigned long id() const { return id_; }

private:
    X11Connection& connection_;
    unsigned long id_;
};

}  // namespace murmo
