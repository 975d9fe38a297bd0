#include "platform/fake/FakePopover.h"

namespace tarno {

void FakePopoverContentView::setAlpha(qreal alpha)
{
    interrupt();
    m_alpha = alpha;
}

void FakePopoverContentView::setScale(qreal scale)
{
    interrupt();
    m_scale = scale;
}

void FakePopoverContentView::animate(const ContentAnimation &animation, std::function<void()> finished)
{
    interrupt();
    animations.append(animation);
    startingLooks.append(QPointF(m_alpha, m_scale));
    m_finished = finished ? std::move(finished) : [] {};
}

void FakePopoverContentView::finishAnimation()
{
    if (!m_finished)
        return;
    m_alpha = animations.last().alpha;
    m_scale = animations.last().scale;
    auto finished = std::exchange(m_finished, {});
    finished();
}

void FakePopoverContentView::interrupt()
{
    // A replaced animation stops where it is and still reports its end, as the real one does.
    if (auto finished = std::exchange(m_finished, {}))
        finished();
}

PopoverContentView *FakePopover::setContentView(PopoverContentBuilder build)
{
    builder = std::move(build);
    hasContent = !contentFails;
    return hasContent ? &content : nullptr;
}

void FakePopover::show(QRectF anchor)
{
    shownAnchors.append(anchor);
    m_isShown = true;
}

void FakePopover::performClose()
{
    if (!m_isShown)
        return;
    m_isShown = false;
    ++closeCount;
    if (m_delegate)
        m_delegate->popoverDidClose();
}

std::optional<QRectF> FakePopover::windowFrame() const
{
    if (!hasWindow)
        return std::nullopt;
    return frame;
}

void FakePopover::closeTransiently()
{
    performClose();
}

} // namespace tarno
