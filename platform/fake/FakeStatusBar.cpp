#include "platform/fake/FakeStatusBar.h"

namespace tarno {

FakeStatusItem::FakeStatusItem(FakeStatusBar &bar, StatusItemView &view, QSizeF size)
    : view(view), size(size), rect(bar.nextRect), m_bar(bar)
{}

FakeStatusItem::~FakeStatusItem()
{
    ++m_bar.removedCount;
    if (m_bar.item == this)
        m_bar.item = nullptr;
}

void FakeStatusItem::popUpMenu(const QList<MenuItem> &items, QPointF atInView)
{
    menuItems = items;
    menuPoint = atInView;
    ++menuCount;
}

std::unique_ptr<StatusItem> FakeStatusBar::makeStatusItem(StatusItemView &view, QSizeF size)
{
    auto made = std::make_unique<FakeStatusItem>(*this, view, size);
    item = made.get();
    ++madeCount;
    return made;
}

} // namespace tarno
