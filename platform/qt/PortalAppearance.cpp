#include "platform/qt/PortalAppearance.h"

#include "platform/qt/AppearancePalette.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>

namespace tarno {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The value inside however many variants wrap it: "Read" answers a variant in a variant.
QVariant unwrapped(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

ColorSchemePreference preferenceOf(const QVariant &value)
{
    bool isNumber = false;
    const uint number = unwrapped(value).toUInt(&isNumber);
    return isNumber ? colorSchemePreference(number) : ColorSchemePreference::none;
}

} // namespace

PortalAppearance::PortalAppearance(QObject *parent) : Appearance(parent)
{
    m_dark = looksDark(m_preference, isDarkPalette(QGuiApplication::palette()));
    qGuiApp->installEventFilter(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Subscribed before the first read, so that no change falls between the two.
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QDBusMessage)));
    read(QStringLiteral("ReadOne"));
}

PortalAppearance::~PortalAppearance()
{
    if (qGuiApp)
        qGuiApp->removeEventFilter(this);
}

bool PortalAppearance::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return Appearance::eventFilter(watched, event);
}

void PortalAppearance::settingChanged(const QDBusMessage &message)
{
    // (namespace, key, value)
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() == 3 && arguments.at(0).toString() == appearanceNamespace &&
        arguments.at(1).toString() == colorSchemeKey)
        setPreference(preferenceOf(arguments.at(2)));
}

void PortalAppearance::read(const QString &method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
    call << appearanceNamespace << colorSchemeKey;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (!reply.isError()) {
            setPreference(preferenceOf(reply.argumentAt(0)));
            return;
        }
        // A portal older than ReadOne; with no portal at all the palette goes on deciding.
        if (method == QLatin1String("ReadOne") && reply.error().type() == QDBusError::UnknownMethod)
            read(QStringLiteral("Read"));
    });
}

void PortalAppearance::setPreference(ColorSchemePreference preference)
{
    m_preference = preference;
    update();
}

void PortalAppearance::update()
{
    const bool dark = looksDark(m_preference, isDarkPalette(QGuiApplication::palette()));
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged();
}

} // namespace tarno
