#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>

namespace tarno {

class PasteboardReader;

enum class DragOperation
{
    none,
    copy
};

// What the status item's view draws, decided by the logic and painted by the platform. Lengths are
// in the view's logical pixels, origin at its top left.
struct StatusItemDrawing
{
    enum class Background
    {
        none,
        hover,
        dragHighlight
    };
    // Which palette colour a fill or outline takes, and at what alpha.
    enum class Ink
    {
        label,
        accent
    };
    struct RoundedRect
    {
        QRectF rect;
        qreal radius = 0;
        Ink ink = Ink::label;
        qreal alpha = 0;
        // Zero for a fill, the line width for an outline.
        qreal lineWidth = 0;
    };

    // Which image the icon is: "MenuBarIcon", or its dimmed and slashed variant while capturing is
    // paused.
    enum class Icon
    {
        normal,
        paused
    };

    Background background = Background::none;
    // Painted in order, below the icon.
    QList<RoundedRect> shapes;
    Icon icon = Icon::normal;
    // The icon's image, drawn in its own colours, source-over, into this square.
    QRectF iconRect;
    qreal iconOpacity = 1;
};

struct MenuItem
{
    QString title;
    // A single key, shown as the item's shortcut.
    QString keyEquivalent;
    std::function<void()> action;
    // A checkable item shows a check mark while `checked`; choosing it runs the action all the same.
    bool checkable = false;
    bool checked = false;
};

// The content of a status item as the platform sees it: it feeds pointer and drag events in and asks
// what to draw. Implemented by the logic; every call is made on the main thread.
class StatusItemView
{
public:
    virtual ~StatusItemView() = default;

    virtual void mouseEntered() = 0;
    virtual void mouseExited() = 0;
    virtual void mouseDown() = 0;
    virtual void rightMouseDown() = 0;

    // The drag's data is only valid during the call.
    virtual DragOperation draggingEntered(const PasteboardReader &drag) = 0;
    virtual DragOperation draggingUpdated(const PasteboardReader &drag) = 0;
    virtual void draggingExited() = 0;
    // Whether the drop was taken.
    virtual bool performDragOperation(const PasteboardReader &drag) = 0;

    virtual StatusItemDrawing drawing(QSizeF bounds) const = 0;
    virtual QString toolTip() const = 0;
    // The context menu as it stands now. A host that shows the menu itself reads it before each
    // showing; a chosen item's action runs on the main thread's next turn.
    virtual QList<MenuItem> menuItems() const = 0;
    // The item has found its place in the status area: docked into a tray, or registered with the
    // host. Told again after each time it had to find a new one.
    virtual void placed() {}
};

// One item in the desktop's status area, showing a view. Removed from the status area when
// destroyed.
class StatusItem
{
public:
    virtual ~StatusItem() = default;

    // Asks the platform to paint the view again soon, and to show its tooltip and icon anew.
    virtual void setNeedsDisplay() = 0;
    // The item's rectangle on screen, in logical pixels; empty when it is not placed anywhere (yet).
    virtual QRectF screenRect() const = 0;
    // Whether pointer hover and drags reach the view; when they do not, the host draws the icon and
    // only clicks arrive.
    virtual bool receivesDrags() const = 0;
    // Pops up a menu at a point in the view's coordinates. Returns at once; an action runs later, on
    // the main thread's next turn after it is chosen.
    virtual void popUpMenu(const QList<MenuItem> &items, QPointF atInView) = 0;
};

// The desktop's status area.
class StatusBar
{
public:
    virtual ~StatusBar() = default;
    // A new item of the given size showing the view, which must outlive it.
    virtual std::unique_ptr<StatusItem> makeStatusItem(StatusItemView &view, QSizeF size) = 0;
};

} // namespace tarno
