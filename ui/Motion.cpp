#include "ui/Motion.h"

#include "ui/SpringCurve.h"

#include <QHash>
#include <cmath>

namespace tarno {

Motion::Motion(QObject *parent) : QObject(parent) {}

QVariantList Motion::springCurve(double response, double dampingFraction) const
{
    // Every view asks for the same dozen springs; build each curve once per process.
    static QHash<QPair<double, double>, QVariantList> cache;
    const QPair<double, double> key(response, dampingFraction);
    auto found = cache.constFind(key);
    if (found != cache.cend())
        return *found;
    QVariantList curve;
    for (double point : Spring{response, dampingFraction}.bezierSpline())
        curve << point;
    cache.insert(key, curve);
    return curve;
}

int Motion::springDuration(double response, double dampingFraction) const
{
    return int(std::lround(Spring{response, dampingFraction}.settlingTime() * 1000.0));
}

} // namespace tarno
