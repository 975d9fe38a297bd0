// The freedesktop portal's Settings interface as a desktop offers it on the session bus, with one
// setting, org.freedesktop.appearance color-scheme, given as the first argument. Each number read
// from standard input becomes the new value and is announced with SettingChanged. With "--read-only"
// as the second argument it answers only the older Read, as portals before ReadOne do. It prints
// "ready" once it owns the portal's name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

const QString path = "/org/freedesktop/portal/desktop";
const QString interface = "org.freedesktop.portal.Settings";

class Settings : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
    Q_PROPERTY(uint version READ version)

public:
    Settings(uint colorScheme, bool readOnly) : m_colorScheme(colorScheme), m_readOnly(readOnly) {}

    uint version() const { return m_readOnly ? 1 : 2; }

    void setColorScheme(uint value)
    {
        m_colorScheme = value;
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, "SettingChanged");
        signal << "org.freedesktop.appearance"
               << "color-scheme" << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection::sessionBus().send(signal);
    }

public Q_SLOTS:
    QDBusVariant ReadOne(const QString &nameSpace, const QString &key, const QDBusMessage &message)
    {
        if (m_readOnly) {
            message.setDelayedReply(true);
            QDBusConnection::sessionBus().send(
                message.createErrorReply(QDBusError::UnknownMethod, "No such method 'ReadOne'"));
            return {};
        }
        return value(nameSpace, key, message);
    }
    // The older method wraps the value in a second variant.
    QDBusVariant Read(const QString &nameSpace, const QString &key, const QDBusMessage &message)
    {
        const QDBusVariant inner = value(nameSpace, key, message);
        return QDBusVariant(QVariant::fromValue(inner));
    }

private:
    QDBusVariant value(const QString &nameSpace, const QString &key, const QDBusMessage &message)
    {
        if (nameSpace != "org.freedesktop.appearance" || key != "color-scheme") {
            message.setDelayedReply(true);
            QDBusConnection::sessionBus().send(message.createErrorReply(
                "org.freedesktop.portal.Error.NotFound", "Requested setting not found"));
            return {};
        }
        return QDBusVariant(m_colorScheme);
    }

    uint m_colorScheme;
    bool m_readOnly;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    Settings settings(arguments.value(1).toUInt(), arguments.value(2) == "--read-only");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(path, &settings,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (length <= 0) {
            QCoreApplication::quit();
            return;
        }
        for (const QByteArray &line : QByteArray(buffer, int(length)).split('\n')) {
            if (!line.trimmed().isEmpty())
                settings.setColorScheme(line.trimmed().toUInt());
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "fake_portal.moc"
