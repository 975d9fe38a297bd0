#include "platform/qt/QtPopover.h"

#include "platform/api/Appearance.h"
#include "platform/api/PopoverPlacement.h"
#include "platform/qt/AppearancePalette.h"
#include "platform/sway/SwayWindowPlacer.h"
#include "platform/x11/X11Compositor.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QVariantAnimation>

#include <xcb/xcb.h>

namespace tarno {

namespace {

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t intern(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, false, static_cast<uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    free(reply);
    return atom;
}

// The content's look: the root item's opacity and scale, animated along a cubic Bézier.
class ContentView : public PopoverContentView
{
public:
    explicit ContentView(QQuickItem &root) : m_root(root)
    {
        QObject::connect(&m_animation, &QVariantAnimation::valueChanged, &m_animation,
                         [this](const QVariant &value) {
                             const qreal t = value.toReal();
                             m_root.setOpacity(m_fromAlpha + (m_toAlpha - m_fromAlpha) * t);
                             m_root.setScale(m_fromScale + (m_toScale - m_fromScale) * t);
                         });
        QObject::connect(&m_animation, &QVariantAnimation::finished, &m_animation, [this] { finish(); });
    }

    qreal alpha() const override { return m_root.opacity(); }
    qreal scale() const override { return m_root.scale(); }
    void setAlpha(qreal alpha) override
    {
        interrupt();
        m_root.setOpacity(alpha);
    }
    void setScale(qreal scale) override
    {
        interrupt();
        m_root.setScale(scale);
    }
    void animate(const ContentAnimation &animation, std::function<void()> finished) override
    {
        interrupt();
        m_fromAlpha = alpha();
        m_fromScale = scale();
        m_toAlpha = animation.alpha;
        m_toScale = animation.scale;
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment(animation.curve.c1, animation.curve.c2, QPointF(1, 1));
        m_animation.setEasingCurve(curve);
        m_animation.setDuration(static_cast<int>(animation.duration.count()));
        m_animation.setStartValue(0.0);
        m_animation.setEndValue(1.0);
        m_finished = finished ? std::move(finished) : [] {};
        m_animation.start();
    }

private:
    void finish()
    {
        if (auto finished = std::exchange(m_finished, {}))
            finished();
    }
    void interrupt()
    {
        if (m_animation.state() == QAbstractAnimation::Running)
            m_animation.stop();
        finish();
    }

    QQuickItem &m_root;
    QVariantAnimation m_animation;
    qreal m_fromAlpha = 0;
    qreal m_fromScale = 1;
    qreal m_toAlpha = 1;
    qreal m_toScale = 1;
    std::function<void()> m_finished;
};

} // namespace

class PopoverWindow : public QQuickWindow
{
public:
    std::function<void()> onEscape;
    std::function<void()> onPaletteChange;
    // The content built into the window, or null.
    QQuickItem *content = nullptr;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange && onPaletteChange)
            onPaletteChange();
        return QQuickWindow::event(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        // Keys typed right after the window is shown can arrive before Qt Quick has handed the focus
        // to an item (it does so once the window's activation is processed); the content takes those
        // itself, so that none is lost.
        bool taken = false;
        if (activeFocusItem()) {
            event->ignore();
            QQuickWindow::keyPressEvent(event);
            taken = event->isAccepted();
        } else if (content) {
            event->ignore();
            QCoreApplication::sendEvent(content, event);
            taken = event->isAccepted();
        }
        // The content may take Escape for itself (to clear its search); only one it leaves closes.
        if (event->key() == Qt::Key_Escape && !taken && onEscape)
            onEscape();
    }
};

class QtPopover::Private
{
public:
    Private(QtPopover &q, Appearance &appearance) : q(q), appearance(appearance) {}

    void closeTransiently() { q.performClose(); }

    // A compositor blends the window's transparent corners with what lies behind it. Without one
    // they would show black, so the window is cut to the content's rounded shape, and is cleared to
    // the popover's own colour, light or dark, so that the edge's smoothed pixels blend with it
    // rather than black.
    void followCompositor()
    {
        const bool compositing = X11CompositorWatch::instance().isActive();
        window.setColor(
            compositing
                ? QColor(Qt::transparent)
                : appearancePalette(QGuiApplication::palette(), appearance.isDark()).color(QPalette::Window));
        const qreal ratio = window.devicePixelRatio();
        setRoundedWindowShape(window.winId(), (size * ratio).toSize(),
                              compositing ? 0 : cornerRadius * ratio);
    }

    // The radius of the rounded background the views draw.
    static constexpr qreal cornerRadius = 12;

    QtPopover &q;
    Appearance &appearance;
    PopoverDelegate *delegate = nullptr;
    QSizeF size{360, 480};
    // The engine outlives the window and every item made with it.
    QQmlEngine engine;
    PopoverWindow window;
    QQuickItem *root = nullptr;
    std::unique_ptr<ContentView> content;
    // On sway's Xwayland, what places the window: sway itself would centre it.
    std::unique_ptr<SwayWindowPlacer> sway = connection() ? SwayWindowPlacer::fromEnvironment() : nullptr;
    bool shown = false;
    bool wasActive = false;
};

QtPopover::QtPopover(Appearance &appearance) : d(std::make_unique<Private>(*this, appearance))
{
    PopoverWindow &window = d->window;
    // A tool window has no taskbar entry of its own; the states below keep it out of pagers too.
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setTitle(QStringLiteral("Tarno"));
    // Always with an alpha channel: a compositor may start or stop while the window exists, and its
    // visual cannot change after it is made.
    QSurfaceFormat format = window.format();
    format.setAlphaBufferSize(8);
    window.setFormat(format);
    window.resize(d->size.toSize());
    window.create();
    if (xcb_connection_t *c = connection()) {
        const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
        const xcb_atom_t states[] = {intern(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                     intern(c, "_NET_WM_STATE_SKIP_PAGER"), intern(c, "_NET_WM_STATE_ABOVE")};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, intern(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 3,
                            states);
    }
    d->followCompositor();
    QObject::connect(&X11CompositorWatch::instance(), &X11CompositorWatch::activeChanged, &window,
                     [this] { d->followCompositor(); });
    QObject::connect(&window, &QWindow::screenChanged, &window, [this] { d->followCompositor(); });
    QObject::connect(&appearance, &Appearance::darkChanged, &window, [this] { d->followCompositor(); });
    window.onPaletteChange = [this] { d->followCompositor(); };
    d->root = new QQuickItem(window.contentItem());
    d->root->setSize(d->size);
    d->root->setTransformOrigin(QQuickItem::Center);

    window.onEscape = [this] { d->closeTransiently(); };
    QObject::connect(&window, &QWindow::activeChanged, &window, [this] {
        if (d->window.isActive()) {
            d->wasActive = true;
            return;
        }
        // Focus going to another window of ours (the menu) keeps it open; another program taking it
        // closes it.
        if (d->shown && d->wasActive && !QGuiApplication::focusWindow())
            d->closeTransiently();
    });
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &window, [this](QWindow *focus) {
        if (!focus && d->shown && d->wasActive)
            d->closeTransiently();
    });
}

QtPopover::~QtPopover()
{
    // Going away is no close to report, and the focus change it causes must find nothing to close.
    d->delegate = nullptr;
    d->shown = false;
    QObject::disconnect(qGuiApp, nullptr, &d->window, nullptr);
    d->window.hide();
}

void QtPopover::setDelegate(PopoverDelegate *delegate)
{
    d->delegate = delegate;
}

void QtPopover::setContentSize(QSizeF size)
{
    d->size = size;
    d->window.resize(size.toSize());
    d->root->setSize(size);
    d->followCompositor();
}

QSizeF QtPopover::contentSize() const
{
    return d->size;
}

PopoverContentView *QtPopover::setContentView(PopoverContentBuilder build)
{
    d->content.reset();
    for (QQuickItem *child : d->root->childItems())
        delete child;
    d->window.content = nullptr;
    QQuickItem *item = build ? build(d->engine, d->root) : nullptr;
    if (!item)
        return nullptr;
    d->window.content = item;
    d->content = std::make_unique<ContentView>(*d->root);
    return d->content.get();
}

bool QtPopover::isShown() const
{
    return d->shown;
}

void QtPopover::show(QRectF anchor)
{
    QScreen *screen = QGuiApplication::screenAt(anchor.center().toPoint());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (anchor.isEmpty())
        anchor = QRectF(QCursor::pos(), QSizeF(1, 1));
    const QRectF frame = screen
                             ? popoverFrame(anchor, d->size, screen->geometry(), screen->availableGeometry())
                             : QRectF({}, d->size);
    // Rounded as a whole: a frame at a half pixel (centred on the pointer) keeps its size.
    const QRect geometry(frame.topLeft().toPoint(), frame.size().toSize());
    d->window.setGeometry(geometry);
    // Qt may leave a hidden window's new position for later, and the window then shows for a moment
    // where it was made, in the corner of the screen; told ahead of the map, the server never does.
    if (xcb_connection_t *c = connection()) {
        const qreal ratio = d->window.devicePixelRatio();
        const uint32_t values[] = {
            uint32_t(qRound(geometry.x() * ratio)), uint32_t(qRound(geometry.y() * ratio)),
            uint32_t(qRound(geometry.width() * ratio)), uint32_t(qRound(geometry.height() * ratio))};
        xcb_configure_window(c, static_cast<xcb_window_t>(d->window.winId()),
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        if (d->sway)
            d->sway->placeWhenMapped(d->window.winId(), QPoint(int(values[0]), int(values[1])));
    }
    d->shown = true;
    d->wasActive = false;
    d->window.show();
    d->window.raise();
    d->window.requestActivate();
}

void QtPopover::performClose()
{
    if (!d->shown)
        return;
    d->shown = false;
    d->wasActive = false;
    if (d->sway)
        d->sway->forget(d->window.winId());
    d->window.hide();
    if (d->delegate)
        d->delegate->popoverDidClose();
}

std::optional<QRectF> QtPopover::windowFrame() const
{
    if (!d->window.handle())
        return std::nullopt;
    return QRectF(d->window.frameGeometry());
}

QQuickWindow *QtPopover::window() const
{
    return &d->window;
}

} // namespace tarno
