#include "platform/linux/X11ClipboardWindow.h"

#include <X11/Xlib.h>

namespace murmo {

X11ClipboardWindow::X11ClipboardWindow(X11Connection& connection) : connection_(connection), id_(0) {
    Display* display = connection_.display();
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    id_ = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                        CWEventMask, &attributes);
}

X11ClipboardWindow::~X11ClipboardWindow() {
    if (!connection_.isBroken()) {
        XDestroyWindow(connection_.display(), id_);
        XFlush(connection_.display());
    }
}

}  // namespace murmo
