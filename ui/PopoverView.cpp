#include "ui/PopoverView.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

namespace tarno {

QQuickItem *createPopoverView(QQmlEngine &engine, QQuickItem *parent, ClipboardHistoryViewModel &history,
                              GleanerySettings &settings, DropCapturesCallback onDropCaptures)
{
    Q_UNUSED(history)
    Q_UNUSED(settings)
    Q_UNUSED(onDropCaptures)
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Tarno/Ui/qml/GleaneryPopoverView.qml")));
    QObject *object = component.createWithInitialProperties({}, engine.rootContext());
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        return nullptr;
    }
    item->setParentItem(parent);
    item->setParent(parent);
    return item;
}

} // namespace tarno
