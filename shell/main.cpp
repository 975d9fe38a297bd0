#include "capture/ClipboardMonitor.h"
#include "capture/SystemScreenshotPreferences.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Popover.h"
#include "platform/qt/JsonFileStore.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtShellPlatform.h"
#include "platform/qt/RuntimeFolder.h"
#include "platform/qt/SingleInstanceLock.h"
#include "shell/AppDelegate.h"
#include "shell/MenuBarController.h"
#include "shell/ShellServices.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Qt's image plugins pass on what their codec libraries say about each picture, such as a colour
// profile they ignore. Pictures come from other programs and a picture that cannot be read is
// handled as such, so the remarks tell the user nothing.
bool isAboutInputImages(const QMessageLogContext &context)
{
    return context.category && (std::strcmp(context.category, "qt.gui.imageio") == 0 ||
                                std::strcmp(context.category, "qt.gui.icc") == 0);
}

// The one way anything reaches standard error: real problems, marked as ours.
void logMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || isAboutInputImages(context))
        return;
    std::fprintf(stderr, "tarno: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

// The composition root: the real platform, the services over it, and the one controller.
int main(int argc, char **argv)
{
    qInstallMessageHandler(logMessage);
    // Before Qt looks for the runtime folder, which it would otherwise warn is missing.
    tarno::ensureRuntimeFolder();
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
