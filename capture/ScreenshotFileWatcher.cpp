#include "capture/ScreenshotFileWatcher.h"

#include "capture/ClipboardMonitor.h"
#include "capture/PasteboardReader.h"
#include "model/ClipExport.h"
#include "model/PasteboardCapture.h"
#include "platform/api/FileEvents.h"
#include "platform/api/Platform.h"

#include <QHash>
#include <QSet>
#include <QUrl>

#include <mutex>

namespace tarno {

// Written from the main thread (scheduling, stop) and from the debounce queue (capturing), so one
// lock guards both collections; nothing slow happens while it is held.
struct ScreenshotFileWatcher::Paths
{
    struct Pending
    {
        WorkItem work;
        quint64 ticket;
    };

    std::mutex mutex;
    QHash<QString, Pending> pendingWork;
    // Paths already captured.
    QSet<QString> recentPaths;
    quint64 nextTicket = 0;
    // Moves with every stop, so that a read under way during a stop yields nothing.
    quint64 generation = 0;
};

ScreenshotFileWatcher &ScreenshotFileWatcher::shared()
{
    static ScreenshotFileWatcher *const instance = [] {
        const Platform &platform = Platform::current();
        return new ScreenshotFileWatcher(*platform.runtime, *platform.fileEvents, *platform.generalPasteboard,
                                         *platform.codec, ClipboardMonitor::shared());
    }();
    return *instance;
}

ScreenshotFileWatcher::ScreenshotFileWatcher(Runtime &runtime, FileEvents &fileEvents, Pasteboard &pasteboard,
                                             const ImageCodec &codec, ClipboardMonitor &monitor)
    : m_runtime(runtime), m_fileEvents(fileEvents), m_pasteboard(pasteboard), m_codec(codec),
      m_monitor(monitor),
      m_debounceQueue(runtime.makeSerialQueue(QStringLiteral("Personal.Gleanery.screenshot-debounce"))),
      m_paths(std::make_shared<Paths>()), m_self(std::make_shared<ScreenshotFileWatcher *>(this))
{}

ScreenshotFileWatcher::~ScreenshotFileWatcher()
{
    // The stream goes first: it posts to the debounce queue, which goes with the members.
    stop();
}

void ScreenshotFileWatcher::start(CaptureCallback onCapture, const QStringList &folders,
                                  ScreenshotFileNames names)
{
    stop();
    m_onCapture = std::move(onCapture);
    m_names = std::move(names);
    TaskQueue &main = m_runtime.mainQueue();
    m_stream = m_fileEvents.watch(folders, streamLatency, *m_debounceQueue,
                                  [&main, weak = std::weak_ptr(m_self)](const QStringList &paths) {
                                      QStringList present = paths;
                                      present.removeAll(QString());
                                      main.async([weak, present] {
                                          if (const auto self = weak.lock())
                                              (*self)->handleEventPaths(present);
                                      });
                                  });
}

void ScreenshotFileWatcher::stop()
{
    m_stream.reset();
    m_onCapture = nullptr;
    const std::lock_guard lock(m_paths->mutex);
    for (const Paths::Pending &pending : std::as_const(m_paths->pendingWork))
        pending.work.cancel();
    m_paths->pendingWork.clear();
    m_paths->recentPaths.clear();
    ++m_paths->generation;
}

void ScreenshotFileWatcher::handleEventPaths(const QStringList &paths)
{
    const bool paused = m_monitor.isCapturingPaused();
    for (const QString &path : paths) {
        if (!m_names.matches(path))
            continue;
        if (paused)
            forgetScreenshot(path);
        else
            scheduleCapture(path);
    }
}

void ScreenshotFileWatcher::forgetScreenshot(const QString &path)
{
    // Taken as captured, so that a later event for the file, once the pause is lifted, does not
    // bring in what the user saved while it lasted.
    const std::lock_guard lock(m_paths->mutex);
    if (const auto it = m_paths->pendingWork.constFind(path); it != m_paths->pendingWork.cend()) {
        it->work.cancel();
        m_paths->pendingWork.erase(it);
    }
    m_paths->recentPaths.insert(path);
    if (m_paths->recentPaths.size() >= recentPathsBound)
        m_paths->recentPaths.clear();
}

void ScreenshotFileWatcher::scheduleCapture(const QString &path)
{
    const std::lock_guard lock(m_paths->mutex);
    if (const auto it = m_paths->pendingWork.constFind(path); it != m_paths->pendingWork.cend())
        it->work.cancel();
    const quint64 ticket = m_paths->nextTicket++;
    TaskQueue &main = m_runtime.mainQueue();
    WorkItem work = m_debounceQueue->asyncAfter(
        quietTime, [weakPaths = std::weak_ptr(m_paths), weak = std::weak_ptr(m_self), path, ticket,
                    names = m_names, &codec = m_codec, &runtime = m_runtime, &main] {
            const std::shared_ptr<Paths> paths = weakPaths.lock();
            if (!paths)
                return;
            std::optional<ClipboardItem> item =
                captureScreenshot(*paths, path, ticket, names, codec, runtime);
            if (!item)
                return;
            main.async([weak, item = std::move(*item)] {
                if (const auto self = weak.lock())
                    (*self)->deliverScreenshot(item);
            });
        });
    // Stored under the same lock the work takes first, so it always finds its own entry.
    m_paths->pendingWork.insert(path, Paths::Pending{work, ticket});
}

void ScreenshotFileWatcher::deliverScreenshot(const ClipboardItem &item)
{
    // Read just before the user paused; the pause wins, and the file counts as captured.
    if (m_monitor.isCapturingPaused())
        return;
    m_monitor.pauseBriefly();
    copyToPasteboard(item, m_pasteboard, m_codec);
    if (m_onCapture) {
        const CaptureCallback onCapture = m_onCapture;
        onCapture(item);
    }
}

std::optional<ClipboardItem> ScreenshotFileWatcher::captureScreenshot(Paths &paths, const QString &path,
                                                                      quint64 ticket,
                                                                      const ScreenshotFileNames &names,
                                                                      const ImageCodec &codec,
                                                                      Runtime &runtime)
{
    const QUrl url = QUrl::fromLocalFile(path);
    quint64 generation = 0;
    {
        const std::lock_guard lock(paths.mutex);
        // A newer event for the path, or a stop, may have come in just as this work began; the
        // newer work reads the file once it is quiet, and after a stop nothing is read.
        const auto it = paths.pendingWork.constFind(path);
        if (it == paths.pendingWork.cend() || it->ticket != ticket)
            return std::nullopt;
        paths.pendingWork.erase(it);
        if (!names.matches(path) || paths.recentPaths.contains(path))
            return std::nullopt;
        generation = paths.generation;
    }

    const std::optional<QByteArray> bytes = readRegularFile(url);
    if (!bytes || bytes->size() <= minimumImageBytes)
        return std::nullopt;

    {
        const std::lock_guard lock(paths.mutex);
        if (paths.generation != generation)
            return std::nullopt;
        // Remembered only once it yields a clip: a file still being written, or gone, when its
        // quiet time ran out is read again on its next event instead of being lost.
        paths.recentPaths.insert(path);
        if (paths.recentPaths.size() >= recentPathsBound)
            paths.recentPaths.clear();
    }
    return ClipboardItem::makeImage(pngDataOrOriginal(codec, *bytes), runtime.now());
}

} // namespace tarno
