#pragma once

#include "model/PasteboardCapture.h"
#include "platform/api/StatusItem.h"

#include <functional>

namespace tarno {

// What the status item shows and how it answers the pointer: the icon with its hover and drag
// highlight, the tooltip (both in their paused form while capturing is paused), left and right
// mouse-downs as two callbacks, and drops of anything `readCaptures` can read. It knows nothing of
// the popover or the history; the platform feeds it events and paints what `drawing` says. Main
// thread only.
class MenuBarDropView : public StatusItemView
{
public:
    static constexpr QSizeF defaultSize{32, 24};
    static constexpr qreal iconSide = 22;
    static constexpr qreal hoveredIconSide = 23.32;
    static constexpr qreal restingIconOpacity = 0.9;

    static QString toolTipText();
    static QString pausedToolTipText();

    MenuBarDropView();
    ~MenuBarDropView() override;

    std::function<void()> onLeftClick;
    std::function<void()> onRightClick;
    std::function<void(const PasteboardCaptures &)> onDropCaptures;
    // At most once per drag, when a readable drag enters.
    std::function<void()> onDragEntered;
    // Asked whenever the view is drawn or its tooltip read: while it answers true, the paused icon
    // and tooltip show. Unset reads as false.
    std::function<bool()> isCapturingPaused;
    // Asked whenever the context menu is read. Unset reads as no items.
    std::function<QList<MenuItem>()> contextMenuItems;
    // Each time the status item has found its place in the status area.
    std::function<void()> onPlaced;

    bool isDragHighlighted() const { return m_isDragHighlighted; }
    bool isHovered() const { return m_isHovered; }
    bool openedPopoverForCurrentDrag() const { return m_openedPopoverForCurrentDrag; }

    // Asked to repaint whenever what `drawing` returns may have changed.
    void setNeedsDisplayHandler(std::function<void()> handler) { m_needsDisplay = std::move(handler); }

    void mouseEntered() override;
    void mouseExited() override;
    void mouseDown() override;
    void rightMouseDown() override;
    DragOperation draggingEntered(const PasteboardReader &drag) override;
    DragOperation draggingUpdated(const PasteboardReader &drag) override;
    void draggingExited() override;
    bool performDragOperation(const PasteboardReader &drag) override;
    StatusItemDrawing drawing(QSizeF bounds) const override;
    QString toolTip() const override;
    QList<MenuItem> menuItems() const override;
    void placed() override
    {
        if (onPlaced)
            onPlaced();
    }

private:
    void setNeedsDisplay() const;
    bool showsPaused() const { return isCapturingPaused && isCapturingPaused(); }

    bool m_isDragHighlighted = false;
    bool m_isHovered = false;
    bool m_openedPopoverForCurrentDrag = false;
    std::function<void()> m_needsDisplay;
};

} // namespace tarno
