#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "platform/fake/FakeFileEvents.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/ManualRuntime.h"
#include "tests/support/TestData.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

const QString debounceQueue = "Personal.Gleanery.screenshot-debounce";

// Counts conversions of the files' own bytes (written as "tiff"), which happen once per file read;
// the pasteboard export re-encodes PNG and is not counted.
class CountingCodec : public FakeImageCodec
{
public:
    DecodedImagePtr bitmapFromData(const QByteArray &data) const override
    {
        if (data.startsWith("FAKEIMG") && data.contains(" tiff;"))
            ++fileConversions;
        return FakeImageCodec::bitmapFromData(data);
    }
    mutable std::atomic_int fileConversions{0};
};

// Records whether the monitor was paused at the moment the pasteboard was written.
class RecordingPasteboard : public FakePasteboard
{
public:
    void clearContents() override
    {
        pausedAtWrite << (monitor && monitor->isPaused());
        FakePasteboard::clearContents();
    }
    ClipboardMonitor *monitor = nullptr;
    QList<bool> pausedAtWrite;
};

class ScreenshotWatcherTest : public ::testing::Test
{
protected:
    ManualRuntime runtime;
    RecordingPasteboard pasteboard;
    CountingCodec codec;
    FakeFileEvents fileEvents;
    QTemporaryDir dir;
    ClipboardMonitor monitor{runtime, pasteboard, codec};
    std::unique_ptr<ScreenshotFileWatcher> watcher =
        std::make_unique<ScreenshotFileWatcher>(runtime, fileEvents, pasteboard, codec, monitor);

    QList<ClipboardItem> clips;
    QList<Milliseconds> clipTimes;
    QList<ClipboardItem> monitorClips;

    void SetUp() override
    {
        pasteboard.monitor = &monitor;
        monitor.start([this](const ClipboardItem &item) { monitorClips << item; });
    }
    void start(const QStringList &folders = {}, ScreenshotFileNames names = {})
    {
        watcher->start(
            [this](const ClipboardItem &item) {
                clips << item;
                clipTimes << runtime.elapsed();
            },
            folders.isEmpty() ? QStringList{dir.path()} : folders, std::move(names));
    }
    // A file's bytes; as a clip, the same picture as PNG.
    static QByteArray imageBytes(const QByteArray &payload = "shot", const char *format = "tiff")
    {
        return FakeImageCodec::makeImage(QSize(1440, 900), format, payload + QByteArray(200, '.'));
    }
    QString write(const QString &name, const QByteArray &bytes = imageBytes())
    {
        return writeFile(dir.filePath(name), bytes);
    }
    // Reports each path alone and lets it be captured.
    void captureEach(const QStringList &paths)
    {
        for (const QString &path : paths) {
            fileEvents.emitPaths({path});
            runtime.advance(600ms);
        }
    }
};

TEST_F(ScreenshotWatcherTest, WatchesTheGivenFoldersInOrderOnTheDebounceQueue)
{
    const QStringList folders{dir.path(), dir.filePath("Desktop that does not exist")};
    start(folders);
    EXPECT_TRUE(watcher->isWatching());
    ASSERT_EQ(fileEvents.requests.size(), 1);
    EXPECT_EQ(fileEvents.requests[0].folders, folders);
    EXPECT_EQ(fileEvents.requests[0].latency, 150ms);
    fileEvents.emitPaths({write("Screenshot 1.png")});
    EXPECT_EQ(runtime.pendingCount(debounceQueue), 1);

    // A second start ends the first watch.
    start(folders);
    EXPECT_EQ(fileEvents.requests.size(), 2);
    EXPECT_EQ(fileEvents.activeStreamCount(), 1);

    // No watch at all is quiet.
    fileEvents.failWatch = true;
    start(folders);
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_EQ(fileEvents.activeStreamCount(), 0);
    runtime.advance(2s);
    EXPECT_TRUE(clips.isEmpty());
}

TEST_F(ScreenshotWatcherTest, BurstOfEventsYieldsOneReadAndOneClipAlsoOnThePasteboard)
{
    start();
    const QString path = write("Screenshot 2026-01-01 at 09.00.00.png");
    for (Milliseconds at : {0ms, 200ms, 400ms}) {
        runtime.advance(at - runtime.elapsed());
        fileEvents.emitPaths({path});
    }
    // The fake delivers at once: the read comes a quiet time after the last event, which with the
    // watch's latency at worst (150 ms) keeps a clip within half a second of the file.
    const Milliseconds lastEvent = 400ms;
    runtime.advance(lastEvent + 349ms - runtime.elapsed());
    EXPECT_TRUE(clips.isEmpty());
    runtime.advance(lastEvent + 500ms - runtime.elapsed());

    ASSERT_EQ(clips.size(), 1);
    EXPECT_EQ(clipTimes[0] - lastEvent, 350ms);
    EXPECT_EQ(codec.fileConversions, 1);
    EXPECT_EQ(clips[0].imageData, imageBytes("shot", "png"));

    EXPECT_EQ(pasteboard.dataForType("image/png"), imageBytes("shot", "png"));
    EXPECT_EQ(pasteboard.imageObjects().size(), 1);
    EXPECT_EQ(pasteboard.pausedAtWrite, QList<bool>{true});
    runtime.advance(5s);
    EXPECT_TRUE(monitorClips.isEmpty());
}

TEST_F(ScreenshotWatcherTest, OnlyScreenshotNamedStillImagesAreRead)
{
    start({}, ScreenshotFileNames({"bildschirmfoto vom "}));
    const QStringList ignored{write("Screenshot 2026-01-01.gif"),
                              write("my screenshot.png"),
                              write("Photo.png"),
                              write("Screenshot notes.txt"),
                              write("Screenshot small.png", QByteArray(128, 's')),
                              write("2026-12-08_02-55.jpg")};
    const QStringList accepted{write("CleanShot 2026-01-01.jpg"), write("Screen Shot 2020-01-01.tiff"),
                               write("sub/window-SCREENCAPTURE-1.heic"), write("2026-12-08_02-55.png"),
                               write("Bildschirmfoto vom 2026-12-08 02-47-25.png")};
    fileEvents.emitPaths(ignored + accepted);
    runtime.advance(1s);
    EXPECT_EQ(clips.size(), accepted.size());
    EXPECT_EQ(codec.fileConversions, accepted.size());
}

TEST_F(ScreenshotWatcherTest, EachPathIsCapturedOnceUntil41DistinctPathsWereRecorded)
{
    start();
    const QString first = write("Screenshot 00.png");
    captureEach({first});
    write("Screenshot 00.png", imageBytes("edited"));
    captureEach({first});
    ASSERT_EQ(clips.size(), 1);

    QStringList others;
    for (int i = 1; i <= 39; ++i)
        others << write(QString("Screenshot %1.png").arg(i, 2, 10, QChar('0')));
    fileEvents.emitPaths(others); // one batch, one read each
    runtime.advance(1s);
    ASSERT_EQ(clips.size(), 40);
    captureEach({first});
    EXPECT_EQ(clips.size(), 40);

    captureEach({write("Screenshot 40.png")}); // the 41st distinct path is still captured...
    EXPECT_EQ(clips.size(), 41);
    captureEach({first}); // ...and then the memory is empty
    ASSERT_EQ(clips.size(), 42);
    EXPECT_EQ(clips.last().imageData, imageBytes("edited", "png"));
}

TEST_F(ScreenshotWatcherTest, FileNotReadableYetIsReadOnItsNextEvent)
{
    start();
    // Gone before it is read.
    const QString removed = write("Screenshot removed.png");
    fileEvents.emitPaths({removed});
    QFile::remove(removed);
    runtime.advance(1s);
    // Created, but still empty when its quiet time is over.
    const QString slow = write("Screenshot slow.png", {});
    fileEvents.emitPaths({slow});
    runtime.advance(1s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_TRUE(pasteboard.writeLog.isEmpty());

    write("Screenshot slow.png");
    captureEach({slow});
    write("Screenshot removed.png");
    captureEach({removed});
    EXPECT_EQ(clips.size(), 2);
}

TEST_F(ScreenshotWatcherTest, StopCancelsWaitingWorkAndForgetsCapturedPaths)
{
    start();
    const QString path = write("Screenshot 1.png");
    fileEvents.emitPaths({path});
    runtime.advance(200ms);
    ASSERT_EQ(runtime.pendingCount(debounceQueue), 1);
    watcher->stop();
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_EQ(fileEvents.activeStreamCount(), 0);
    EXPECT_EQ(runtime.pendingCount(debounceQueue), 0);
    fileEvents.emitPaths({path});
    runtime.advance(2s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_EQ(codec.fileConversions, 0);

    start();
    captureEach({path, path});
    EXPECT_EQ(clips.size(), 1);
    watcher->stop();
    start();
    captureEach({path});
    EXPECT_EQ(clips.size(), 2);
}

TEST_F(ScreenshotWatcherTest, NoScreenshotIsCapturedWhileTheUserPausesNorLaterForOneSavedMeanwhile)
{
    start();
    // Read just before the pause; its hand-over to the main thread comes after it.
    const QString before = write("Screenshot before.png");
    fileEvents.emitPaths({before});
    runtime.runUntilIdle();
    runtime.mainQueue().asyncAfter(350ms, [this] { monitor.setCapturingPaused(true); });
    runtime.advance(1s);
    ASSERT_TRUE(monitor.isCapturingPaused());
    EXPECT_EQ(codec.fileConversions, 1);

    const QString during = write("Screenshot during.png");
    fileEvents.emitPaths({during});
    runtime.advance(1s);
    monitor.setCapturingPaused(false);
    // Both files change again once the pause is lifted.
    write("Screenshot during.png", imageBytes("edited"));
    captureEach({during, before});
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_TRUE(pasteboard.writeLog.isEmpty());
    EXPECT_EQ(codec.fileConversions, 1) << "a file saved during the pause was read";

    captureEach({write("Screenshot after.png")});
    EXPECT_EQ(clips.size(), 1);
}

TEST_F(ScreenshotWatcherTest, ReleasedWatchersWorkDoesNothing)
{
    start();
    const QString path = write("Screenshot 1.png");
    fileEvents.emitPaths({path});
    runtime.runUntilIdle(); // the read is scheduled for 350 ms
    // Runs after the read at 350 ms has handed its clip to the main thread, before the hand-over runs.
    runtime.mainQueue().asyncAfter(350ms, [this] { watcher.reset(); });
    runtime.advance(2s);
    EXPECT_FALSE(watcher);
    EXPECT_EQ(codec.fileConversions, 1);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_TRUE(pasteboard.writeLog.isEmpty());
    EXPECT_FALSE(monitor.isPaused());

    // Waiting work and later events of a released watcher.
    watcher = std::make_unique<ScreenshotFileWatcher>(runtime, fileEvents, pasteboard, codec, monitor);
    start();
    fileEvents.emitPaths({path});
    runtime.advance(200ms);
    watcher.reset();
    fileEvents.emitPaths({path});
    runtime.advance(2s);
    EXPECT_TRUE(clips.isEmpty());
    EXPECT_EQ(runtime.pendingCount(debounceQueue), 0);
}

} // namespace
