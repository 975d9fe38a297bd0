#pragma once

#include <QList>

namespace tarno {

// A spring given as (response in seconds, damping fraction): the damped harmonic oscillator with
// natural frequency 2π / response and that damping ratio, released from rest at 0 towards 1.
struct Spring
{
    double response = 0.5;
    double dampingFraction = 0.825;

    // The oscillator's position at `seconds` after release, from the closed form; 0 before release.
    double value(double seconds) const;
    // The oscillator's velocity (position per second) at `seconds` after release.
    double velocity(double seconds) const;
    // The time after which the position stays within `tolerance` of 1 for good, from the envelope of
    // the oscillation; what an animation of this spring lasts.
    double settlingTime(double tolerance = 1e-3) const;
    // The curve as the control points of a piecewise cubic Bézier easing (Qt's BezierSpline: three
    // points per segment, x = elapsed fraction of the settling time, y = progress). Each segment is
    // the cubic Hermite of the closed form between two samples, so position and slope are exact at
    // every sample; samples crowd towards the start, where the curve bends most. The last point is
    // (1, 1) so the animation ends exactly on its target.
    //
    // Qt 6.4's easing curve holds at most ten Bézier segments (more overrun its buffers), hence the
    // default and the bound.
    static constexpr int maxSegments = 10;
    QList<double> bezierSpline(int segments = maxSegments) const;
};

} // namespace tarno
