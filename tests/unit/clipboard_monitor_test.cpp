#include "capture/ClipboardMonitor.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/ManualRuntime.h"
#include "tests/support/TestData.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

const QString encodeQueue = "Personal.Gleanery.clipboard-encode";

class ClipboardMonitorTest : public ::testing::Test
{
protected:
    ManualRuntime runtime;
    FakePasteboard pasteboard;
    FakeImageCodec codec;
    std::unique_ptr<ClipboardMonitor> monitor =
        std::make_unique<ClipboardMonitor>(runtime, pasteboard, codec);

    QList<ClipboardItem> clips;
    QList<Milliseconds> clipTimes;

    // The history's newest clip as the monitor is told of it: the latest capture unless a test
    // says otherwise, as after the user deleted it.
    std::optional<std::optional<ClipboardItem>> newestOverride;

    void start()
    {
        monitor->start(
            [this](const ClipboardItem &item) {
                clips << item;
                clipTimes << runtime.elapsed();
            },
            [this]() -> std::optional<ClipboardItem> {
                if (newestOverride)
                    return *newestOverride;
                return clips.isEmpty() ? std::nullopt : std::optional(clips.last());
            });
    }
    // Moves the clock to an absolute time since the runtime was made.
    void advanceTo(Milliseconds time) { runtime.advance(time - runtime.elapsed()); }
    // Text appearing without the change count moving: the owner publishing its data late.
    void publishText(const QString &text)
    {
        pasteboard.setItems({FakePasteboardItem().add("text/plain", text.toUtf8())});
    }
    // A change whose data is not there yet, announced.
    void copyUnreadable()
    {
        pasteboard.simulateCopy();
        monitor->pasteboardDidChange();
    }
    // A picture copied and read, its conversion held back on the encode queue.
    void copyImageHeld()
    {
        runtime.setQueueHeld(encodeQueue, true);
        pasteboard.simulateCopyData(jpeg(), "image/jpeg");
        monitor->pasteboardDidChange();
        runtime.runUntilIdle();
    }
    void ownerLeaves()
    {
        pasteboard.simulateOwnerGone();
        monitor->pasteboardOwnerGone();
    }
    QStringList texts() const
    {
        QStringList result;
        for (const ClipboardItem &item : clips)
            result << item.text.value_or("<image>").toString();
        return result;
    }
    static QByteArray jpeg()
    {
        return FakeImageCodec::makeImage(QSize(64, 48), "jpeg", QByteArray(200, 'p'));
    }
};

TEST_F(ClipboardMonitorTest, ContentPresentAtStartIsNeverCapturedButTheNextCopyIs)
{
    pasteboard.simulateCopyText("before start");
    monitor->pasteboardDidChange(); // not started yet: ignored
    runtime.advance(1s);
    start();
    runtime.advance(3s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_EQ(pasteboard.readCount(), 0); // between changes only the change count is looked at

    pasteboard.simulateCopyText("after start");
    runtime.advance(200ms);
    EXPECT_EQ(texts(), QStringList{"after start"});
    EXPECT_EQ(clips.first().kind, ClipboardItemKind::text);
    EXPECT_EQ(clips.first().createdAt, runtime.now());
}

TEST_F(ClipboardMonitorTest, WhereChangesAreAnnouncedAnIdleMonitorSchedulesNothing)
{
    pasteboard.setAnnouncesChanges(true);
    start();
    EXPECT_EQ(runtime.pendingCount("main"), 0);
    // Only the cue starts a read: with no poll, a change nobody announced is never looked at.
    pasteboard.simulateCopyText("unannounced");
    runtime.advance(60s);
    EXPECT_EQ(pasteboard.readCount(), 0);

    advanceTo(61'000ms);
    copyUnreadable();
    advanceTo(61'050ms);
    publishText("late text");
    runtime.advance(5s);
    EXPECT_EQ(texts(), QStringList{"late text"});
    EXPECT_EQ(clipTimes, QList<Milliseconds>{61'090ms}) << "read by the third attempt, as when polling";

    monitor->pauseBriefly();
    pasteboard.setString("own write", "text/plain");
    monitor->pasteboardDidChange();
    runtime.advance(5s);
    EXPECT_EQ(texts(), QStringList{"late text"});
    EXPECT_EQ(runtime.pendingCount("main"), 0);
}

TEST_F(ClipboardMonitorTest, ASecretIsNeverCapturedNorReadAgain)
{
    start();
    pasteboard.simulateCopyText("kept");
    runtime.advance(200ms);
    ASSERT_EQ(texts(), QStringList{"kept"});

    for (const char *mark : {"secret", " secret\n"}) {
        pasteboard.simulateCopy();
        pasteboard.setItems(
            {FakePasteboardItem().add("x-kde-passwordManagerHint", mark).add("text/plain", "hunter2")});
        runtime.advance(200ms);
        const int reads = pasteboard.readCount();
        runtime.advance(5s);
        EXPECT_EQ(pasteboard.readCount(), reads) << "a secret is given up at once, not retried";
        EXPECT_EQ(texts(), QStringList{"kept"});
    }

    pasteboard.simulateCopy();
    pasteboard.setItems(
        {FakePasteboardItem().add("x-kde-passwordManagerHint", "public").add("text/plain", "shareable")});
    runtime.advance(200ms);
    EXPECT_EQ(texts(), (QStringList{"kept", "shareable"}));
}

// Data written just before attempt k is read by attempt k, at its scheduled time, however many
// poll ticks pass during the attempts.
class RetryScheduleTest : public ClipboardMonitorTest, public ::testing::WithParamInterface<int>
{};

TEST_P(RetryScheduleTest, EachAttemptWaitsItsDelayAfterThePreviousOne)
{
    const int attempt = GetParam();
    const auto &delays = ClipboardMonitor::retryDelays;
    const Milliseconds first = 1200ms; // the first poll tick after the change
    const Milliseconds due = std::accumulate(delays.begin(), delays.begin() + attempt + 1, first);

    start();
    advanceTo(1050ms);
    pasteboard.simulateCopy();
    advanceTo(due - 1ms);
    ASSERT_TRUE(clips.isEmpty());
    publishText("found");
    runtime.advance(5s);
    EXPECT_EQ(texts(), QStringList{"found"});
    EXPECT_EQ(clipTimes, QList<Milliseconds>{due});
}

INSTANTIATE_TEST_SUITE_P(AllTenAttempts, RetryScheduleTest, ::testing::Range(0, 10));

TEST_F(ClipboardMonitorTest, GivingUpAfterTheTenthAttemptMarksTheChangeHandled)
{
    start();
    advanceTo(1050ms);
    pasteboard.simulateCopy();
    advanceTo(1200ms + 2730ms); // the tenth attempt finds nothing either
    EXPECT_EQ(monitor->lastChangeCount(), pasteboard.changeCount());
    const int reads = pasteboard.readCount();
    publishText("too late");
    runtime.advance(5s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_EQ(pasteboard.readCount(), reads);

    pasteboard.simulateCopyText("next copy");
    runtime.advance(200ms);
    EXPECT_EQ(texts(), QStringList{"next copy"});
}

TEST_F(ClipboardMonitorTest, NewestChangeWinsWhenTheCountMovesDuringAttempts)
{
    start();
    // The older change stays unreadable and is overtaken before its third attempt.
    advanceTo(1050ms);
    copyUnreadable();
    advanceTo(1100ms);
    pasteboard.simulateCopyText("newer");
    runtime.advance(5s);
    EXPECT_EQ(texts(), QStringList{"newer"});

    // Overtaken between two attempts, with a poll tick coming first.
    advanceTo(7150ms);
    copyUnreadable();
    advanceTo(7190ms);
    pasteboard.simulateCopyText("newest");
    runtime.advance(5s);
    EXPECT_EQ(texts(), (QStringList{"newer", "newest"}));
    EXPECT_EQ(clipTimes.last(), 7200ms);
}

TEST_F(ClipboardMonitorTest, NothingIsCapturedDuringAPauseAndItsEndMarksTheCountHandled)
{
    start();
    // A change still being read when the pause starts is abandoned.
    advanceTo(1050ms);
    copyUnreadable();
    advanceTo(1100ms);
    monitor->pauseBriefly();
    publishText("abandoned");
    // Another program copies during the pause.
    advanceTo(1300ms);
    pasteboard.simulateCopyText("other program");
    monitor->pasteboardDidChange();
    advanceTo(1699ms);
    EXPECT_TRUE(monitor->isPaused());
    advanceTo(1700ms);
    EXPECT_FALSE(monitor->isPaused());
    EXPECT_EQ(monitor->lastChangeCount(), pasteboard.changeCount());
    runtime.advance(5s);
    EXPECT_TRUE(clips.isEmpty());

    // The program's own write right after a pause.
    monitor->pauseBriefly();
    pasteboard.clearContents();
    pasteboard.setString("own write", "text/plain");
    runtime.advance(5s);
    EXPECT_TRUE(clips.isEmpty());

    pasteboard.simulateCopyText("after the pause");
    runtime.advance(200ms);
    EXPECT_EQ(texts(), QStringList{"after the pause"});
}

TEST_F(ClipboardMonitorTest, TwoQuickPausesEndSixTenthsAfterTheFirst)
{
    start();
    advanceTo(1000ms);
    monitor->pauseBriefly();
    advanceTo(1400ms);
    monitor->pauseBriefly();
    advanceTo(1550ms);
    pasteboard.simulateCopyText("during");
    advanceTo(1600ms);
    EXPECT_FALSE(monitor->isPaused());
    advanceTo(1650ms);
    pasteboard.simulateCopyText("after the first pause ended");
    runtime.advance(3s);
    EXPECT_EQ(texts(), QStringList{"after the first pause ended"});
    EXPECT_EQ(clipTimes, QList<Milliseconds>{1800ms});
}

// A text copied while an earlier picture converts arrives first; the picture still follows.
TEST_F(ClipboardMonitorTest, ImagesAreConvertedToPngOnTheEncodeQueue)
{
    start();
    copyImageHeld();
    EXPECT_EQ(runtime.pendingCount(encodeQueue), 1);
    pasteboard.simulateCopyText("text");
    monitor->pasteboardDidChange();
    runtime.runUntilIdle();
    EXPECT_EQ(texts(), QStringList{"text"});

    runtime.setQueueHeld(encodeQueue, false);
    runtime.advance(10ms);
    ASSERT_EQ(texts(), (QStringList{"text", "<image>"}));
    EXPECT_EQ(clips.last().imageData, FakeImageCodec::makeImage(QSize(64, 48), "png", QByteArray(200, 'p')));
    // One decode and one encode per capture.
    EXPECT_EQ(codec.decodes, 1);
    EXPECT_EQ(codec.pngEncodes, 1);

    // Bytes that do not convert are kept as read.
    const QByteArray opaque = QByteArray("not an image ") + QByteArray(200, 'x');
    pasteboard.simulateCopyData(opaque, "image/x-unknown");
    monitor->pasteboardDidChange();
    runtime.runUntilIdle();
    ASSERT_EQ(clips.size(), 3);
    EXPECT_EQ(clips.last().imageData, opaque);
}

// The program's own brief pause, and the user's. Its owner gone meanwhile, nothing is kept either.
TEST_F(ClipboardMonitorTest, ImageConvertingWhenAPauseStartsIsNeverDeliveredNorKept)
{
    start();
    for (const bool byTheUser : {false, true}) {
        SCOPED_TRACE(byTheUser ? "user's pause" : "brief pause");
        copyImageHeld();
        ownerLeaves();
        byTheUser ? monitor->setCapturingPaused(true) : monitor->pauseBriefly();
        runtime.setQueueHeld(encodeQueue, false);
        runtime.advance(10ms);
        EXPECT_EQ(runtime.pendingCount(encodeQueue), 0);
        monitor->setCapturingPaused(false);
        runtime.advance(3s);
        EXPECT_TRUE(clips.isEmpty());
        EXPECT_EQ(pasteboard.writeLog, QStringList());
    }
}

// The user's pause, over a polled pasteboard and one that announces its changes.
class UserPauseTest : public ClipboardMonitorTest, public ::testing::WithParamInterface<bool>
{
protected:
    void copy(const QString &text)
    {
        pasteboard.simulateCopyText(text);
        if (GetParam())
            monitor->pasteboardDidChange();
    }
};

TEST_P(UserPauseTest, NothingIsReadWhilePausedAndLiftingItCapturesNothingCopiedMeanwhile)
{
    pasteboard.setAnnouncesChanges(GetParam());
    start();
    // A change still being read when the user pauses is given up.
    advanceTo(1000ms);
    copyUnreadable();
    advanceTo(1050ms);
    ASSERT_GT(pasteboard.readCount(), 0);
    monitor->setCapturingPaused(true);
    EXPECT_TRUE(monitor->isCapturingPaused());
    publishText("being read");
    const int reads = pasteboard.readCount();

    advanceTo(2000ms);
    copy("private");
    // The program's own brief pause ends inside the user's without lifting it.
    monitor->pauseBriefly();
    advanceTo(3000ms);
    copy("private too");
    // Copied just before the pause is lifted, before the next poll at 6 s could see it.
    advanceTo(5950ms);
    copy("private at the last moment");
    advanceTo(5990ms);
    EXPECT_EQ(pasteboard.readCount(), reads);
    monitor->setCapturingPaused(false);
    runtime.advance(5s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_EQ(pasteboard.readCount(), reads);

    copy("after the pause");
    runtime.advance(200ms);
    EXPECT_EQ(texts(), QStringList{"after the pause"});
}

INSTANTIATE_TEST_SUITE_P(Cue, UserPauseTest, ::testing::Values(false, true),
                         [](const auto &info) { return std::string(info.param ? "announced" : "polled"); });

TEST_F(ClipboardMonitorTest, SeveralFilesYieldOneClipFromTheFirst)
{
    QTemporaryDir dir;
    start();
    pasteboard.simulateCopy();
    pasteboard.setFileURLs(
        {QUrl::fromLocalFile(writeFile(dir.filePath("first.txt"), "contents of first.txt")),
         QUrl::fromLocalFile(writeFile(dir.filePath("second.md"), "contents of second"))});
    runtime.advance(3s);
    EXPECT_EQ(texts(), QStringList{"contents of first.txt"});
}

TEST_F(ClipboardMonitorTest, ReleasedMonitorsImageDeliveryDoesNothing)
{
    start();
    // An image job done, its delivery to the main thread not yet run, when the monitor goes.
    copyImageHeld();
    runtime.advance(10ms);
    runtime.setQueueHeld(encodeQueue, false);
    runtime.mainQueue().async([this] { monitor.reset(); });
    runtime.runUntilIdle();
    EXPECT_FALSE(monitor);
    EXPECT_TRUE(clips.isEmpty());
}

// Attempts under way, an image in flight and polling all end; a released monitor also leaves its
// pause's end and its poll timer behind.
TEST_F(ClipboardMonitorTest, StoppedOrReleasedMonitorsWorkDoesNothing)
{
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "stopped");
        monitor = std::make_unique<ClipboardMonitor>(runtime, pasteboard, codec);
        start();
        copyImageHeld();
        // A second change, still unreadable, with its attempts under way.
        copyUnreadable();
        runtime.runUntilIdle();
        if (release) {
            monitor->pauseBriefly();
            monitor.reset();
        } else {
            monitor->stop();
            EXPECT_FALSE(monitor->isStarted());
        }
        const int reads = pasteboard.readCount();
        publishText("nobody listens");
        runtime.setQueueHeld(encodeQueue, false);
        if (monitor)
            monitor->pasteboardDidChange();
        runtime.advance(5s);
        EXPECT_TRUE(clips.isEmpty());
        EXPECT_EQ(pasteboard.readCount(), reads);
        EXPECT_EQ(runtime.pendingCount("main"), 0);
    }
}

TEST_F(ClipboardMonitorTest, ContentWhoseOwnerLeftIsKeptOnlyWhileItIsTheNewestClip)
{
    start();
    // Gone before its first read attempt ran: the content stays readable and is captured.
    pasteboard.simulateCopyText("copied, then the editor closed");
    monitor->pasteboardDidChange();
    ownerLeaves();
    EXPECT_EQ(pasteboard.writeLog, QStringList());
    runtime.runUntilIdle();
    EXPECT_EQ(texts(), QStringList{"copied, then the editor closed"});
    EXPECT_EQ(pasteboard.writeLog, QStringList{"adopt"});
    EXPECT_FALSE(pasteboard.isOrphaned());

    // Gone after its clip was deleted from the history: left to go.
    pasteboard.writeLog.clear();
    pasteboard.simulateCopyText("deleted by the user");
    monitor->pasteboardDidChange();
    runtime.runUntilIdle();
    newestOverride = clips.first();
    ownerLeaves();
    runtime.advance(5s);
    EXPECT_EQ(pasteboard.writeLog, QStringList());

    // A secret, and content that yields no clip, are never kept.
    newestOverride.reset();
    pasteboard.simulateCopy();
    pasteboard.setItems({FakePasteboardItem()
                             .add(PasteboardType::passwordManagerHint, "secret")
                             .add("text/plain", "hunter2")});
    monitor->pasteboardDidChange();
    runtime.runUntilIdle();
    ownerLeaves();
    pasteboard.simulateCopyData("\x01\x02", "application/x-opaque");
    monitor->pasteboardDidChange();
    ownerLeaves();
    runtime.advance(5s);
    EXPECT_EQ(pasteboard.writeLog, QStringList());
    EXPECT_EQ(texts(), (QStringList{"copied, then the editor closed", "deleted by the user"}));
}

TEST_F(ClipboardMonitorTest, ImageWhoseOwnerLeftIsKeptOnceConverted)
{
    start();
    copyImageHeld();
    ownerLeaves();
    EXPECT_EQ(pasteboard.writeLog, QStringList()) << "decided before its clip exists";
    runtime.setQueueHeld(encodeQueue, false);
    runtime.advance(10ms);
    ASSERT_EQ(clips.size(), 1);
    EXPECT_EQ(pasteboard.writeLog, QStringList{"adopt"});
}

} // namespace
