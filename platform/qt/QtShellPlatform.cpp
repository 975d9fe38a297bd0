#include "platform/qt/QtShellPlatform.h"

#include "platform/qt/QtApplication.h"
#include "platform/qt/QtPopover.h"
#include "platform/qt/SniStatusBar.h"
#include "platform/x11/X11EventMonitors.h"
#include "platform/x11/XEmbedStatusBar.h"

#include <QQuickWindow>

namespace tarno {

QtShellPlatform::QtShellPlatform(const QString &iconPath, const QString &pausedIconPath)
    : m_trayKind(!XEmbedStatusBar::isTrayAvailable() && SniStatusBar::isWatcherAvailable()
                     ? TrayKind::statusNotifier
                     : TrayKind::xembed),
      m_eventMonitors(std::make_unique<X11EventMonitors>()), m_application(std::make_unique<QtApplication>())
{
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
    else
        m_statusBar = std::make_unique<XEmbedStatusBar>(iconPath, pausedIconPath);
}

QtShellPlatform::~QtShellPlatform() = default;

std::unique_ptr<Popover> QtShellPlatform::makePopover() const
{
    return std::make_unique<QtPopover>();
}

} // namespace tarno
