#include "platform/api/PopoverPlacement.h"

#include <algorithm>

namespace tarno {

namespace {

qreal clamped(qreal value, qreal low, qreal high)
{
    // A popover larger than the area sticks to its start rather than leaving it on both sides.
    return std::max(low, std::min(value, high));
}

} // namespace

QRectF popoverFrame(QRectF anchor, QSizeF size, QRectF screen, QRectF available)
{
    const qreal toTop = anchor.top() - screen.top();
    const qreal toBottom = screen.bottom() - anchor.bottom();
    const qreal toLeft = anchor.left() - screen.left();
    const qreal toRight = screen.right() - anchor.right();
    const qreal nearest = std::min({toTop, toBottom, toLeft, toRight});

    QPointF topLeft;
    if (nearest == toTop || nearest == toBottom) {
        topLeft.setX(anchor.center().x() - size.width() / 2);
        topLeft.setY(nearest == toTop ? anchor.bottom() : anchor.top() - size.height());
    } else {
        topLeft.setY(anchor.center().y() - size.height() / 2);
        topLeft.setX(nearest == toLeft ? anchor.right() : anchor.left() - size.width());
    }
    if (!available.isEmpty()) {
        topLeft.setX(clamped(topLeft.x(), available.left(), available.right() - size.width()));
        topLeft.setY(clamped(topLeft.y(), available.top(), available.bottom() - size.height()));
    }
    return QRectF(topLeft, size);
}

} // namespace tarno
