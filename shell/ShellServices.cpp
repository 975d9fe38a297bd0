#include "shell/ShellServices.h"

#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/HistoryCleanupService.h"

namespace tarno {

SharedServices::SharedServices(const SystemScreenshotPreferences &preferences) : m_preferences(preferences) {}

bool SharedServices::enableClipboardScreenshots()
{
    return m_preferences.enableClipboardScreenshots().applied();
}

void SharedServices::startCleanup(ClipboardHistoryViewModel &history, GleanerySettings &settings)
{
    HistoryCleanupService::shared().start(history, settings);
}

void SharedServices::stopCleanup()
{
    HistoryCleanupService::shared().stop();
}

void SharedServices::applyRetention(ClipboardHistoryViewModel &history, const GleanerySettings &settings)
{
    HistoryCleanupService::shared().applyRetention(history, settings);
}

void SharedServices::startMonitor(CaptureCallback onCapture, NewestClipQuery newestClip)
{
    ClipboardMonitor::shared().start(std::move(onCapture), std::move(newestClip));
}

void SharedServices::pauseMonitor()
{
    ClipboardMonitor::shared().pauseBriefly();
}

void SharedServices::stopMonitor()
{
    ClipboardMonitor::shared().stop();
}

void SharedServices::startWatcher(CaptureCallback onCapture)
{
    ScreenshotFileWatcher::shared().start(std::move(onCapture), m_preferences.screenshotFolders(),
                                          m_preferences.screenshotFileNames());
}

void SharedServices::stopWatcher()
{
    ScreenshotFileWatcher::shared().stop();
}

bool SharedServices::isCapturingPaused() const
{
    return ClipboardMonitor::shared().isCapturingPaused();
}

void SharedServices::setCapturingPaused(bool paused)
{
    // The watcher asks the monitor, so the pause is kept in one place.
    ClipboardMonitor::shared().setCapturingPaused(paused);
}

} // namespace tarno
