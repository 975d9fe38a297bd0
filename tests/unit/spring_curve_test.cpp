#include "ui/SpringCurve.h"

#include <QEasingCurve>
#include <QPointF>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace tarno;

namespace {

// Every spring the popover's views animate with, as (response, damping fraction).
const std::vector<Spring> viewSprings{{0.22, 0.72}, {0.28, 0.82}, {0.2, 0.78},  {0.24, 0.82}, {0.26, 0.86},
                                      {0.26, 0.8},  {0.3, 0.84},  {0.26, 0.82}, {0.3, 0.78},  {0.28, 0.8},
                                      {0.32, 0.86}, {0.28, 0.9},  {0.42, 0.82}, {0.34, 0.72}, {0.26, 0.84}};

QEasingCurve easing(const Spring &spring)
{
    const QList<double> points = spring.bezierSpline();
    QEasingCurve curve(QEasingCurve::BezierSpline);
    for (qsizetype i = 0; i + 5 < points.size(); i += 6)
        curve.addCubicBezierSegment(QPointF(points[i], points[i + 1]), QPointF(points[i + 2], points[i + 3]),
                                    QPointF(points[i + 4], points[i + 5]));
    return curve;
}

// The solution of the oscillator is unique once it starts from rest, so this pins every branch: the
// views' under-damped springs and a critically and an over-damped one.
TEST(SpringCurveTest, ClosedFormIsTheDampedOscillatorReleasedFromRest)
{
    std::vector<Spring> springs = viewSprings;
    springs.insert(springs.end(), {Spring{0.3, 1.0}, Spring{0.3, 1.6}});
    for (const Spring &spring : springs) {
        const double omega = 2 * std::numbers::pi / spring.response;
        const double zeta = spring.dampingFraction;
        EXPECT_DOUBLE_EQ(spring.value(0), 0);
        EXPECT_DOUBLE_EQ(spring.velocity(0), 0);
        // Released from rest by the formula itself, not only by the guard for t <= 0.
        EXPECT_NEAR(spring.value(1e-9), 0, 1e-9);
        EXPECT_NEAR(spring.velocity(1e-9), 0, 1e-6 * omega);
        // x'' + 2ζω x' + ω² (x − 1) = 0 along the way, with x'' from central differences of x'.
        const double h = 1e-6;
        for (double t = 0.01; t < 1.0; t += 0.037) {
            const double acceleration = (spring.velocity(t + h) - spring.velocity(t - h)) / (2 * h);
            const double residual =
                acceleration + 2 * zeta * omega * spring.velocity(t) + omega * omega * (spring.value(t) - 1);
            EXPECT_NEAR(residual / (omega * omega), 0, 1e-5) << spring.response << " " << zeta << " t=" << t;
        }
    }
}

// The animation lasts the settling time, by which the spring is within the tolerance of its end, and
// its easing curve follows the closed form all the way.
TEST(SpringCurveTest, EasingCurveFollowsTheClosedFormUntilItHasSettled)
{
    for (const Spring &spring : viewSprings) {
        SCOPED_TRACE(testing::Message() << spring.response << " " << spring.dampingFraction);
        const double duration = spring.settlingTime();
        EXPECT_GT(duration, 0.1);
        EXPECT_LT(duration, 1.5);
        for (double t = duration; t < duration + 2; t += 0.002)
            EXPECT_NEAR(spring.value(t), 1, 1e-3);
        const QEasingCurve curve = easing(spring);
        EXPECT_DOUBLE_EQ(curve.valueForProgress(0), 0);
        EXPECT_DOUBLE_EQ(curve.valueForProgress(1), 1);
        double worst = 0;
        for (int i = 0; i <= 400; ++i) {
            const double progress = i / 400.0;
            worst = std::max(worst,
                             std::abs(curve.valueForProgress(progress) - spring.value(progress * duration)));
        }
        EXPECT_LT(worst, 4e-3);
    }
}

} // namespace
