#include "ui/PopoverDropArea.h"

#include "ui/DropCascade.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QQuickWindow>

namespace tarno {

PopoverDropArea::PopoverDropArea(QQuickItem *parent) : QQuickItem(parent)
{
    setFlag(ItemAcceptsDrops);
}

PopoverDropArea::~PopoverDropArea() = default;

void PopoverDropArea::setDropHandler(DropCapturesCallback handler)
{
    m_dropHandler = std::move(handler);
}

void PopoverDropArea::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!data || !isAcceptedDrop(*data)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDropTargeted(true);
}

void PopoverDropArea::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_dropTargeted) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PopoverDropArea::dragLeaveEvent(QDragLeaveEvent *event)
{
    Q_UNUSED(event)
    setDropTargeted(false);
}

void PopoverDropArea::dropEvent(QDropEvent *event)
{
    setDropTargeted(false);
    const QMimeData *data = event->mimeData();
    if (!data || !isAcceptedDrop(*data)) {
        event->ignore();
        return;
    }
    // The drag's data is only there while this event lasts, so it is copied out now; the files it
    // names are read later, when the cascade runs.
    DropItemProviders providers = dropItemProviders(*data);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (providers.isEmpty() || !m_dropHandler)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [providers = std::move(providers), handler = m_dropHandler] {
            loadDroppedCaptures(providers, handler);
        },
        Qt::QueuedConnection);
}

void PopoverDropArea::itemChange(ItemChange change, const ItemChangeData &value)
{
    if (change == ItemVisibleHasChanged && !value.boolValue) {
        setDropTargeted(false);
    } else if (change == ItemSceneChange) {
        QObject::disconnect(m_windowVisibility);
        setDropTargeted(false);
        if (value.window) {
            m_windowVisibility = connect(value.window, &QWindow::visibleChanged, this, [this](bool visible) {
                if (!visible)
                    setDropTargeted(false);
            });
        }
    }
    QQuickItem::itemChange(change, value);
}

void PopoverDropArea::setDropTargeted(bool targeted)
{
    if (m_dropTargeted == targeted)
        return;
    m_dropTargeted = targeted;
    Q_EMIT dropTargetedChanged();
}

} // namespace tarno
