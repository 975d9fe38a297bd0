#include "platform/qt/SniStatusBar.h"

#include "platform/qt/DBusMenu.h"
#include "platform/qt/TrayMenu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QImage>
#include <QtEndian>

#include <optional>

namespace tarno {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");

// One size of an icon as the protocol carries it: ARGB32 in network byte order, (iiay).
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniPixmaps = QList<SniPixmap>;

// (sa(iiay)ss): an icon name, its pixmaps, a title and a description.
struct SniToolTip
{
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString description;
};

} // namespace

} // namespace tarno

Q_DECLARE_METATYPE(tarno::SniPixmap)
Q_DECLARE_METATYPE(tarno::SniToolTip)

namespace tarno {

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const SniPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.description;
    argument.endStructure();
    return argument;
}

// The icon at the sizes hosts draw tray icons at, so that none has to scale a bitmap up.
SniPixmaps pixmapsOf(const QString &path)
{
    const QIcon icon(path);
    SniPixmaps pixmaps;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap{image.width(), image.height(), QByteArray(image.width() * image.height() * 4, 0)};
        auto *out = reinterpret_cast<quint32 *>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *in = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(in[x]);
        }
        pixmaps << pixmap;
    }
    return pixmaps;
}

} // namespace

// The item as hosts see it over D-Bus, at /StatusNotifierItem. Its methods carry where the host
// was clicked, which is where the popover and the menu open.
class StatusNotifierItemObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ emptyName)
    Q_PROPERTY(tarno::SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(tarno::SniPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(tarno::SniPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(QString IconThemePath READ emptyName)
    Q_PROPERTY(tarno::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    std::function<void(QPoint)> activated;
    std::function<void(QPoint)> contextMenuRequested;

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("tarno"); }
    QString title() const { return QStringLiteral("Tarno"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString emptyName() const { return {}; }
    SniPixmaps iconPixmap() const { return m_pixmaps; }
    SniPixmaps noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return {{}, {}, m_toolTip, {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(menuPath); }

    void setIcon(SniPixmaps pixmaps)
    {
        m_pixmaps = std::move(pixmaps);
        Q_EMIT NewIcon();
    }
    void setToolTip(const QString &toolTip)
    {
        m_toolTip = toolTip;
        Q_EMIT NewToolTip();
    }

public Q_SLOTS:
    void Activate(int x, int y) { activated(QPoint(x, y)); }
    void ContextMenu(int x, int y) { contextMenuRequested(QPoint(x, y)); }
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString &) {}

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    SniPixmaps m_pixmaps;
    QString m_toolTip;
};

namespace {

class SniStatusItem : public StatusItem
{
public:
    SniStatusItem(StatusItemView &view, QSizeF size, const QString &iconPath, const QString &pausedIconPath)
        : m_view(view), m_size(size), m_normalIcon(pixmapsOf(iconPath)),
          m_pausedIcon(pixmapsOf(pausedIconPath)), m_menu([this] { return m_view.menuItems(); }),
          m_service(QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++s_instances)),
          m_watcher(watcherService, m_bus, QDBusServiceWatcher::WatchForRegistration)
    {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        DBusMenu::registerTypes();
        m_item.activated = [this](QPoint at) {
            m_lastClick = clickPoint(at);
            m_view.mouseDown();
        };
        m_item.contextMenuRequested = [this](QPoint at) {
            m_lastClick = clickPoint(at);
            m_view.rightMouseDown();
        };
        showViewState();
        m_bus.registerObject(itemPath, &m_item, QDBusConnection::ExportAllContents);
        m_bus.registerObject(menuPath, &m_menu, QDBusConnection::ExportAllContents);
        m_bus.registerService(m_service);
        // A host that starts again (or later) has its watcher come back; the item then registers anew.
        QObject::connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, &m_item,
                         [this] { registerItem(); });
        registerItem();
    }
    ~SniStatusItem() override
    {
        m_bus.unregisterService(m_service);
        m_bus.unregisterObject(menuPath);
        m_bus.unregisterObject(itemPath);
    }

    // The host draws the icon itself; which icon, the tooltip and the menu are ours to change.
    void setNeedsDisplay() override { showViewState(); }

    QRectF screenRect() const override
    {
        // Hosts do not say where the icon is, only where it was clicked: the icon is there.
        if (!m_lastClick)
            return {};
        return QRectF(QPointF(*m_lastClick) - QPointF(12, 12), QSizeF(24, 24));
    }

    bool receivesDrags() const override { return false; }

    void popUpMenu(const QList<MenuItem> &items, QPointF) override
    {
        popUpTrayMenu(items, m_lastClick.value_or(QCursor::pos()));
    }

private:
    // Hosts that do not know where the click was send the origin.
    static QPoint clickPoint(QPoint reported) { return reported.isNull() ? QCursor::pos() : reported; }

    void registerItem()
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(watcherService, QStringLiteral("/StatusNotifierWatcher"),
                                           watcherService, QStringLiteral("RegisterStatusNotifierItem"));
        call << m_service;
        auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), &m_item);
        QObject::connect(
            pending, &QDBusPendingCallWatcher::finished, &m_item, [this](QDBusPendingCallWatcher *reply) {
                reply->deleteLater();
                if (reply->isError()) {
                    qWarning("The tray did not take Tarno's icon: %s", qPrintable(reply->error().message()));
                    return;
                }
                m_view.placed();
            });
    }

    void showViewState()
    {
        m_menu.refresh();
        const bool paused = m_view.drawing(m_size).icon == StatusItemDrawing::Icon::paused;
        // Each change is a signal to the host, which then asks for the whole icon again.
        if (!m_shownIcon || *m_shownIcon != paused) {
            m_item.setIcon(paused ? m_pausedIcon : m_normalIcon);
            m_shownIcon = paused;
        }
        const QString toolTip = m_view.toolTip();
        if (m_item.toolTip().title != toolTip)
            m_item.setToolTip(toolTip);
    }

    static inline int s_instances = 0;

    StatusItemView &m_view;
    QSizeF m_size;
    SniPixmaps m_normalIcon;
    SniPixmaps m_pausedIcon;
    StatusNotifierItemObject m_item;
    DBusMenu m_menu;
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    QString m_service;
    QDBusServiceWatcher m_watcher;
    std::optional<bool> m_shownIcon;
    std::optional<QPoint> m_lastClick;
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
           bus.interface()->isServiceRegistered(watcherService).value();
}

std::unique_ptr<StatusItem> SniStatusBar::makeStatusItem(StatusItemView &view, QSizeF size)
{
    return std::make_unique<SniStatusItem>(view, size, m_iconPath, m_pausedIconPath);
}

} // namespace tarno

#include "SniStatusBar.moc"
