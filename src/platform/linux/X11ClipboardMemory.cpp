#include "platform/linux/X11ClipboardMemory.h"

#include <X11/Xlib.h>

namespace murmo {

void freeXlibMemory(void* memory) { XFree(memory); }

}  // namespace murmo
