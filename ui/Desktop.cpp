#include "ui/Desktop.h"

#include "platform/api/Appearance.h"
#include "platform/api/Platform.h"
#include "platform/qt/AppearancePalette.h"

#include <QEvent>
#include <QGuiApplication>

namespace tarno {

namespace {

QPalette currentPalette(bool dark)
{
    return appearancePalette(QGuiApplication::palette(), dark);
}

} // namespace

Desktop::Desktop(QObject *parent) : QObject(parent), m_appearance(Platform::current().appearance)
{
    if (m_appearance)
        connect(m_appearance, &Appearance::darkChanged, this, &Desktop::lookChanged);
    qGuiApp->installEventFilter(this);
}

bool Desktop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange)
        Q_EMIT lookChanged();
    return QObject::eventFilter(watched, event);
}

bool Desktop::isDark() const
{
    return m_appearance ? m_appearance->isDark() : isDarkPalette(QGuiApplication::palette());
}

QColor Desktop::windowColor() const
{
    return currentPalette(isDark()).color(QPalette::Window);
}

QColor Desktop::textColor() const
{
    return currentPalette(isDark()).color(QPalette::Text);
}

QColor Desktop::accentColor() const
{
    return currentPalette(isDark()).color(QPalette::Highlight);
}

} // namespace tarno
