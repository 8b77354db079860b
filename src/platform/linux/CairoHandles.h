#pragma once

// Owning handles for the Cairo objects the Linux backends create, so each
// one is destroyed exactly once on every path.

#include <cairo.h>

#include <memory>

namespace murmo::cairo_handles {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};

using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;
using Pattern = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

}  // namespace murmo::cairo_handles
