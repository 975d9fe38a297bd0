#include "TarnoConfig.h"
#include "capture/ClipboardMonitor.h"
#include "capture/SystemScreenshotPreferences.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Popover.h"
#include "platform/qt/ControlService.h"
#include "platform/qt/JsonFileStore.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtShellPlatform.h"
#include "platform/qt/RuntimeFolder.h"
#include "platform/qt/SingleInstanceLock.h"
#include "shell/AppDelegate.h"
#include "shell/CommandLine.h"
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

// The composition root: the command line first, then the real platform, the services over it, and
// the one controller.
int main(int argc, char **argv)
{
    qInstallMessageHandler(logMessage);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const tarno::CommandLine commandLine = tarno::parseCommandLine(arguments);
    using Action = tarno::CommandLine::Action;
    if (commandLine.action == Action::help || commandLine.action == Action::version) {
        std::printf("%s\n", commandLine.text.trimmed().toLocal8Bit().constData());
        return 0;
    }
    if (commandLine.action == Action::invalid) {
        std::fprintf(stderr, "tarno: %s\nTry 'tarno --help' for the options.\n",
                     commandLine.text.toLocal8Bit().constData());
        return 2;
    }

    // Before Qt looks for the runtime folder, which it would otherwise warn is missing.
    tarno::ensureRuntimeFolder();
    // One Tarno per display: a second launch hands its request to the running one and ends. A lock
    // that cannot be taken at all (no runtime folder) does not keep Tarno from running.
    const QString displayKey =
        tarno::displayInstanceKey(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"));
    tarno::SingleInstanceLock instanceLock(tarno::SingleInstanceLock::pathFor(displayKey));
    const bool anotherRunning = instanceLock.tryLock() == tarno::SingleInstanceLock::Result::heldElsewhere;
    const tarno::LaunchPlan plan = tarno::planLaunch(commandLine.action, anotherRunning);
    if (plan.step == tarno::LaunchPlan::Step::exit) {
        if (!plan.message.isEmpty())
            std::fprintf(stderr, "tarno: %s\n", plan.message.toLocal8Bit().constData());
        return plan.status;
    }
    if (plan.step == tarno::LaunchPlan::Step::forward) {
        // The bus needs an application object; no display connection is made for this.
        QCoreApplication app(argc, argv);
        const QString method = commandLine.action == Action::toggle ? QStringLiteral("Toggle")
                               : commandLine.action == Action::show ? QStringLiteral("Show")
                                                                    : QStringLiteral("Quit");
        using Delivery = tarno::ControlService::Delivery;
        if (tarno::ControlService::send(tarno::controlServiceName(displayKey), method, 5000) ==
            Delivery::delivered)
            return 0;
        std::fprintf(stderr, "tarno: the Tarno running on this display did not answer on the session bus\n");
        return 1;
    }

    // In a Wayland session the popover goes beside the tray icon, and only X lets a window be
    // placed at a point on the screen: the interface runs on Xwayland unless the user chose.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // A QApplication for the tray's menu and tooltip; there is no window until the popover opens.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarno"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarno"));
    QApplication::setApplicationVersion(QStringLiteral(TARNO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(TARNO_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);

    tarno::QtPlatform platform;
    tarno::Platform::install(platform.platform());
    const tarno::Platform services = platform.platform();
    tarno::SystemScreenshotPreferences preferences(*services.processRunner);
    tarno::SharedServices sharedServices(preferences);
    tarno::QtShellPlatform shell(QStringLiteral(":/assets/MenuBarIcon.svg"),
                                 QStringLiteral(":/assets/MenuBarIconPaused.svg"), platform.appearance());
    platform.onPasteboardChanged([] { tarno::ClipboardMonitor::shared().pasteboardDidChange(); });
    platform.onPasteboardOwnerGone([] { tarno::ClipboardMonitor::shared().pasteboardOwnerGone(); });

    tarno::AppDelegate delegate([&] {
        return std::make_unique<tarno::MenuBarController>(tarno::MenuBarController::Environment{
            *services.runtime, *services.codec, platform.settingsStore(), shell.statusBar(),
            [&shell] { return shell.makePopover(); }, shell.eventMonitors(), shell.application(),
            tarno::NotificationCenter::defaultCenter(), sharedServices, shell.globalShortcut()});
    });
    delegate.applicationDidFinishLaunching();
    const auto withController = [&delegate](void (tarno::MenuBarController::*action)()) {
        return [&delegate, action] {
            if (tarno::MenuBarController *controller = delegate.menuBarController())
                (controller->*action)();
        };
    };
    tarno::ControlService control({withController(&tarno::MenuBarController::togglePopoverWhenPlaced),
                                   withController(&tarno::MenuBarController::showPopoverWhenPlaced),
                                   [] { QCoreApplication::quit(); }});
    control.registerOn(tarno::controlServiceName(displayKey));
    if (plan.showWhenPlaced)
        withController (&tarno::MenuBarController::showPopoverWhenPlaced)();
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
