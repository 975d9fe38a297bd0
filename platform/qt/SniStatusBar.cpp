#include "platform/qt/SniStatusBar.h"

#include "platform/qt/TrayMenu.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>

namespace tarno {

namespace {

class SniStatusItem : public StatusItem
{
public:
    SniStatusItem(StatusItemView &view, QSizeF size, const QString &iconPath, const QString &pausedIconPath)
        : m_view(view), m_size(size), m_normalIcon(iconPath), m_pausedIcon(pausedIconPath)
    {
        showViewState();
        // Given a menu, Qt exports it over com.canonical.dbusmenu and names it in the item's Menu
        // property, so hosts that draw menus themselves (and never call ContextMenu) can show it.
        QObject::connect(&m_menu, &QMenu::aboutToShow, &m_menu,
                         [this] { syncTrayMenu(m_menu, m_view.menuItems()); });
        m_icon.setContextMenu(&m_menu);
        QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             m_lastPointer = QCursor::pos();
                             if (reason == QSystemTrayIcon::Trigger)
                                 m_view.mouseDown();
                             else if (reason == QSystemTrayIcon::Context)
                                 m_view.rightMouseDown();
                         });
        m_icon.show();
        // Qt registers the item with the watcher as it shows it, when a watcher is there to take it.
        if (SniStatusBar::isWatcherAvailable())
            QTimer::singleShot(0, &m_icon, [this] { m_view.placed(); });
    }

    // The host draws the icon itself; only which icon, and the tooltip, are ours to change.
    void setNeedsDisplay() override { showViewState(); }

    QRectF screenRect() const override
    {
        const QRect geometry = m_icon.geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry;
        // Hosts over D-Bus do not say where the icon is; the click that just arrived was on it.
        if (m_lastPointer.isNull())
            return {};
        return QRectF(QPointF(m_lastPointer) - QPointF(12, 12), QSizeF(24, 24));
    }

    bool receivesDrags() const override { return false; }

    void popUpMenu(const QList<MenuItem> &items, QPointF) override { popUpTrayMenu(items, QCursor::pos()); }

private:
    void showViewState()
    {
        // Kept current, not only on AboutToShow, for hosts that read the layout without asking first.
        syncTrayMenu(m_menu, m_view.menuItems());
        const bool paused = m_view.drawing(m_size).icon == StatusItemDrawing::Icon::paused;
        // Each change is a signal to the host, which then asks for the whole icon again.
        if (!m_shownIcon || *m_shownIcon != paused) {
            m_icon.setIcon(paused ? m_pausedIcon : m_normalIcon);
            m_shownIcon = paused;
        }
        const QString toolTip = m_view.toolTip();
        if (m_icon.toolTip() != toolTip)
            m_icon.setToolTip(toolTip);
    }

    StatusItemView &m_view;
    QSizeF m_size;
    QIcon m_normalIcon;
    QIcon m_pausedIcon;
    // Before the icon, which refers to it until it is gone.
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    std::optional<bool> m_shownIcon;
    QPoint m_lastPointer;
};

} // namespace

SniStatusBar::SniStatusBar(QString iconPath, QString pausedIconPath)
    : m_iconPath(std::move(iconPath)), m_pausedIconPath(std::move(pausedIconPath))
{}

SniStatusBar::~SniStatusBar() = default;

bool SniStatusBar::isWatcherAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

std::unique_ptr<StatusItem> SniStatusBar::makeStatusItem(StatusItemView &view, QSizeF size)
{
    return std::make_unique<SniStatusItem>(view, size, m_iconPath, m_pausedIconPath);
}

} // namespace tarno
