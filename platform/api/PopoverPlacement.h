#pragma once

#include <QRectF>
#include <QSizeF>

namespace tarno {

// Where a popover of `size` opens against `anchor` (the status item's screen rectangle) on a screen
// with the given full and available geometry: on the side of the anchor away from the screen edge the
// anchor is nearest to (below an item at the top, above one at the bottom, beside one on a side
// panel), centred on the anchor along that edge, and moved inside the available area.
QRectF popoverFrame(QRectF anchor, QSizeF size, QRectF screen, QRectF available);

} // namespace tarno
