#pragma once

#include "platform/api/StatusItem.h"

#include <QPoint>

class QMenu;

namespace tarno {

// Pops up a menu of the items at a screen point and returns at once. A chosen item's action runs on
// the main loop's next turn. An item whose key equivalent is "q" shows the desktop's quit shortcut.
// Does nothing unless the application is a QApplication.
void popUpTrayMenu(const QList<MenuItem> &items, QPoint globalPosition);

// Makes a long-lived menu show the items, with the same behaviour as above. Actions whose titles
// already match are kept and only updated, so that a host showing the menu over D-Bus sees its
// items change in place rather than vanish and come back under new ids.
void syncTrayMenu(QMenu &menu, const QList<MenuItem> &items);

} // namespace tarno
