#pragma once

#include "model/ClipboardItem.h"

#include <functional>
#include <optional>

namespace tarno {

class ClipboardHistoryViewModel;
class GleanerySettings;
class SystemScreenshotPreferences;

// The process-wide services as the controller drives them, so that the order in which it starts and
// stops them can be checked without running them. Main thread only.
class ShellServices
{
public:
    using CaptureCallback = std::function<void(const ClipboardItem &)>;
    using NewestClipQuery = std::function<std::optional<ClipboardItem>()>;

    virtual ~ShellServices() = default;

    // Sets the screenshot tools to copy each screenshot to the clipboard; whether nothing failed.
    virtual bool enableClipboardScreenshots() = 0;
    virtual void startCleanup(ClipboardHistoryViewModel &history, GleanerySettings &settings) = 0;
    virtual void stopCleanup() = 0;
    virtual void applyRetention(ClipboardHistoryViewModel &history, const GleanerySettings &settings) = 0;
    // `newestClip` tells the monitor which clip the clipboard may go on serving once its owner
    // has gone.
    virtual void startMonitor(CaptureCallback onCapture, NewestClipQuery newestClip) = 0;
    virtual void pauseMonitor() = 0;
    virtual void stopMonitor() = 0;
    virtual void startWatcher(CaptureCallback onCapture) = 0;
    virtual void stopWatcher() = 0;
    // The user's pause of all capturing, which both the monitor and the watcher obey.
    virtual bool isCapturingPaused() const = 0;
    virtual void setCapturingPaused(bool paused) = 0;
};

// The real ones: each service's `shared` instance, and the system's screenshot preferences, which
// must outlive this object.
class SharedServices : public ShellServices
{
public:
    explicit SharedServices(const SystemScreenshotPreferences &preferences);

    bool enableClipboardScreenshots() override;
    void startCleanup(ClipboardHistoryViewModel &history, GleanerySettings &settings) override;
    void stopCleanup() override;
    void applyRetention(ClipboardHistoryViewModel &history, const GleanerySettings &settings) override;
    void startMonitor(CaptureCallback onCapture, NewestClipQuery newestClip) override;
    void pauseMonitor() override;
    void stopMonitor() override;
    void startWatcher(CaptureCallback onCapture) override;
    void stopWatcher() override;
    bool isCapturingPaused() const override;
    void setCapturingPaused(bool paused) override;

private:
    const SystemScreenshotPreferences &m_preferences;
};

} // namespace tarno
