#pragma once

#include "platform/api/Runtime.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <optional>

class QQmlEngine;
class QQuickItem;

namespace tarno {

// A timing curve: the cubic Bézier from (0, 0) to (1, 1) through two control points.
struct TimingCurve
{
    QPointF c1;
    QPointF c2;
    friend bool operator==(const TimingCurve &, const TimingCurve &) = default;
};

// One animation of the popover's content from its current look to the one given.
struct ContentAnimation
{
    Milliseconds duration{0};
    TimingCurve curve;
    qreal alpha = 1;
    qreal scale = 1;
};

// The popover's hosted content as its animations see it: an opacity and a uniform scale about its
// centre. Main thread only.
class PopoverContentView
{
public:
    virtual ~PopoverContentView() = default;

    virtual qreal alpha() const = 0;
    virtual qreal scale() const = 0;
    // At once, stopping any animation under way (whose `finished` then still runs).
    virtual void setAlpha(qreal alpha) = 0;
    virtual void setScale(qreal scale) = 0;
    // Animates both from their current values. `finished` runs exactly once, from the platform's
    // handler, when the animation has ended or was replaced by another or by a direct set.
    virtual void animate(const ContentAnimation &animation, std::function<void()> finished) = 0;
};

// Told by the popover after it has closed, whoever closed it.
class PopoverDelegate
{
public:
    virtual ~PopoverDelegate() = default;
    virtual void popoverDidClose() = 0;
};

// Builds the popover's content item as a child of `parent`; null when it cannot be made.
using PopoverContentBuilder = std::function<QQuickItem *(QQmlEngine &engine, QQuickItem *parent)>;

// A window that opens against the status item and hosts the history view. It is transient: it closes
// by itself, at once and without animation, when the user presses an Escape in it that its content
// does not take, or another program takes the focus from it, and then tells its delegate. It has no
// animation of its own. Main thread only.
class Popover
{
public:
    virtual ~Popover() = default;

    // The delegate must outlive the popover or be replaced by null first.
    virtual void setDelegate(PopoverDelegate *delegate) = 0;
    virtual void setContentSize(QSizeF size) = 0;
    virtual QSizeF contentSize() const = 0;
    // Hosts the built content; the view its animations act on, owned by the popover, or null when the
    // content could not be made.
    virtual PopoverContentView *setContentView(PopoverContentBuilder build) = 0;

    // True from `show` until the window has closed.
    virtual bool isShown() const = 0;
    // Opens it against the anchor (screen coordinates, logical pixels): on the side of the anchor
    // away from the screen edge the anchor sits on, within the screen's available area.
    virtual void show(QRectF anchor) = 0;
    // Closes it at once if it is shown, then tells the delegate; does nothing when it is not shown.
    virtual void performClose() = 0;
    // The window's frame on screen; nothing when it has no window.
    virtual std::optional<QRectF> windowFrame() const = 0;
};

} // namespace tarno
