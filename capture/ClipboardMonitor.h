#pragma once

#include "model/ClipboardItem.h"
#include "platform/api/Runtime.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tarno {

class ImageCodec;
class Pasteboard;
class PasteboardCapture;

// Turns each new copy on the general pasteboard, made by any program, into one clip. A change is
// noticed whenever the platform reports one through `pasteboardDidChange` and, where the pasteboard
// does not announce its changes, by a 0.2 s poll of the change count; it is then read in up to ten
// timed attempts, since the program that copied may publish its data a little after the count
// moves. `pauseBriefly` keeps the program's own pasteboard writes out of the history; the user's
// pause, `setCapturingPaused`, keeps everything out for as long as it lasts.
//
// Main thread only, like its callback. Image clips are converted to PNG on a serial queue of their
// own and come back to the main thread before the monitor is touched. Everything scheduled holds
// the monitor weakly and does nothing once it is destroyed. The runtime, pasteboard and codec must
// outlive it.
class ClipboardMonitor
{
public:
    using CaptureCallback = std::function<void(const ClipboardItem &)>;
    // The history's newest clip, if any.
    using NewestClipQuery = std::function<std::optional<ClipboardItem>()>;

    static constexpr Milliseconds pollInterval{200};
    static constexpr Milliseconds pauseLength{600};
    // The wait before each read attempt, measured from the end of the previous one; the tenth
    // attempt starts about 2.73 s after the first.
    static constexpr std::array<Milliseconds, 10> retryDelays{
        Milliseconds(0),   Milliseconds(30),  Milliseconds(60),  Milliseconds(100), Milliseconds(150),
        Milliseconds(220), Milliseconds(320), Milliseconds(450), Milliseconds(600), Milliseconds(800)};

    // The process-wide monitor over the installed platform's runtime, general pasteboard and codec;
    // created on first use and kept for the whole run.
    static ClipboardMonitor &shared();

    // Takes the pasteboard's current change count as handled.
    ClipboardMonitor(Runtime &runtime, Pasteboard &pasteboard, const ImageCodec &codec);
    ~ClipboardMonitor();
    ClipboardMonitor(const ClipboardMonitor &) = delete;
    ClipboardMonitor &operator=(const ClipboardMonitor &) = delete;

    // Starts watching with the callback, replacing any earlier one. What is on the pasteboard now is
    // never captured. With `newestClip`, content whose owner goes away is kept on the pasteboard
    // while it is still the newest clip (see `pasteboardOwnerGone`).
    void start(CaptureCallback onCapture, NewestClipQuery newestClip = {});
    // Stops watching and drops the callback; the change being read and an image still being
    // converted yield nothing.
    void stop();
    // For 0.6 s from the first call of a quick series, nothing is captured, and whatever the
    // pasteboard holds both now and when the pause ends counts as handled. Call immediately before
    // the program writes to the general pasteboard or adds dropped content.
    void pauseBriefly();
    // The user's pause, until it is lifted: no change is read, an image still being converted is
    // dropped, and every change made meanwhile counts as handled, so that lifting the pause captures
    // nothing copied during it. Independent of `pauseBriefly`, and of `start` and `stop`; the
    // screenshot watcher obeys it too. Starts lifted.
    void setCapturingPaused(bool paused);
    bool isCapturingPaused() const { return m_isCapturingPaused; }
    // Called by the platform when it sees the pasteboard change; ignored unless started.
    void pasteboardDidChange();
    // Called by the platform when the program that owned the pasteboard's content has gone. When
    // that content became the clip that is still the newest one, the pasteboard adopts it and goes
    // on serving it: nothing is captured, nothing in the history moves. A capture of it still under
    // way is waited for; content never captured (a secret, say) is left to go.
    void pasteboardOwnerGone();

    bool isStarted() const { return m_isObserving; }
    bool isPaused() const { return m_isPaused; }
    // The change count that has been captured, given up on or written by the program itself.
    qint64 lastChangeCount() const { return m_lastChangeCount; }

private:
    void checkForChanges();
    void scheduleAttempt(qint64 changeCount, int attempt);
    void runAttempt(const WorkItem &task, qint64 changeCount, int attempt);
    void cancelPendingCapture();
    void deliver(const PasteboardCapture &capture, qint64 changeCount);
    void delivered(const ClipboardItem &item, qint64 changeCount);
    void keepOrphanedContent();
    template <typename Body> Task guarded(Body body);

    Runtime &m_runtime;
    Pasteboard &m_pasteboard;
    const ImageCodec &m_codec;

    std::unique_ptr<TaskQueue> m_encodeQueue;
    WorkItem m_timer;
    bool m_isObserving = false;
    qint64 m_lastChangeCount = 0;
    CaptureCallback m_onCapture;
    bool m_isPaused = false;
    bool m_isCapturingPaused = false;
    // The attempts for the latest change: the handle that ends them, the change they read, and the
    // next attempt waiting to run.
    WorkItem m_pendingCaptureTask;
    qint64 m_pendingChangeCount = 0;
    WorkItem m_pendingAttempt;
    NewestClipQuery m_newestClip;
    // The clip made from the latest change that yielded one, and the change whose image is being
    // converted, if any.
    std::optional<std::pair<qint64, QUuid>> m_lastDelivery;
    std::optional<qint64> m_encodingChangeCount;

    // Scheduled work holds this weakly; it expires with the monitor.
    std::shared_ptr<ClipboardMonitor *> m_self;
};

} // namespace tarno
