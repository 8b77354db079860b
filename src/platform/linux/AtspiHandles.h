#pragma once

// Owning handles for the GLib, GIO and D-Bus values the accessibility backend
// holds, so each one is released exactly once on every path.

#include <gio/gio.h>

#include <memory>

namespace murmo::atspi_handles {

struct VariantDeleter {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
struct ErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct StringDeleter {
    void operator()(char* text) const { g_free(text); }
};
struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};

using Variant = std::unique_ptr<GVariant, VariantDeleter>;
using Error = std::unique_ptr<GError, ErrorDeleter>;
using String = std::unique_ptr<char, StringDeleter>;
template <class T>
using Object = std::unique_ptr<T, ObjectDeleter>;

// Takes a floating or full reference as the caller's own.
inline Variant adoptVariant(GVariant* value) { return Variant(value ? g_variant_ref_sink(value) : nullptr); }

}  // namespace murmo::atspi_handles
