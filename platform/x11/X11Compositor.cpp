#include "platform/x11/X11Compositor.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace tarno {

namespace {

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen named by the display, the one Qt's connection shows.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

xcb_window_t rootWindow(xcb_connection_t *c, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem > 1; ++i)
        xcb_screen_next(&it);
    return it.rem > 0 ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

xcb_atom_t intern(xcb_connection_t *c, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, false, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

bool isOwned(xcb_connection_t *c, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

} // namespace

class X11CompositorWatch::Filter : public QAbstractNativeEventFilter
{
public:
    explicit Filter(X11CompositorWatch &watch) : m_watch(watch) {}

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != notifyType)
            return false;
        const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        if (notify->selection != selection)
            return false;
        // A new owner, or the owner's window or client gone: nobody holds it then.
        m_watch.setActive(notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                          notify->owner != XCB_WINDOW_NONE);
        // Qt's own clipboard handling has no use for this selection's events either way.
        return false;
    }

    uint8_t notifyType = 0;
    xcb_atom_t selection = XCB_ATOM_NONE;

private:
    X11CompositorWatch &m_watch;
};

X11CompositorWatch &X11CompositorWatch::instance()
{
    static X11CompositorWatch *watch = nullptr;
    if (!watch) {
        watch = new X11CompositorWatch(qGuiApp);
        QObject::connect(watch, &QObject::destroyed, [] { watch = nullptr; });
    }
    return *watch;
}

X11CompositorWatch::X11CompositorWatch(QObject *parent) : QObject(parent)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    const int screen = screenNumber();
    const xcb_window_t root = rootWindow(c, screen);
    const xcb_atom_t selection = intern(c, "_NET_WM_CM_S" + QByteArray::number(screen));
    if (!xfixes || !xfixes->present || root == XCB_WINDOW_NONE || selection == XCB_ATOM_NONE) {
        m_active = selection != XCB_ATOM_NONE && isOwned(c, selection);
        return;
    }
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    m_filter = new Filter(*this);
    m_filter->notifyType = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    m_filter->selection = selection;
    qGuiApp->installNativeEventFilter(m_filter);
    xcb_xfixes_select_selection_input(c, root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    // Asked after the events are selected, so that no change falls between the two.
    m_active = isOwned(c, selection);
}

X11CompositorWatch::~X11CompositorWatch()
{
    if (m_filter && qGuiApp)
        qGuiApp->removeNativeEventFilter(m_filter);
    delete m_filter;
}

void X11CompositorWatch::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Q_EMIT activeChanged(active);
}

void setRoundedWindowShape(quintptr window, QSize size, qreal radius)
{
    xcb_connection_t *c = connection();
    if (!c || !window)
        return;
    const auto id = static_cast<xcb_window_t>(window);
    if (radius <= 0 || size.isEmpty()) {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_PIXMAP_NONE);
        xcb_flush(c);
        return;
    }
    const int w = size.width();
    const int h = size.height();
    const int r = std::min({int(std::ceil(radius)), w / 2, h / 2});
    // One band a pixel high for each row of the corners, cut in where the arc passes the row's
    // middle, and one band for the straight part between them.
    std::vector<xcb_rectangle_t> bands;
    bands.reserve(2 * r + 1);
    const auto inset = [&](int row) {
        const qreal dy = radius - (row + 0.5);
        return dy <= 0 ? 0
                       : int(std::lround(radius - std::sqrt(std::max<qreal>(0, radius * radius - dy * dy))));
    };
    for (int row = 0; row < r; ++row) {
        const int dx = inset(row);
        bands.push_back({int16_t(dx), int16_t(row), uint16_t(std::max(0, w - 2 * dx)), 1});
    }
    bands.push_back({0, int16_t(r), uint16_t(w), uint16_t(h - 2 * r)});
    for (int row = r - 1; row >= 0; --row) {
        const int dx = inset(row);
        bands.push_back({int16_t(dx), int16_t(h - 1 - row), uint16_t(std::max(0, w - 2 * dx)), 1});
    }
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED, id, 0, 0,
                         uint32_t(bands.size()), bands.data());
    xcb_flush(c);
}

} // namespace tarno
