#include "platform/qt/QtShellPlatform.h"

#include "platform/qt/QtApplication.h"
#include "platform/qt/QtPopover.h"
#include "platform/qt/SniStatusBar.h"
#include "platform/qt/X11EventMonitors.h"
#include "platform/qt/XEmbedStatusBar.h"

namespace tarno {

QtShellPlatform::QtShellPlatform(const QString &iconPath)
    : m_trayKind(!XEmbedStatusBar::isTrayAvailable() && SniStatusBar::isWatcherAvailable()
                     ? TrayKind::statusNotifier
                     : TrayKind::xembed),
      m_eventMonitors(std::make_unique<X11EventMonitors>()), m_application(std::make_unique<QtApplication>())
{
    if (m_trayKind == TrayKind::statusNotifier)
        m_statusBar = std::make_unique<SniStatusBar>(iconPath);
    else
        m_statusBar = std::make_unique<XEmbedStatusBar>(iconPath);
}

QtShellPlatform::~QtShellPlatform() = default;

std::unique_ptr<Popover> QtShellPlatform::makePopover() const
{
    return std::make_unique<QtPopover>();
}

} // namespace tarno
