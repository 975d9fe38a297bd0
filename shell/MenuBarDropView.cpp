#include "shell/MenuBarDropView.h"

#include "capture/PasteboardReader.h"

namespace tarno {

namespace {

void runIfSet(const std::function<void()> &callback)
{
    if (callback)
        callback();
}

} // namespace

QString MenuBarDropView::toolTipText()
{
    return QStringLiteral("Tarno") + QStringLiteral(" — click to open, drag in to save, drag out to use");
}

QString MenuBarDropView::pausedToolTipText()
{
    return QStringLiteral("Tarno") + QStringLiteral(" — Paused");
}

MenuBarDropView::MenuBarDropView() = default;

MenuBarDropView::~MenuBarDropView() = default;

void MenuBarDropView::mouseEntered()
{
    m_isHovered = true;
    setNeedsDisplay();
}

void MenuBarDropView::mouseExited()
{
    m_isHovered = false;
    setNeedsDisplay();
}

void MenuBarDropView::mouseDown()
{
    runIfSet(onLeftClick);
}

void MenuBarDropView::rightMouseDown()
{
    runIfSet(onRightClick);
}

DragOperation MenuBarDropView::draggingEntered(const PasteboardReader &drag)
{
    if (readCaptures(drag).isEmpty())
        return DragOperation::none;
    m_isDragHighlighted = true;
    setNeedsDisplay();
    if (!m_openedPopoverForCurrentDrag) {
        m_openedPopoverForCurrentDrag = true;
        runIfSet(onDragEntered);
    }
    return DragOperation::copy;
}

DragOperation MenuBarDropView::draggingUpdated(const PasteboardReader &drag)
{
    return readCaptures(drag).isEmpty() ? DragOperation::none : DragOperation::copy;
}

void MenuBarDropView::draggingExited()
{
    m_isDragHighlighted = false;
    m_openedPopoverForCurrentDrag = false;
    setNeedsDisplay();
}

bool MenuBarDropView::performDragOperation(const PasteboardReader &drag)
{
    m_isDragHighlighted = false;
    m_openedPopoverForCurrentDrag = false;
    setNeedsDisplay();
    const PasteboardCaptures captures = readCaptures(drag);
    if (captures.isEmpty())
        return false;
    if (onDropCaptures)
        onDropCaptures(captures);
    return true;
}

StatusItemDrawing MenuBarDropView::drawing(QSizeF bounds) const
{
    using Drawing = StatusItemDrawing;
    const QRectF rect(QPointF(0, 0), bounds);
    Drawing drawing;
    if (m_isDragHighlighted) {
        drawing.background = Drawing::Background::dragHighlight;
        drawing.shapes = {
            Drawing::RoundedRect{rect.adjusted(1, 1, -1, -1), 5, Drawing::Ink::accent, 0.22, 0},
            Drawing::RoundedRect{rect.adjusted(1.5, 1.5, -1.5, -1.5), 5, Drawing::Ink::accent, 0.55, 1.5},
        };
    } else if (m_isHovered) {
        drawing.background = Drawing::Background::hover;
        drawing.shapes = {Drawing::RoundedRect{rect.adjusted(2, 2, -2, -2), 4, Drawing::Ink::label, 0.08, 0}};
    }
    drawing.icon = showsPaused() ? Drawing::Icon::paused : Drawing::Icon::normal;
    const qreal side = m_isHovered && !m_isDragHighlighted ? hoveredIconSide : iconSide;
    drawing.iconRect = QRectF((bounds.width() - side) / 2, (bounds.height() - side) / 2, side, side);
    drawing.iconOpacity = m_isDragHighlighted || m_isHovered ? 1.0 : restingIconOpacity;
    return drawing;
}

QString MenuBarDropView::toolTip() const
{
    return showsPaused() ? pausedToolTipText() : toolTipText();
}

QList<MenuItem> MenuBarDropView::menuItems() const
{
    return contextMenuItems ? contextMenuItems() : QList<MenuItem>();
}

void MenuBarDropView::setNeedsDisplay() const
{
    runIfSet(m_needsDisplay);
}

} // namespace tarno
