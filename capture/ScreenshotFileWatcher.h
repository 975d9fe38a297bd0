#pragma once

#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipboardItem.h"
#include "platform/api/Runtime.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarno {

class ClipboardMonitor;
class FileEventStream;
class FileEvents;
class ImageCodec;
class Pasteboard;

// Turns screenshot files saved in the watched folders into image clips. A path is read once it has
// had no event for 0.35 s, and each path is captured once (the memory of captured paths is emptied
// when it reaches 41). Each clip is put on the general pasteboard, with the clipboard monitor paused
// so that it does not come back a second time, and handed to the callback. While the monitor's user
// pause lasts nothing is captured, and a screenshot saved during it is not captured later either.
//
// start, stop and the callback run on the main thread; events, the debounce and file reads run on
// a serial queue of its own. Everything scheduled does nothing once the watcher is destroyed. The
// runtime, file events, pasteboard, codec and monitor must outlive it.
class ScreenshotFileWatcher
{
public:
    using CaptureCallback = std::function<void(const ClipboardItem &)>;

    static constexpr Milliseconds streamLatency{150};
    static constexpr Milliseconds quietTime{350};
    static constexpr qsizetype recentPathsBound = 41;

    // The process-wide watcher over the installed platform and the shared clipboard monitor;
    // created on first use and kept for the whole run.
    static ScreenshotFileWatcher &shared();

    ScreenshotFileWatcher(Runtime &runtime, FileEvents &fileEvents, Pasteboard &pasteboard,
                          const ImageCodec &codec, ClipboardMonitor &monitor);
    ~ScreenshotFileWatcher();
    ScreenshotFileWatcher(const ScreenshotFileWatcher &) = delete;
    ScreenshotFileWatcher &operator=(const ScreenshotFileWatcher &) = delete;

    // Ends any earlier watch as `stop` does, then watches below the folders (in order, missing ones
    // included) and sends clips of the files the names match to the callback. When no watch can be
    // started, nothing is watched and nothing is reported.
    void start(CaptureCallback onCapture, const QStringList &folders, ScreenshotFileNames names = {});
    // Ends the watch, drops the callback, cancels waiting reads and forgets the captured paths.
    void stop();

    bool isWatching() const { return m_stream != nullptr; }

private:
    struct Paths;

    void handleEventPaths(const QStringList &paths);
    void scheduleCapture(const QString &path);
    void forgetScreenshot(const QString &path);
    void deliverScreenshot(const ClipboardItem &item);
    // The part of a capture that runs on the debounce queue; the clip to deliver, if any.
    static std::optional<ClipboardItem> captureScreenshot(Paths &paths, const QString &path, quint64 ticket,
                                                          const ScreenshotFileNames &names,
                                                          const ImageCodec &codec, Runtime &runtime);

    Runtime &m_runtime;
    FileEvents &m_fileEvents;
    Pasteboard &m_pasteboard;
    const ImageCodec &m_codec;
    ClipboardMonitor &m_monitor;

    std::unique_ptr<FileEventStream> m_stream;
    CaptureCallback m_onCapture;
    ScreenshotFileNames m_names;
    std::unique_ptr<TaskQueue> m_debounceQueue;
    // pendingWork and recentPaths, behind their lock; shared with the work on the debounce queue.
    std::shared_ptr<Paths> m_paths;

    // Main-thread work holds this weakly; it expires with the watcher.
    std::shared_ptr<ScreenshotFileWatcher *> m_self;
};

} // namespace tarno
