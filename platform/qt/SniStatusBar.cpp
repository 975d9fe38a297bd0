#include "platform/qt/SniStatusBar.h"

#include "platform/qt/TrayMenu.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QIcon>
#include <QSystemTrayIcon>

namespace tarno {

namespace {

class SniStatusItem : public StatusItem
{
public:
    SniStatusItem(StatusItemView &view, const QString &iconPath) : m_view(view), m_icon(QIcon(iconPath))
    {
        m_icon.setToolTip(view.toolTip());
        QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             m_lastPointer = QCursor::pos();
                             if (reason == QSystemTrayIcon::Trigger)
                                 m_view.mouseDown();
                             else if (reason == QSystemTrayIcon::Context)
                                 m_view.rightMouseDown();
                         });
        m_icon.show();
    }

    // The host draws the icon itself.
    void setNeedsDisplay() override {}

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
    StatusItemView &m_view;
    QSystemTrayIcon m_icon;
    QPoint m_lastPointer;
};

} // namespace

SniStatusBar::SniStatusBar(QString iconPath) : m_iconPath(std::move(iconPath)) {}

SniStatusBar::~SniStatusBar() = default;

bool SniStatusBar::isWatcherAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

std::unique_ptr<StatusItem> SniStatusBar::makeStatusItem(StatusItemView &view, QSizeF)
{
    return std::make_unique<SniStatusItem>(view, m_iconPath);
}

} // namespace tarno
