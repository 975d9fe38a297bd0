#include "platform/qt/TrayMenu.h"

#include <QApplication>
#include <QMenu>

namespace tarno {

namespace {

QKeySequence shortcutFor(const QString &keyEquivalent)
{
    if (keyEquivalent == QStringLiteral("q"))
        return QKeySequence(QKeySequence::Quit);
    if (keyEquivalent.isEmpty())
        return {};
    return QKeySequence(QStringLiteral("Ctrl+") + keyEquivalent.toUpper());
}

void showItem(QAction &action, const MenuItem &item)
{
    action.setShortcut(shortcutFor(item.keyEquivalent));
    action.setShortcutVisibleInContextMenu(true);
    action.setCheckable(item.checkable);
    action.setChecked(item.checked);
    // An item's action may depend on the state it was made in, so the newest one is the one to run.
    QObject::disconnect(&action, &QAction::triggered, nullptr, nullptr);
    QObject::connect(&action, &QAction::triggered, qApp, [run = item.action] {
        if (run)
            QMetaObject::invokeMethod(qApp, run, Qt::QueuedConnection);
    });
}

bool hasTitles(const QMenu &menu, const QList<MenuItem> &items)
{
    const QList<QAction *> actions = menu.actions();
    if (actions.size() != items.size())
        return false;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (actions[i]->text() != items[i].title)
            return false;
    }
    return true;
}

} // namespace

void popUpTrayMenu(const QList<MenuItem> &items, QPoint globalPosition)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // A new menu each time; it deletes itself once it has closed.
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    syncTrayMenu(*menu, items);
    menu->popup(globalPosition);
}

void syncTrayMenu(QMenu &menu, const QList<MenuItem> &items)
{
    if (!hasTitles(menu, items)) {
        menu.clear();
        for (const MenuItem &item : items)
            menu.addAction(item.title);
    }
    const QList<QAction *> actions = menu.actions();
    for (qsizetype i = 0; i < items.size(); ++i)
        showItem(*actions[i], items[i]);
}

} // namespace tarno
