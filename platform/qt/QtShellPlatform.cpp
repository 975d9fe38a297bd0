#include "platform/qt/QtShellPlatform.h"

#include "platform/qt/QtApplication.h"
#include "platform/qt/QtPopover.h"
#include "platform/qt/SniStatusBar.h"
#include "platform/x11/X11EventMonitors.h"
#include "platform/x11/X11GlobalShortcut.h"
#include "platform/x11/XEmbedStatusBar.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QQuickWindow>
#include <QTimer>

namespace tarno {

namespace {

// An item for a session whose status area is not up yet: an XEmbed item, which docks into the first
// tray that announces itself, until a StatusNotifierWatcher appears on the bus first, when it becomes
// an item of that host instead. The bus says when the watcher comes; nothing is polled.
class LateTrayStatusItem : public StatusItem
{
public:
    LateTrayStatusItem(StatusBar &xembed, StatusBar &statusNotifier, StatusItemView &view, QSizeF size)
        : m_statusNotifier(statusNotifier), m_view(view), m_size(size),
          m_item(xembed.makeStatusItem(view, size)),
          m_watcher(std::make_unique<QDBusServiceWatcher>(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                                          QDBusConnection::sessionBus(),
                                                          QDBusServiceWatcher::WatchForRegistration))
    {
        QObject::connect(m_watcher.get(), &QDBusServiceWatcher::serviceRegistered, m_watcher.get(),
                         [this] { QTimer::singleShot(0, m_watcher.get(), [this] { watcherAppeared(); }); });
        // It may have come between the platform's first look and the watch.
        if (SniStatusBar::isWatcherAvailable())
            QTimer::singleShot(0, m_watcher.get(), [this] { watcherAppeared(); });
    }

    void setNeedsDisplay() override { m_item->setNeedsDisplay(); }
    QRectF screenRect() const override { return m_item->screenRect(); }
    bool receivesDrags() const override { return m_item->receivesDrags(); }
    void popUpMenu(const QList<MenuItem> &items, QPointF atInView) override
    {
        m_item->popUpMenu(items, atInView);
    }

private:
    void watcherAppeared()
    {
        // A tray that came first keeps the item.
        if (!m_waiting || XEmbedStatusBar::isTrayAvailable() || !SniStatusBar::isWatcherAvailable())
            return;
        // From now on the host's own protocol follows the watcher when it restarts.
        m_waiting = false;
        m_item.reset();
        m_item = m_statusNotifier.makeStatusItem(m_view, m_size);
    }

    StatusBar &m_statusNotifier;
    StatusItemView &m_view;
    QSizeF m_size;
    std::unique_ptr<StatusItem> m_item;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    bool m_waiting = true;
};

class NoGlobalShortcut : public GlobalShortcut
{
public:
    Result setKeyCombination(std::optional<QKeyCombination>) override { return Result::unsupported; }
    void setActivatedHandler(Handler) override {}
};

class LateTrayStatusBar : public StatusBar
{
public:
    LateTrayStatusBar(const QString &iconPath, const QString &pausedIconPath, Appearance &appearance)
        : m_xembed(iconPath, pausedIconPath, appearance), m_statusNotifier(iconPath, pausedIconPath)
    {}

    std::unique_ptr<StatusItem> makeStatusItem(StatusItemView &view, QSizeF size) override
    {
        return std::make_unique<LateTrayStatusItem>(m_xembed, m_statusNotifier, view, size);
    }

private:
    XEmbedStatusBar m_xembed;
    SniStatusBar m_statusNotifier;
};

} // namespace

QtShellPlatform::QtShellPlatform(const QString &iconPath, const QString &pausedIconPath,
                                 Appearance &appearance)
    : m_appearance(appearance),
      m_trayKind(!XEmbedStatusBar::isTrayAvailable() && SniStatusBar::isWatcherAvailable()
                     ? TrayKind::statusNotifier
                     : TrayKind::xembed),
      m_eventMonitors(std::make_unique<X11EventMonitors>()), m_application(std::make_unique<QtApplication>())
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        m_globalShortcut = std::make_unique<X11GlobalShortcut>();
    else
        m_globalShortcut = std::make_unique<NoGlobalShortcut>();
    // The popover is one small panel: Qt Quick's software renderer draws it in a few milliseconds,
    // while loading the OpenGL stack for it would more than double the program's resident memory.
    // Chosen once per process: Qt takes it only before the first scene graph exists.
    static const bool softwareChosen = [] {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return true;
    }();
    Q_UNUSED(softwareChosen)
    if (m_trayKind == TrayKind::statusNotifier)
        m_statusBar = std::make_unique<SniStatusBar>(iconPath, pausedIconPath);
    else if (XEmbedStatusBar::isTrayAvailable())
        m_statusBar = std::make_unique<XEmbedStatusBar>(iconPath, pausedIconPath, appearance);
    else
        m_statusBar = std::make_unique<LateTrayStatusBar>(iconPath, pausedIconPath, appearance);
}

QtShellPlatform::~QtShellPlatform() = default;

std::unique_ptr<Popover> QtShellPlatform::makePopover() const
{
    return std::make_unique<QtPopover>(m_appearance);
}

} // namespace tarno
