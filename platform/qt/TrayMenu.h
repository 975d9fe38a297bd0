#pragma once

#include "platform/api/StatusItem.h"

#include <QPoint>

namespace tarno {

// Pops up a menu of the items at a screen point and returns at once. A chosen item's action runs on
// the main loop's next turn. An item whose key equivalent is "q" shows the desktop's quit shortcut.
// Does nothing unless the application is a QApplication.
void popUpTrayMenu(const QList<MenuItem> &items, QPoint globalPosition);

} // namespace tarno
