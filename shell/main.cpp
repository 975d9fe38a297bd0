#include "capture/ClipboardMonitor.h"
#include "capture/SystemScreenshotPreferences.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Popover.h"
#include "platform/qt/JsonFileStore.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtShellPlatform.h"
#include "platform/qt/SingleInstanceLock.h"
#include "shell/AppDelegate.h"
#include "shell/MenuBarController.h"
#include "shell/ShellServices.h"

#include <QApplication>

// The composition root: the real platform, the services over it, and the one controller.
int main(int argc, char **argv)
{
    // A QApplication for the tray's menu and tooltip; there is no window until the popover opens.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarno"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarno"));
    QApplication::setQuitOnLastWindowClosed(false);

    // One Tarno per display: a second launch leaves the running one in charge and ends quietly. A
    // lock that cannot be taken at all (no runtime folder) does not keep Tarno from running.
    tarno::SingleInstanceLock instanceLock;
    if (instanceLock.tryLock() == tarno::SingleInstanceLock::Result::heldElsewhere)
        return 0;

    tarno::QtPlatform platform;
    tarno::Platform::install(platform.platform());
    const tarno::Platform services = platform.platform();
    tarno::SystemScreenshotPreferences preferences(*services.processRunner);
    tarno::SharedServices sharedServices(preferences);
    tarno::QtShellPlatform shell(QStringLiteral(":/assets/MenuBarIcon.svg"),
                                 QStringLiteral(":/assets/MenuBarIconPaused.svg"));
    platform.onPasteboardChanged([] { tarno::ClipboardMonitor::shared().pasteboardDidChange(); });
    platform.onPasteboardOwnerGone([] { tarno::ClipboardMonitor::shared().pasteboardOwnerGone(); });

    tarno::AppDelegate delegate([&] {
        return std::make_unique<tarno::MenuBarController>(tarno::MenuBarController::Environment{
            *services.runtime, *services.codec, platform.settingsStore(), shell.statusBar(),
            [&shell] { return shell.makePopover(); }, shell.eventMonitors(), shell.application(),
            tarno::NotificationCenter::defaultCenter(), sharedServices});
    });
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
