#include "platform/HUDTimingCurve.h"

#include <algorithm>
#include <cmath>

namespace murmo {

namespace {

double bezier(double a, double b, double s) {
    // The coordinate of a cubic Bézier with end points 0 and 1.
    const double u = 1 - s;
    return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
}

double bezierSlope(double a, double b, double s) {
    const double u = 1 - s;
    return 3 * u * u * a + 6 * u * s * (b - a) + 3 * s * s * (1 - b);
}

}  // namespace

double HUDTimingCurve::progress(double t) const {
    t = std::clamp(t, 0.0, 1.0);
    // Solve x(s) = t: Newton's method from s = t, then bisection when it
    // strays (x is monotonic because both control x lie in 0...1).
    double s = t;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(x1, x2, s) - t;
        if (std::abs(error) < 1e-12) return bezier(y1, y2, s);
        const double slope = bezierSlope(x1, x2, s);
        if (std::abs(slope) < 1e-9) break;
        s -= error / slope;
        if (s < 0 || s > 1) break;
    }
    double low = 0;
    double high = 1;
    s = t;
    for (int i = 0; i < 64; ++i) {
        const double x = bezier(x1, x2, s);
        if (std::abs(x - t) < 1e-12) break;
        (x < t ? low : high) = s;
        s = (low + high) / 2;
    }
    return bezier(y1, y2, s);
}

}  // namespace murmo
