#include "platform/x11/XEmbedStatusBar.h"

#include "platform/api/Appearance.h"
#include "platform/qt/AppearancePalette.h"
#include "platform/qt/MimeDataPasteboard.h"
#include "platform/qt/TrayMenu.h"
#include "platform/x11/XcbDisplay.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPointer>
#include <QRasterWindow>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolTip>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

namespace tarno {

namespace {

constexpr quint32 systemTrayRequestDock = 0;
constexpr quint32 xembedMapped = 1;
constexpr int toolTipDelayMs = 700;

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t intern(xcb_connection_t *c, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, false, name.size(), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    free(reply);
    return atom;
}

// The screen named by the display, as Qt's connection uses it.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

xcb_screen_t *defaultScreen(xcb_connection_t *c, int *number = nullptr)
{
    const int screen = screenNumber();
    if (number)
        *number = screen;
    return screenOf(c, screen);
}

xcb_atom_t traySelection(xcb_connection_t *c)
{
    int number = 0;
    defaultScreen(c, &number);
    return intern(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(number));
}

xcb_window_t selectionOwner(xcb_connection_t *c, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    free(reply);
    return owner;
}

// The docked window: paints the view's drawing and feeds it pointer and drag events.
class TrayWindow : public QRasterWindow
{
public:
    TrayWindow(StatusItemView &view, QSizeF designSize, QSvgRenderer &icon, QSvgRenderer &pausedIcon,
               Appearance &appearance)
        : m_view(view), m_designSize(designSize), m_icon(icon), m_pausedIcon(pausedIcon),
          m_appearance(appearance)
    {
        // Not override-redirect: the tray must see our size requests to lay the icon out.
        setFlags(Qt::Window | Qt::FramelessWindowHint);
        setTitle(QStringLiteral("Tarno"));
        // Trays size their icons by the size hints; a tray that imposes another size still wins.
        resize(designSize.toSize());
        setMinimumSize(designSize.toSize());
        setMaximumSize(designSize.toSize());
        m_toolTipTimer.setSingleShot(true);
        m_toolTipTimer.setInterval(toolTipDelayMs);
        QObject::connect(&m_toolTipTimer, &QTimer::timeout, [this] { showToolTip(); });
        // The tray takes the desktop's new look too: its background is read again.
        QObject::connect(&appearance, &Appearance::darkChanged, this, [this] {
            m_trayBackground = QImage();
            update();
        });
    }

    // From the view's design size to the window: uniform, centred.
    QTransform designToWindow() const
    {
        const qreal scale = std::min(width() / m_designSize.width(), height() / m_designSize.height());
        QTransform transform;
        transform.translate((width() - m_designSize.width() * scale) / 2,
                            (height() - m_designSize.height() * scale) / 2);
        transform.scale(scale, scale);
        return transform;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette palette = appearancePalette(QGuiApplication::palette(), m_appearance.isDark());
        // Our window is opaque, so it shows the tray's own background under the drawing, or where
        // that cannot be read, the desktop's window colour of the look it asks for.
        const QSize pixels = size() * devicePixelRatio();
        if (m_trayBackground.size() != pixels)
            m_trayBackground = trayBackground(pixels);
        if (m_trayBackground.isNull())
            painter.fillRect(QRect(QPoint(0, 0), size()), palette.color(QPalette::Window));
        else
            painter.drawImage(QRect(QPoint(0, 0), size()), m_trayBackground);
        painter.setTransform(designToWindow());
        const StatusItemDrawing drawing = m_view.drawing(m_designSize);
        for (const StatusItemDrawing::RoundedRect &shape : drawing.shapes) {
            QColor ink = palette.color(shape.ink == StatusItemDrawing::Ink::accent ? QPalette::Highlight
                                                                                   : QPalette::WindowText);
            ink.setAlphaF(shape.alpha);
            QPainterPath path;
            path.addRoundedRect(shape.rect, shape.radius, shape.radius);
            if (shape.lineWidth > 0)
                painter.strokePath(path, QPen(ink, shape.lineWidth));
            else
                painter.fillPath(path, ink);
        }
        QSvgRenderer &icon = drawing.icon == StatusItemDrawing::Icon::paused ? m_pausedIcon : m_icon;
        if (icon.isValid()) {
            painter.setOpacity(drawing.iconOpacity);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            // Rendered as vectors at the device pixel ratio, so the icon stays crisp at any scale.
            icon.render(&painter, drawing.iconRect);
        }
    }

    bool event(QEvent *event) override;

    // The tray exposes its icons as it redraws itself, as it does when it takes on a new look.
    void exposeEvent(QExposeEvent *event) override
    {
        m_trayBackground = QImage();
        QRasterWindow::exposeEvent(event);
    }

private:
    // What the tray shows where our window sits: the window's background is made the parent's, the
    // server paints it, and we read it back. Null while the window is not on screen.
    QImage trayBackground(QSize pixels)
    {
        xcb_connection_t *c = connection();
        if (!c || !isExposed() || pixels.isEmpty())
            return {};
        const auto window = static_cast<xcb_window_t>(winId());
        const quint32 parentRelative = XCB_BACK_PIXMAP_PARENT_RELATIVE;
        xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXMAP, &parentRelative);
        xcb_clear_area(c, false, window, 0, 0, static_cast<uint16_t>(pixels.width()),
                       static_cast<uint16_t>(pixels.height()));
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(pixels.width()),
                          static_cast<uint16_t>(pixels.height()), ~0u),
            nullptr);
        QImage image;
        const int bytes = reply ? xcb_get_image_data_length(reply) : 0;
        if (reply && reply->depth >= 24 && bytes >= pixels.width() * pixels.height() * 4) {
            image = QImage(xcb_get_image_data(reply), pixels.width(), pixels.height(), pixels.width() * 4,
                           QImage::Format_RGB32)
                        .copy();
            image.setDevicePixelRatio(devicePixelRatio());
        }
        free(reply);
        return image;
    }

    void showToolTip()
    {
        if (qobject_cast<QApplication *>(QCoreApplication::instance()))
            QToolTip::showText(QCursor::pos(), m_view.toolTip());
    }
    void hideToolTip()
    {
        m_toolTipTimer.stop();
        if (qobject_cast<QApplication *>(QCoreApplication::instance()))
            QToolTip::hideText();
    }

    StatusItemView &m_view;
    QSizeF m_designSize;
    QSvgRenderer &m_icon;
    QSvgRenderer &m_pausedIcon;
    Appearance &m_appearance;
    QTimer m_toolTipTimer;
    QImage m_trayBackground;
};

class XEmbedStatusItem : public StatusItem, public QAbstractNativeEventFilter
{
public:
    XEmbedStatusItem(StatusItemView &view, QSizeF size, const QString &iconPath,
                     const QString &pausedIconPath, Appearance &appearance)
        : m_view(view), m_icon(iconPath), m_pausedIcon(pausedIconPath),
          m_window(view, size, m_icon, m_pausedIcon, appearance)
    {
        m_connection = connection();
        if (!m_connection)
            return;
        m_selection = traySelection(m_connection);
        m_manager = intern(m_connection, "MANAGER");
        m_opcode = intern(m_connection, "_NET_SYSTEM_TRAY_OPCODE");
        m_window.create();
        const xcb_window_t window = static_cast<xcb_window_t>(m_window.winId());
        const xcb_atom_t xembedInfo = intern(m_connection, "_XEMBED_INFO");
        const quint32 info[] = {0, xembedMapped};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, xembedInfo, xembedInfo, 32, 2, info);
        // The tray sizes the icon by these hints when it takes it, before Qt would set them on show.
        const QSize pixels = (size * m_window.devicePixelRatio()).toSize();
        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_size(&hints, false, pixels.width(), pixels.height());
        xcb_icccm_size_hints_set_min_size(&hints, pixels.width(), pixels.height());
        xcb_icccm_size_hints_set_max_size(&hints, pixels.width(), pixels.height());
        xcb_icccm_set_wm_normal_hints(m_connection, window, &hints);
        watchRootForNewTrays();
        QCoreApplication::instance()->installNativeEventFilter(this);
        dock();
    }

    ~XEmbedStatusItem() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        m_window.hide();
    }

    void setNeedsDisplay() override { m_window.update(); }

    QRectF screenRect() const override
    {
        if (!m_connection || !m_docked || !m_window.isVisible())
            return {};
        // Asked of the server: a docked window's own idea of its position is relative to the tray.
        int number = 0;
        xcb_screen_t *screen = defaultScreen(m_connection, &number);
        xcb_translate_coordinates_reply_t *reply = xcb_translate_coordinates_reply(
            m_connection,
            xcb_translate_coordinates(m_connection, static_cast<xcb_window_t>(m_window.winId()), screen->root,
                                      0, 0),
            nullptr);
        if (!reply)
            return {};
        const qreal ratio = m_window.devicePixelRatio();
        const QRectF rect(QPointF(reply->dst_x, reply->dst_y) / ratio, QSizeF(m_window.size()));
        free(reply);
        return rect;
    }

    bool receivesDrags() const override { return true; }

    void popUpMenu(const QList<MenuItem> &items, QPointF atInView) override
    {
        const QPointF inWindow = m_window.designToWindow().map(atInView);
        const QRectF rect = screenRect();
        const QPoint global = rect.isEmpty() ? QCursor::pos() : (rect.topLeft() + inWindow).toPoint();
        popUpTrayMenu(items, global);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const uint8_t type = event->response_type & ~0x80;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
            if (client->type == m_manager && client->data.data32[1] == m_selection)
                dock();
        } else if (type == XCB_REPARENT_NOTIFY) {
            const auto *reparent = reinterpret_cast<const xcb_reparent_notify_event_t *>(event);
            // Shown only once the tray holds it, so that no window manager ever frames it on its own.
            if (reparent->window == static_cast<xcb_window_t>(m_window.winId()) && m_docked &&
                reparent->parent != defaultScreen(m_connection)->root) {
                m_window.show();
                m_view.placed();
            }
        } else if (type == XCB_DESTROY_NOTIFY) {
            const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
            if (destroyed->window == m_trayOwner && m_trayOwner != XCB_NONE) {
                // The tray is gone and has handed our window back to the root; keep it out of sight
                // until a tray takes it again.
                m_trayOwner = XCB_NONE;
                m_docked = false;
                m_window.hide();
            }
        }
        return false;
    }

private:
    void watchRootForNewTrays()
    {
        xcb_screen_t *screen = defaultScreen(m_connection);
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, screen->root), nullptr);
        const quint32 mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        free(attributes);
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    }

    void dock()
    {
        const xcb_window_t owner = selectionOwner(m_connection, m_selection);
        if (owner == XCB_NONE)
            return;
        m_trayOwner = owner;
        const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, owner, XCB_CW_EVENT_MASK, &mask);

        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = owner;
        message.type = m_opcode;
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = systemTrayRequestDock;
        message.data.data32[2] = static_cast<quint32>(m_window.winId());
        xcb_send_event(m_connection, false, owner, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
        m_docked = true;
    }

    StatusItemView &m_view;
    QSvgRenderer m_icon;
    QSvgRenderer m_pausedIcon;
    TrayWindow m_window;
    xcb_connection_t *m_connection = nullptr;
    xcb_atom_t m_selection = XCB_NONE;
    xcb_atom_t m_manager = XCB_NONE;
    xcb_atom_t m_opcode = XCB_NONE;
    xcb_window_t m_trayOwner = XCB_NONE;
    bool m_docked = false;
};

bool TrayWindow::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Enter:
        m_view.mouseEntered();
        m_toolTipTimer.start();
        return true;
    case QEvent::Leave:
        m_view.mouseExited();
        hideToolTip();
        return true;
    case QEvent::MouseButtonPress: {
        hideToolTip();
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton)
            m_view.mouseDown();
        else if (press->button() == Qt::RightButton)
            m_view.rightMouseDown();
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(*drag->mimeData());
        const DragOperation operation = event->type() == QEvent::DragEnter
                                            ? m_view.draggingEntered(pasteboard)
                                            : m_view.draggingUpdated(pasteboard);
        if (operation == DragOperation::copy) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept(QRect(QPoint(0, 0), size()));
        } else {
            drag->ignore(QRect(QPoint(0, 0), size()));
        }
        return true;
    }
    case QEvent::DragLeave:
        m_view.draggingExited();
        return true;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(*drop->mimeData());
        if (m_view.performDragOperation(pasteboard)) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    default:
        return QRasterWindow::event(event);
    }
}

} // namespace

XEmbedStatusBar::XEmbedStatusBar(QString iconPath, QString pausedIconPath, Appearance &appearance,
                                 QObject *parent)
    : QObject(parent), m_iconPath(std::move(iconPath)), m_pausedIconPath(std::move(pausedIconPath)),
      m_appearance(appearance)
{}

XEmbedStatusBar::~XEmbedStatusBar() = default;

bool XEmbedStatusBar::isTrayAvailable()
{
    xcb_connection_t *c = connection();
    return c && selectionOwner(c, traySelection(c)) != XCB_NONE;
}

std::unique_ptr<StatusItem> XEmbedStatusBar::makeStatusItem(StatusItemView &view, QSizeF size)
{
    return std::make_unique<XEmbedStatusItem>(view, size, m_iconPath, m_pausedIconPath, m_appearance);
}

} // namespace tarno
