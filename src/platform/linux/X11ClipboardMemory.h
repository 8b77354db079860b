#pragma once

// Memory that Xlib hands out (a property's data, an atom's name), owned and
// freed with XFree.

#include <utility>

namespace murmo {

// XFree, kept out of our headers with the rest of Xlib.
void freeXlibMemory(void* memory);

template <class T>
class X11ClipboardMemory {
public:
    X11ClipboardMemory() = default;
    explicit X11ClipboardMemory(T* pointer) : pointer_(pointer) {}
    ~X11ClipboardMemory() { reset(); }
    X11ClipboardMemory(const X11ClipboardMemory&) = delete;
    X11ClipboardMemory& operator=(const X11ClipboardMemory&) = delete;

    // Where an Xlib call writes the pointer it allocates; frees what was held.
    T** receive() {
        reset();
        return &pointer_;
    }
    T* get() const { return pointer_; }
    void reset() {
        if (pointer_) freeXlibMemory(std::exchange(pointer_, nullptr));
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace murmo
