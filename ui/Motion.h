#pragma once

#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace tarno {

// The views' animation vocabulary for QML: springs as Bézier easing curves with their durations,
// and the three standard curves. Stateless apart from a cache of curves already built.
class Motion : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QVariantList easeIn READ easeIn CONSTANT)
    Q_PROPERTY(QVariantList easeOut READ easeOut CONSTANT)
    Q_PROPERTY(QVariantList easeInOut READ easeInOut CONSTANT)

public:
    explicit Motion(QObject *parent = nullptr);

    // For `easing.bezierCurve` of an animation of `springDuration` milliseconds.
    Q_INVOKABLE QVariantList springCurve(double response, double dampingFraction) const;
    Q_INVOKABLE int springDuration(double response, double dampingFraction) const;

    static QVariantList easeIn() { return {0.42, 0.0, 1.0, 1.0, 1.0, 1.0}; }
    static QVariantList easeOut() { return {0.0, 0.0, 0.58, 1.0, 1.0, 1.0}; }
    static QVariantList easeInOut() { return {0.42, 0.0, 0.58, 1.0, 1.0, 1.0}; }
};

} // namespace tarno
