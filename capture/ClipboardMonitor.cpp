#include "capture/ClipboardMonitor.h"

#include "capture/PasteboardReader.h"
#include "platform/api/Pasteboard.h"
#include "platform/api/Platform.h"

namespace tarno {

ClipboardMonitor &ClipboardMonitor::shared()
{
    // Never destroyed: it lives for the whole run, and tearing it down after the event loop has
    // gone would gain nothing.
    static ClipboardMonitor *const instance = [] {
        const Platform &platform = Platform::current();
        return new ClipboardMonitor(*platform.runtime, *platform.generalPasteboard, *platform.codec);
    }();
    return *instance;
}

ClipboardMonitor::ClipboardMonitor(Runtime &runtime, Pasteboard &pasteboard, const ImageCodec &codec)
    : m_runtime(runtime), m_pasteboard(pasteboard), m_codec(codec),
      m_encodeQueue(runtime.makeSerialQueue(QStringLiteral("Personal.Gleanery.clipboard-encode"))),
      m_lastChangeCount(pasteboard.changeCount()), m_self(std::make_shared<ClipboardMonitor *>(this))
{}

ClipboardMonitor::~ClipboardMonitor()
{
    cancelPendingCapture();
    m_timer.cancel();
}

template <typename Body> Task ClipboardMonitor::guarded(Body body)
{
    return [weak = std::weak_ptr<ClipboardMonitor *>(m_self), body = std::move(body)] {
        if (const std::shared_ptr<ClipboardMonitor *> self = weak.lock())
            body(**self);
    };
}

void ClipboardMonitor::start(CaptureCallback onCapture, NewestClipQuery newestClip)
{
    m_onCapture = std::move(onCapture);
    m_newestClip = std::move(newestClip);
    m_lastChangeCount = m_pasteboard.changeCount();
    m_isObserving = true;
    m_timer.cancel();
    m_timer = WorkItem();
    // Where changes are announced, an idle monitor never wakes.
    if (!m_pasteboard.announcesChanges()) {
        m_timer = m_runtime.repeating(pollInterval,
                                      guarded([](ClipboardMonitor &self) { self.checkForChanges(); }));
    }
}

void ClipboardMonitor::stop()
{
    cancelPendingCapture();
    m_isObserving = false;
    m_timer.cancel();
    m_timer = WorkItem();
    m_onCapture = nullptr;
    m_newestClip = nullptr;
}

void ClipboardMonitor::pasteboardDidChange()
{
    if (m_isObserving)
        checkForChanges();
}

void ClipboardMonitor::pasteboardOwnerGone()
{
    if (m_isObserving)
        keepOrphanedContent();
}

void ClipboardMonitor::keepOrphanedContent()
{
    if (!m_newestClip || !m_pasteboard.isOrphaned())
        return;
    // Not decided until this change has been read and converted: asked again then.
    const qint64 changeCount = m_pasteboard.changeCount();
    const bool reading = !m_pendingCaptureTask.isCancelled() && m_pendingChangeCount == changeCount;
    if (reading || m_encodingChangeCount == changeCount || m_lastChangeCount != changeCount)
        return;
    if (!m_lastDelivery || m_lastDelivery->first != changeCount)
        return;
    const std::optional<ClipboardItem> newest = m_newestClip();
    if (!newest || newest->id != m_lastDelivery->second)
        return;
    // The content does not change, so the count stays and nothing can come back as a capture: no
    // pause, which would drop a real copy made in the next moments.
    m_pasteboard.adoptOrphanedContent();
}

void ClipboardMonitor::pauseBriefly()
{
    m_isPaused = true;
    cancelPendingCapture();
    m_lastChangeCount = m_pasteboard.changeCount();
    // Not kept and never cancelled: the first pause of a quick series is the one that ends it.
    m_runtime.mainQueue().asyncAfter(pauseLength, guarded([](ClipboardMonitor &self) {
                                         self.m_isPaused = false;
                                         self.m_lastChangeCount = self.m_pasteboard.changeCount();
                                     }));
}

void ClipboardMonitor::setCapturingPaused(bool paused)
{
    if (paused == m_isCapturingPaused)
        return;
    m_isCapturingPaused = paused;
    // Both ways what the pasteboard holds now counts as handled: on pausing, a copy still being read
    // is given up; on lifting, a copy made during the pause that the poll had not yet seen is skipped.
    cancelPendingCapture();
    m_lastChangeCount = m_pasteboard.changeCount();
}

void ClipboardMonitor::checkForChanges()
{
    // Not even read while the user has paused: lifting the pause takes those changes as handled.
    if (m_isPaused || m_isCapturingPaused)
        return;
    const qint64 changeCount = m_pasteboard.changeCount();
    if (changeCount == m_lastChangeCount)
        return;
    // Attempts already under way for this same change are left to run through their schedule
    // rather than restarted on every tick: a slow owner then still gets the later attempts, and an
    // unreadable change is really given up after the tenth. Only a newer change replaces them.
    if (!m_pendingCaptureTask.isCancelled() && m_pendingChangeCount == changeCount)
        return;
    cancelPendingCapture();
    m_pendingCaptureTask = WorkItem::make();
    m_pendingChangeCount = changeCount;
    scheduleAttempt(changeCount, 0);
}

void ClipboardMonitor::scheduleAttempt(qint64 changeCount, int attempt)
{
    m_pendingAttempt = m_runtime.mainQueue().asyncAfter(
        retryDelays[std::size_t(attempt)],
        guarded([task = m_pendingCaptureTask, changeCount, attempt](ClipboardMonitor &self) {
            self.runAttempt(task, changeCount, attempt);
        }));
}

void ClipboardMonitor::runAttempt(const WorkItem &task, qint64 changeCount, int attempt)
{
    if (task.isCancelled() || m_isPaused)
        return;
    // A newer change is read by attempts of its own.
    if (m_pasteboard.changeCount() != changeCount) {
        cancelPendingCapture();
        return;
    }
    const PasteboardCaptures captures = readCaptures(m_pasteboard);
    // A secret is handled at once: no later attempt reads it again.
    const bool lastAttempt = attempt + 1 == int(retryDelays.size()) || isMarkedSecret(m_pasteboard);
    if (captures.isEmpty() && !lastAttempt) {
        scheduleAttempt(changeCount, attempt + 1);
        return;
    }
    m_lastChangeCount = changeCount;
    cancelPendingCapture();
    if (!captures.isEmpty())
        deliver(captures.first(), changeCount);
}

void ClipboardMonitor::cancelPendingCapture()
{
    m_pendingCaptureTask.cancel();
    m_pendingCaptureTask = WorkItem();
    m_pendingAttempt.cancel();
    m_pendingAttempt = WorkItem();
}

void ClipboardMonitor::deliver(const PasteboardCapture &capture, qint64 changeCount)
{
    if (capture.isText()) {
        delivered(ClipboardItem::makeText(capture.textValue(), m_runtime.now()), changeCount);
        return;
    }

    // The job never touches the monitor off the main thread; it only carries the weak handle back.
    m_encodingChangeCount = changeCount;
    m_encodeQueue->async([bytes = capture.imageBytes(), &codec = m_codec, &runtime = m_runtime, changeCount,
                          weak = std::weak_ptr<ClipboardMonitor *>(m_self)] {
        ClipboardItem item = ClipboardItem::makeImage(pngDataOrOriginal(codec, bytes), runtime.now());
        runtime.mainQueue().async([weak, changeCount, item = std::move(item)] {
            const std::shared_ptr<ClipboardMonitor *> self = weak.lock();
            if (!self)
                return;
            ClipboardMonitor &monitor = **self;
            if (monitor.m_encodingChangeCount == changeCount)
                monitor.m_encodingChangeCount.reset();
            if (!monitor.m_isPaused && !monitor.m_isCapturingPaused)
                monitor.delivered(item, changeCount);
        });
    });
}

void ClipboardMonitor::delivered(const ClipboardItem &item, qint64 changeCount)
{
    if (!m_onCapture)
        return;
    m_lastDelivery = {changeCount, item.id};
    // A copy, so that a callback which stops the monitor does not destroy itself mid-call.
    const CaptureCallback onCapture = m_onCapture;
    onCapture(item);
    keepOrphanedContent();
}

} // namespace tarno
