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

} // namespace

void popUpTrayMenu(const QList<MenuItem> &items, QPoint globalPosition)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // A new menu each time; it deletes itself once it has closed.
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuItem &item : items) {
        QAction *action = menu->addAction(item.title);
        action->setShortcut(shortcutFor(item.keyEquivalent));
        action->setShortcutVisibleInContextMenu(true);
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
        const std::function<void()> run = item.action;
        QObject::connect(action, &QAction::triggered, qApp, [run] {
            if (run)
                QMetaObject::invokeMethod(qApp, run, Qt::QueuedConnection);
        });
    }
    menu->popup(globalPosition);
}

} // namespace tarno
