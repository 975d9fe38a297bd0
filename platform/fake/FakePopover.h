#pragma once

#include "platform/api/Popover.h"

#include <QList>

namespace tarno {

// Content whose animations wait for the test: `finishAnimation` ends the running one as the platform
// would, with the targets reached. Records every animation asked for.
class FakePopoverContentView : public PopoverContentView
{
public:
    qreal alpha() const override { return m_alpha; }
    qreal scale() const override { return m_scale; }
    void setAlpha(qreal alpha) override;
    void setScale(qreal scale) override;
    void animate(const ContentAnimation &animation, std::function<void()> finished) override;

    bool isAnimating() const { return static_cast<bool>(m_finished); }
    // Reaches the running animation's targets and runs its `finished`; nothing when none runs.
    void finishAnimation();

    QList<ContentAnimation> animations;
    // The look each animation started from, as (alpha, scale).
    QList<QPointF> startingLooks;

private:
    void interrupt();

    qreal m_alpha = 1;
    qreal m_scale = 1;
    std::function<void()> m_finished;
};

// A popover without a window system. The test plays the user with `closeTransiently` (Escape, or
// another program taking the focus) and reads what was asked of it.
class FakePopover : public Popover
{
public:
    void setDelegate(PopoverDelegate *delegate) override { m_delegate = delegate; }
    void setContentSize(QSizeF size) override { m_contentSize = size; }
    QSizeF contentSize() const override { return m_contentSize; }
    PopoverContentView *setContentView(PopoverContentBuilder build) override;

    bool isShown() const override { return m_isShown; }
    void show(QRectF anchor) override;
    void performClose() override;
    std::optional<QRectF> windowFrame() const override;

    // The popover closing by itself.
    void closeTransiently();
    PopoverDelegate *delegate() const { return m_delegate; }

    // Switches: content that cannot be built, a popover that has no window.
    bool contentFails = false;
    bool hasWindow = true;

    FakePopoverContentView content;
    bool hasContent = false;
    // What `setContentView` was given, so a test may build it.
    PopoverContentBuilder builder;
    QList<QRectF> shownAnchors;
    int closeCount = 0;
    // Where the window sits while shown.
    QRectF frame{800, 24, 360, 480};

private:
    PopoverDelegate *m_delegate = nullptr;
    QSizeF m_contentSize;
    bool m_isShown = false;
};

} // namespace tarno
