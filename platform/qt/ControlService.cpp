#include "platform/qt/ControlService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

namespace tarno {

ControlService::ControlService(Actions actions, QObject *parent)
    : QObject(parent), m_actions(std::move(actions))
{}

ControlService::~ControlService()
{
    if (m_serviceName.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(objectPath);
    bus.unregisterService(m_serviceName);
}

bool ControlService::registerOn(const QString &serviceName)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots))
        return false;
    if (!bus.registerService(serviceName)) {
        bus.unregisterObject(objectPath);
        return false;
    }
    m_serviceName = serviceName;
    return true;
}

ControlService::Delivery ControlService::send(const QString &serviceName, const QString &method, int waitMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Delivery::failed;
    if (!bus.interface()->isServiceRegistered(serviceName).value()) {
        // The other Tarno holds the display but may not have reached the bus yet.
        QEventLoop loop;
        QDBusServiceWatcher watcher(serviceName, bus, QDBusServiceWatcher::WatchForRegistration);
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
        QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
        // Asked again once watching, in case it arrived in between.
        if (!bus.interface()->isServiceRegistered(serviceName).value())
            loop.exec();
        if (!bus.interface()->isServiceRegistered(serviceName).value())
            return Delivery::noInstance;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName, objectPath, QStringLiteral("org.tarno.Tarno"), method);
    const QDBusMessage reply = bus.call(call, QDBus::Block, waitMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Delivery::delivered : Delivery::failed;
}

void ControlService::Toggle()
{
    later(m_actions.toggle);
}

void ControlService::Show()
{
    later(m_actions.show);
}

void ControlService::Quit()
{
    later(m_actions.quit);
}

void ControlService::later(const std::function<void()> &action)
{
    if (action)
        QTimer::singleShot(0, this, action);
}

} // namespace tarno
