#pragma once

#include "platform/api/StatusItem.h"

namespace tarno {

class FakeStatusBar;

// A status item that records what is asked of it; the test plays the platform by calling the view.
class FakeStatusItem : public StatusItem
{
public:
    FakeStatusItem(FakeStatusBar &bar, StatusItemView &view, QSizeF size);
    ~FakeStatusItem() override;

    void setNeedsDisplay() override { ++needsDisplayCount; }
    QRectF screenRect() const override { return rect; }
    bool receivesDrags() const override { return dragsReachView; }
    void popUpMenu(const QList<MenuItem> &items, QPointF atInView) override;

    StatusItemView &view;
    QSizeF size;
    QRectF rect;
    bool dragsReachView = true;
    int needsDisplayCount = 0;
    QList<MenuItem> menuItems;
    QPointF menuPoint;
    int menuCount = 0;

private:
    FakeStatusBar &m_bar;
};

class FakeStatusBar : public StatusBar
{
public:
    std::unique_ptr<StatusItem> makeStatusItem(StatusItemView &view, QSizeF size) override;

    // The item that exists now, or null.
    FakeStatusItem *item = nullptr;
    int madeCount = 0;
    int removedCount = 0;
    // Where a new item is placed on screen.
    QRectF nextRect{1000, 0, 32, 24};
};

} // namespace tarno
