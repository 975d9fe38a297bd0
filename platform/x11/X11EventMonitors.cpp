#include "platform/x11/X11EventMonitors.h"

#include "platform/x11/XcbDisplay.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QWindow>

#include <map>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace tarno {

namespace {

bool isWatchedButton(Qt::MouseButton button)
{
    return button == Qt::LeftButton || button == Qt::RightButton;
}

// Button numbers of the core protocol: 1 left, 3 right.
bool isWatchedButton(uint32_t detail)
{
    return detail == 1 || detail == 3;
}

} // namespace

class X11EventMonitors::Private : public QObject
{
public:
    ~Private() override { closeConnection(); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Presses reach a widget through its window too; counting the window's alone sees each once.
        if (event->type() == QEvent::MouseButtonPress && qobject_cast<QWindow *>(watched) &&
            isWatchedButton(static_cast<QMouseEvent *>(event)->button()))
            dispatch(false);
        return false;
    }

    void dispatch(bool global)
    {
        std::vector<Handler> handlers;
        for (const auto &[token, monitor] : monitors) {
            if (monitor.global == global)
                handlers.push_back(monitor.handler);
        }
        for (const Handler &handler : handlers)
            handler();
    }

    bool hasMonitor(bool global) const
    {
        for (const auto &[token, monitor] : monitors) {
            if (monitor.global == global)
                return true;
        }
        return false;
    }

    bool openConnection()
    {
        if (connection)
            return true;
        const XcbDisplay display = connectToDisplay();
        if (!display.connection)
            return false;
        xcb_connection_t *c = display.connection;
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_input_id);
        xcb_input_xi_query_version_reply_t *version =
            extension && extension->present
                ? xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 0), nullptr)
                : nullptr;
        if (!version) {
            xcb_disconnect(c);
            return false;
        }
        free(version);
        root = display.screen->root;
        connection = c;
        extensionOpcode = extension->major_opcode;
        notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
        return true;
    }

    // Raw presses are only asked for while someone listens, so an idle program never wakes up for
    // clicks elsewhere; the connection itself stays open for the next show.
    void selectPresses(bool selected)
    {
        if (!connection || selected == pressesSelected)
            return;
        struct
        {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                    selected ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
        xcb_input_xi_select_events(connection, root, 1, &selection.head);
        xcb_flush(connection);
        pressesSelected = selected;
    }

    void closeConnection()
    {
        pressesSelected = false;
        notifier.reset();
        if (connection)
            xcb_disconnect(connection);
        connection = nullptr;
    }

    void readEvents()
    {
        int presses = 0;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & ~0x80) == XCB_GE_GENERIC) {
                const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
                const auto *raw = reinterpret_cast<const xcb_input_raw_button_press_event_t *>(event);
                if (generic->extension == extensionOpcode &&
                    generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS && isWatchedButton(raw->detail))
                    ++presses;
            }
            free(event);
        }
        if (xcb_connection_has_error(connection)) {
            closeConnection();
            return;
        }
        for (int i = 0; i < presses; ++i)
            dispatch(true);
    }

    struct Monitor
    {
        bool global;
        Handler handler;
    };
    std::map<Token, Monitor> monitors;
    Token next = 1;
    bool filterInstalled = false;
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_NONE;
    bool pressesSelected = false;
    uint8_t extensionOpcode = 0;
    std::unique_ptr<QSocketNotifier> notifier;
};

X11EventMonitors::X11EventMonitors() : d(std::make_unique<Private>()) {}

X11EventMonitors::~X11EventMonitors()
{
    if (d->filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(d.get());
}

std::optional<EventMonitors::Token> X11EventMonitors::addGlobalMouseDownMonitor(Handler handler)
{
    if (!d->openConnection())
        return std::nullopt;
    const Token token = d->next++;
    d->monitors.emplace(token, Private::Monitor{true, std::move(handler)});
    d->selectPresses(true);
    return token;
}

std::optional<EventMonitors::Token> X11EventMonitors::addLocalMouseDownMonitor(Handler handler)
{
    if (!QCoreApplication::instance())
        return std::nullopt;
    if (!d->filterInstalled) {
        QCoreApplication::instance()->installEventFilter(d.get());
        d->filterInstalled = true;
    }
    const Token token = d->next++;
    d->monitors.emplace(token, Private::Monitor{false, std::move(handler)});
    return token;
}

void X11EventMonitors::removeMonitor(Token token)
{
    d->monitors.erase(token);
    if (!d->hasMonitor(true))
        d->selectPresses(false);
}

QPointF X11EventMonitors::mouseLocation() const
{
    return QCursor::pos();
}

} // namespace tarno
