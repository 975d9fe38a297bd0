#pragma once

#include "ui/PopoverView.h"

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace tarno {

// The popover's drop target, covering its own area. While a drag of plain text, image data or
// files hovers over it, `dropTargeted` is true. A drop is accepted at once; its data is copied out
// while the drop lasts, and on the main thread's next turn the drop cascade turns it into captures
// and hands them, when there are any, to the drop handler, once. That work is bound to the
// application rather than to this item, so a popover closed right after the drop still delivers.
// Hiding the area or its window ends the targeted state, since no leave may follow.
class PopoverDropArea : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool dropTargeted READ isDropTargeted NOTIFY dropTargetedChanged)

public:
    explicit PopoverDropArea(QQuickItem *parent = nullptr);
    ~PopoverDropArea() override;

    bool isDropTargeted() const { return m_dropTargeted; }

    // Where dropped captures go. Without a handler, drops are still accepted and dropped.
    void setDropHandler(DropCapturesCallback handler);

Q_SIGNALS:
    void dropTargetedChanged();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void itemChange(ItemChange change, const ItemChangeData &value) override;

private:
    void setDropTargeted(bool targeted);

    DropCapturesCallback m_dropHandler;
    QMetaObject::Connection m_windowVisibility;
    bool m_dropTargeted = false;
};

} // namespace tarno
