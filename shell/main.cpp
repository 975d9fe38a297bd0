#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "model/HistoryCleanupService.h"
#include "platform/qt/QtPlatform.h"

#include <QGuiApplication>

// For now the capture core alone: the stores and the three services, without tray or popover.
int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tarno"));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    tarno::QtPlatform platform;
    tarno::Platform::install(platform.platform());
    tarno::SystemScreenshotPreferences preferences(*platform.platform().processRunner);

    tarno::ClipboardHistoryViewModel history(*platform.platform().runtime, *platform.platform().codec);
    tarno::GleanerySettings settings(platform.settingsStore(),
                                     [&preferences] { return preferences.enableClipboardScreenshots(); });

    if (settings.screenshotsUseClipboard())
        preferences.enableClipboardScreenshots();
    tarno::HistoryCleanupService::shared().start(history, settings);
    auto &monitor = tarno::ClipboardMonitor::shared();
    const auto handleCapturedItem = [&history](const tarno::ClipboardItem &item) { history.add(item); };
    monitor.start(handleCapturedItem);
    platform.onPasteboardChanged([&monitor] { monitor.pasteboardDidChange(); });
    tarno::ScreenshotFileWatcher::shared().start(handleCapturedItem, preferences.screenshotFolders());

    const int status = QGuiApplication::exec();
    tarno::ScreenshotFileWatcher::shared().stop();
    tarno::HistoryCleanupService::shared().stop();
    monitor.stop();
    return status;
}
