#pragma once

// Services for the controller that only record what it asks of them, in order; retention is the
// real rule, so that opening the popover still prunes.
#include "model/HistoryCleanupService.h"
#include "shell/ShellServices.h"

#include <QStringList>

namespace tarno {

class RecordingServices : public ShellServices
{
public:
    explicit RecordingServices(Runtime &runtime) : m_cleanup(runtime) {}

    bool enableClipboardScreenshots() override
    {
        log << "enableClipboardScreenshots";
        return true;
    }
    void startCleanup(ClipboardHistoryViewModel &, GleanerySettings &) override { log << "startCleanup"; }
    void stopCleanup() override { log << "stopCleanup"; }
    void applyRetention(ClipboardHistoryViewModel &history, const GleanerySettings &settings) override
    {
        log << "applyRetention";
        m_cleanup.applyRetention(history, settings);
    }
    void startMonitor(CaptureCallback onCapture, NewestClipQuery) override
    {
        log << "startMonitor";
        monitorCallback = std::move(onCapture);
    }
    void pauseMonitor() override { log << QStringLiteral("pauseMonitor with %1 clips").arg(historySize()); }
    void stopMonitor() override { log << "stopMonitor"; }
    void startWatcher(CaptureCallback onCapture) override
    {
        log << "startWatcher";
        watcherCallback = std::move(onCapture);
    }
    void stopWatcher() override { log << "stopWatcher"; }
    bool isCapturingPaused() const override { return capturingPaused; }
    void setCapturingPaused(bool paused) override
    {
        log << QStringLiteral("setCapturingPaused %1").arg(paused);
        capturingPaused = paused;
    }

    std::function<qsizetype()> historySize = [] { return qsizetype(0); };
    QStringList log;
    CaptureCallback monitorCallback;
    CaptureCallback watcherCallback;
    bool capturingPaused = false;

private:
    HistoryCleanupService m_cleanup;
};

} // namespace tarno
