#include "platform/qt/QtDecodedImage.h"
#include "platform/x11/X11Clipboard.h"
#include "tests/integration/X11TestSupport.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace tarno;
using namespace tarno::integration;

namespace {

class X11ClipboardTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { QStandardPaths::setTestModeEnabled(true); }

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X display";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    }

    // Waits for the snapshot of exactly this change count.
    static std::shared_ptr<const QMimeData> snapshotAt(const X11Clipboard &clipboard, qint64 count)
    {
        const bool reached = QTest::qWaitFor(
            [&] {
                return clipboard.changeCount() > count ||
                       (clipboard.changeCount() == count && clipboard.snapshot());
            },
            waitMs);
        if (!reached)
            return nullptr;
        return clipboard.changeCount() == count ? clipboard.snapshot() : nullptr;
    }

    // The plain text of the snapshot of exactly this change count; a note when there is none.
    static QByteArray textAt(const X11Clipboard &clipboard, qint64 count)
    {
        const auto snapshot = snapshotAt(clipboard, count);
        return snapshot ? snapshot->data("text/plain") : QByteArray("(no snapshot of that change)");
    }

    // Runs the event loop long enough for any late or doubled report to come in.
    static void settle() { QTest::qWait(300); }
};

TEST_F(X11ClipboardTest, ContentAlreadyThereIsReadButIsNoChange)
{
    xclipCopy("there before");
    X11Clipboard clipboard;
    ASSERT_TRUE(clipboard.isWatching());
    QSignalSpy moves(&clipboard, &X11Clipboard::changeCountChanged);

    EXPECT_EQ(textAt(clipboard, 0), "there before");
    settle();
    EXPECT_EQ(clipboard.changeCount(), 0);
    EXPECT_EQ(moves.count(), 0);
}

TEST_F(X11ClipboardTest, CopyLandingAsWatchingStartsIsReadWhicheverComesFirst)
{
    // The copy becomes either the content already there or the first change, but it is always
    // read, and its owner survives our reads: a request that crossed the owner change reaches the
    // new owner, whose answer must find its window still there. The rounds start watching at
    // slightly different moments while xclip is taking the clipboard.
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        const QByteArray text = "racing the start " + QByteArray::number(round);
        QProcess xclip;
        xclip.setStandardOutputFile(QProcess::nullDevice());
        xclip.setStandardErrorFile(QProcess::nullDevice());
        xclip.start("xclip", {"-selection", "clipboard", "-i"});
        xclip.write(text);
        xclip.closeWriteChannel();
        QThread::usleep(500 * round);
        X11Clipboard clipboard;
        const bool read = QTest::qWaitFor(
            [&] { return clipboard.snapshot() && clipboard.snapshot()->data("text/plain") == text; }, 3000);
        ASSERT_TRUE(read) << "count " << clipboard.changeCount() << ", formats "
                          << (clipboard.snapshot() ? clipboard.snapshot()->formats().join(u',').toStdString()
                                                   : std::string("(no snapshot)"));
        EXPECT_LE(clipboard.changeCount(), 1);
        EXPECT_EQ(xclipPaste(), text);
        ASSERT_TRUE(xclip.state() == QProcess::NotRunning || xclip.waitForFinished(waitMs));
    }
}

TEST_F(X11ClipboardTest, EachCopyMovesTheCountOnceAndArrivesUnderItsFormat)
{
    X11Clipboard clipboard;
    settle();
    QSignalSpy moves(&clipboard, &X11Clipboard::changeCountChanged);
    // What a reader woken by each move finds: the count moves only once the content is in.
    QStringList formatsAtMove;
    QObject::connect(&clipboard, &X11Clipboard::changeCountChanged, [&] {
        formatsAtMove.append(clipboard.snapshot() ? clipboard.snapshot()->formats().join(u',') : "(none)");
    });

    struct Copy
    {
        QByteArray bytes;
        QString target;
        QString format;
        QByteArray expected;
    };
    const QList<Copy> copies{
        {"Grüße aus Köln 🌍", {}, "text/plain", "Grüße aus Köln 🌍"},
        // Latin-1 under STRING becomes UTF-8, as Qt reads it.
        {"caf\xe9", "STRING", "text/plain", "caf\xc3\xa9"},
        {"<b>bold</b>", "text/html", "text/html", "<b>bold</b>"},
        {"https://example.org/\r\n", "text/uri-list", "text/uri-list", "https://example.org/\r\n"},
        {largePng(), "image/png", "image/png", largePng()},
    };
    qint64 count = clipboard.changeCount();
    for (const Copy &copy : copies) {
        SCOPED_TRACE(copy.format.toStdString());
        xclipCopy(copy.bytes, copy.target);
        const auto snapshot = snapshotAt(clipboard, count + 1);
        ASSERT_TRUE(snapshot) << "count " << clipboard.changeCount() << " after " << count;
        EXPECT_EQ(snapshot->formats(), QStringList{copy.format});
        EXPECT_TRUE(snapshot->data(copy.format) == copy.expected);
        EXPECT_EQ(formatsAtMove.value(moves.count() - 1), copy.format);
        count = clipboard.changeCount();
    }
    settle();
    EXPECT_EQ(clipboard.changeCount(), count);
    EXPECT_EQ(moves.count(), copies.size());
}

TEST_F(X11ClipboardTest, OwnWritesMoveTheCountOnceReadBackAtOnceAndServeOthers)
{
    X11Clipboard clipboard;
    settle();
    QSignalSpy moves(&clipboard, &X11Clipboard::changeCountChanged);
    const qint64 start = clipboard.changeCount();

    clipboard.clearContents();
    clipboard.setString("from Tarno ✓", "text/plain");
    EXPECT_EQ(clipboard.changeCount(), start + 2);
    ASSERT_TRUE(clipboard.snapshot());
    EXPECT_EQ(clipboard.snapshot()->formats(), QStringList{"text/plain"});
    EXPECT_EQ(clipboard.snapshot()->data("text/plain"), "from Tarno ✓");

    EXPECT_EQ(xclipPaste(), "from Tarno ✓");
    const QStringList textTargets = targetsOffered();
    for (const char *target : {"UTF8_STRING", "STRING", "TEXT", "text/plain"})
        EXPECT_TRUE(textTargets.contains(target)) << target << " in " << textTargets.join(' ').toStdString();

    clipboard.clearContents();
    clipboard.setData(largePng(), "image/png");
    clipboard.writeImage(std::make_shared<QtDecodedImage>(largeImage()));
    EXPECT_EQ(clipboard.changeCount(), start + 5);
    ASSERT_TRUE(clipboard.snapshot());
    EXPECT_TRUE(clipboard.snapshot()->data("image/png") == largePng());
    EXPECT_FALSE(clipboard.snapshot()->hasText());
    EXPECT_EQ(clipboard.snapshot()->imageData().value<QImage>().size(), largeImage().size());

    EXPECT_TRUE(xclipPaste("image/png") == largePng());
    const QStringList imageTargets = targetsOffered();
    EXPECT_TRUE(imageTargets.contains("image/bmp")) << imageTargets.join(' ').toStdString();
    EXPECT_FALSE(imageTargets.contains("UTF8_STRING"));

    settle();
    EXPECT_EQ(clipboard.changeCount(), start + 5);
    EXPECT_EQ(moves.count(), 5);

    // Once we own the clipboard, the next copy elsewhere counts again.
    xclipCopy("after ours");
    EXPECT_EQ(textAt(clipboard, start + 6), "after ours");
}

TEST_F(X11ClipboardTest, CopyMadeJustBeforeOurWriteIsOverwrittenNotCounted)
{
    X11Clipboard clipboard;
    settle();
    const qint64 start = clipboard.changeCount();

    // The copy's report is still on its way to the main thread when we write.
    xclipCopy("a moment earlier");
    QThread::msleep(100);
    clipboard.setString("ours", "text/plain");
    EXPECT_EQ(clipboard.changeCount(), start + 1);

    settle();
    EXPECT_EQ(clipboard.changeCount(), start + 1);
    ASSERT_TRUE(clipboard.snapshot());
    EXPECT_EQ(clipboard.snapshot()->data("text/plain"), "ours");
    EXPECT_EQ(xclipPaste(), "ours");
}

TEST_F(X11ClipboardTest, HungOwnerNeitherStallsTheMainThreadNorDelaysTheNextCopy)
{
    // A timeout far beyond the test's waits: the next copy can only arrive by abandoning the read.
    X11Clipboard clipboard({}, X11SelectionLimits{std::chrono::minutes(5)});
    settle();
    const qint64 start = clipboard.changeCount();

    xclipCopy("before the hang");
    const auto before = snapshotAt(clipboard, start + 1);
    ASSERT_TRUE(before);

    HostileOwner owner;
    ASSERT_TRUE(owner.holdsClipboard());
    EXPECT_LT(longestEventLoopGap(1500), freezeBoundMs);
    // Its content never comes, so its change is not counted yet and reads answer what was there.
    EXPECT_EQ(clipboard.changeCount(), start + 1);
    EXPECT_EQ(clipboard.snapshot(), before);

    xclipCopy("after the hang");
    EXPECT_EQ(textAt(clipboard, start + 2), "after the hang");
}

TEST_F(X11ClipboardTest, HungOwnerTimesOutAndItsExitCounts)
{
    X11Clipboard clipboard({}, X11SelectionLimits{std::chrono::milliseconds(300)});
    settle();
    const qint64 start = clipboard.changeCount();

    HostileOwner owner;
    ASSERT_TRUE(owner.holdsClipboard());
    const auto given = snapshotAt(clipboard, start + 1);
    ASSERT_TRUE(given) << "the read is given up after the timeout";
    EXPECT_TRUE(given->formats().isEmpty());

    owner.exit();
    const auto gone = snapshotAt(clipboard, start + 2);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->formats().isEmpty());

    xclipCopy("next");
    EXPECT_EQ(textAt(clipboard, start + 3), "next");
}

TEST_F(X11ClipboardTest, ContentOfAnOwnerThatLeftStaysAndIsServedOnceAdopted)
{
    X11Clipboard clipboard;
    settle();
    const qint64 start = clipboard.changeCount();
    QSignalSpy gone(&clipboard, &X11Clipboard::ownerGone);

    QProcess xclip;
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start("xclip", {"-selection", "clipboard", "-i", "-quiet"});
    xclip.write("held in the foreground");
    xclip.closeWriteChannel();
    ASSERT_TRUE(snapshotAt(clipboard, start + 1));
    xclip.kill();
    xclip.waitForFinished(waitMs);
    ASSERT_TRUE(gone.wait(waitMs));
    EXPECT_TRUE(clipboard.isOrphaned());
    settle();
    EXPECT_EQ(clipboard.changeCount(), start + 1);
    EXPECT_EQ(clipboard.snapshot()->data("text/plain"), "held in the foreground");
    EXPECT_EQ(clipboardOwner(), XCB_NONE);

    clipboard.adoptOrphanedContent();
    EXPECT_FALSE(clipboard.isOrphaned());
    for (const char *target : {"UTF8_STRING", "STRING", "TEXT", "text/plain;charset=utf-8"})
        EXPECT_EQ(xclipPaste(target), "held in the foreground") << target;
    const QStringList targets = targetsOffered();
    for (const char *target : {"TARGETS", "TIMESTAMP", "MULTIPLE"})
        EXPECT_TRUE(targets.contains(target)) << target;
    settle();
    EXPECT_EQ(clipboard.changeCount(), start + 1) << "serving it again is no change";

    xclipCopy("next");
    EXPECT_EQ(textAt(clipboard, start + 2), "next");
    EXPECT_EQ(gone.size(), 1);
}

TEST_F(X11ClipboardTest, ProgramExitingWithTheManagerProtocolIsAnsweredAtOnce)
{
    X11Clipboard clipboard;
    ASSERT_TRUE(QTest::qWaitFor([&] { return clipboard.isClipboardManager(); }, waitMs));
    settle();
    const qint64 start = clipboard.changeCount();
    QSignalSpy gone(&clipboard, &X11Clipboard::ownerGone);

    QTemporaryDir folder;
    const QString picture = folder.filePath("picture.png");
    // Large, yet small enough for the owner to encode well within the request timeout even on a
    // loaded machine: Qt encodes it anew for every request.
    ASSERT_TRUE(largeImage().copy(0, 0, 1000, 600).save(picture));
    CopyingProgram program({"image", picture});
    ASSERT_TRUE(program.hasCopied());
    const auto copied = snapshotAt(clipboard, start + 1);
    ASSERT_TRUE(copied);
    // Qt programs list their own image type first; the PNG is what is read.
    const QByteArray png = copied->data("image/png");
    ASSERT_TRUE(png.startsWith("\x89PNG")) << copied->formats().join(' ').toStdString();

    // Qt waits for the manager's answer before it exits, and complains if none comes.
    const QByteArray said = program.quit();
    EXPECT_FALSE(said.contains("clipboard manager")) << said.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.size() == 1; }, waitMs));
    clipboard.adoptOrphanedContent();
    EXPECT_GT(png.size(), 512 * 1024);
    EXPECT_EQ(xclipPaste("image/png"), png);
    const QStringList targets = targetsOffered();
    EXPECT_TRUE(targets.contains("image/bmp")) << targets.join(' ').toStdString();
    EXPECT_TRUE(targets.contains("image/jpeg")) << targets.join(' ').toStdString();
}

TEST_F(X11ClipboardTest, AnotherClipboardManagerIsLeftAloneAndSucceededOnlyOnceGone)
{
    HostileOwner other("manager");
    ASSERT_TRUE(other.holdsClipboard());
    const xcb_window_t theirs = selectionOwner("CLIPBOARD_MANAGER");
    X11Clipboard clipboard;
    ASSERT_TRUE(clipboard.isWatching());
    settle();
    EXPECT_FALSE(clipboard.isClipboardManager());
    EXPECT_EQ(selectionOwner("CLIPBOARD_MANAGER"), theirs);

    other.exit();
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard.isClipboardManager(); }, waitMs));
    EXPECT_NE(selectionOwner("CLIPBOARD_MANAGER"), XCB_NONE);
}

TEST_F(X11ClipboardTest, FormatPastTheSizeBoundIsDroppedAndReadingGoesOn)
{
    X11Clipboard clipboard({}, X11SelectionLimits{std::chrono::seconds(3), 1024 * 1024});
    settle();
    const qint64 start = clipboard.changeCount();
    ASSERT_GT(largePng().size(), 4 * 1024 * 1024);

    xclipCopy(largePng(), "image/png");
    const auto dropped = snapshotAt(clipboard, start + 1);
    ASSERT_TRUE(dropped);
    EXPECT_TRUE(dropped->formats().isEmpty());

    const QByteArray fits(512 * 1024, 'x');
    xclipCopy(fits);
    EXPECT_TRUE(textAt(clipboard, start + 2) == fits);
}

TEST_F(X11ClipboardTest, TextPastItsBoundKeepsItsStartAndReadingGoesOn)
{
    X11SelectionLimits limits;
    limits.maxTextBytes = 100 * 1024 + 1;
    X11Clipboard clipboard({}, limits);
    settle();
    qint64 count = clipboard.changeCount();

    // Below the bound, past it in one property, and past it by far over an incremental transfer.
    for (const qsizetype size : {qsizetype(64) << 10, qsizetype(1) << 20, qsizetype(24) << 20}) {
        QByteArray text;
        text.reserve(size);
        while (text.size() < size)
            text += QByteArray::number(text.size()) + ' ';
        text.truncate(size);
        xclipCopy(text);
        EXPECT_TRUE(textAt(clipboard, ++count) == text.left(limits.maxTextBytes)) << size;
    }

    xclipCopy("next");
    EXPECT_EQ(textAt(clipboard, ++count), "next");
}

} // namespace
