#include "ui/SpringCurve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarno {

namespace {

struct Oscillator
{
    double omega; // natural angular frequency
    double zeta;  // damping ratio

    explicit Oscillator(const Spring &spring)
        : omega(2.0 * std::numbers::pi / std::max(spring.response, 1e-6)),
          zeta(std::clamp(spring.dampingFraction, 1e-6, 10.0))
    {}
};

} // namespace

double Spring::value(double t) const
{
    if (t <= 0)
        return 0;
    const Oscillator o(*this);
    if (o.zeta < 1) {
        const double wd = o.omega * std::sqrt(1 - o.zeta * o.zeta);
        return 1 - std::exp(-o.zeta * o.omega * t) *
                       (std::cos(wd * t) + o.zeta * o.omega / wd * std::sin(wd * t));
    }
    if (o.zeta == 1)
        return 1 - std::exp(-o.omega * t) * (1 + o.omega * t);
    // Over-damped: the sum of two decaying exponentials.
    const double s = o.omega * std::sqrt(o.zeta * o.zeta - 1);
    const double r1 = -o.zeta * o.omega + s;
    const double r2 = -o.zeta * o.omega - s;
    return 1 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

double Spring::velocity(double t) const
{
    if (t <= 0)
        return 0;
    const Oscillator o(*this);
    if (o.zeta < 1) {
        const double wd = o.omega * std::sqrt(1 - o.zeta * o.zeta);
        return std::exp(-o.zeta * o.omega * t) * (o.omega * o.omega / wd) * std::sin(wd * t);
    }
    if (o.zeta == 1)
        return o.omega * o.omega * t * std::exp(-o.omega * t);
    const double s = o.omega * std::sqrt(o.zeta * o.zeta - 1);
    const double r1 = -o.zeta * o.omega + s;
    const double r2 = -o.zeta * o.omega - s;
    return -(r1 * r2 * std::exp(r1 * t) - r1 * r2 * std::exp(r2 * t)) / (r2 - r1);
}

double Spring::settlingTime(double tolerance) const
{
    const Oscillator o(*this);
    double decay = o.zeta * o.omega;
    double amplitude = 1;
    if (o.zeta < 1) {
        amplitude = 1 / std::sqrt(1 - o.zeta * o.zeta);
    } else if (o.zeta == 1) {
        // (1 + ωt) e^{-ωt}: bound the polynomial factor by a slightly slower exponential.
        decay = 0.75 * o.omega;
        amplitude = 2;
    } else {
        decay = o.zeta * o.omega - o.omega * std::sqrt(o.zeta * o.zeta - 1);
        amplitude = 2;
    }
    return std::max(0.0, std::log(amplitude / tolerance) / decay);
}

QList<double> Spring::bezierSpline(int segments) const
{
    segments = std::clamp(segments, 1, maxSegments);
    const double total = settlingTime();
    const auto node = [segments](int i) { return std::pow(double(i) / segments, 1.5); };
    QList<double> points;
    points.reserve(segments * 6);
    for (int i = 0; i < segments; ++i) {
        const double x0 = node(i);
        const double x1 = node(i + 1);
        const double dt = (x1 - x0) * total;
        const double y0 = value(x0 * total);
        const double y1 = i + 1 == segments ? 1.0 : value(x1 * total);
        // Control points a third of the way along each side, on the tangents of the closed form.
        const double m0 = velocity(x0 * total) * dt / 3;
        const double m1 = i + 1 == segments ? 0.0 : velocity(x1 * total) * dt / 3;
        points << x0 + (x1 - x0) / 3 << y0 + m0 << x1 - (x1 - x0) / 3 << y1 - m1 << x1 << y1;
    }
    return points;
}

} // namespace tarno
