// The capture core as the program composes it, on a real X display: the real platform, a clipboard
// monitor and a screenshot watcher over it, and the history store they feed. xclip is the other
// program; files are written into a temporary home.
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipExport.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "platform/x11/X11Clipboard.h"
#include "tests/integration/CaptureFixture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace tarno;
using namespace tarno::integration;

namespace {

// Long enough for a pause (0.6 s) to end and the poll (0.2 s) to have looked twice after it.
constexpr int pastPauseMs = 1100;

QByteArray smallPng()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 200));
    return encodeImage(image);
}

class CaptureTest : public CaptureFixture
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X display";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(s_home && s_home->isValid());
        ASSERT_EQ(QDir::homePath(), s_home->path());
        CaptureFixture::SetUp();
    }

    void TearDown() override
    {
        if (m_watcher)
            m_watcher->stop();
        m_watcher.reset();
        CaptureFixture::TearDown();
    }

    void startCapturing()
    {
        CaptureFixture::startCapturing();
        ASSERT_TRUE(m_platform->clipboard().isWatching());
    }

    void startWatchingScreenshots()
    {
        SystemScreenshotPreferences preferences(*m_platform->platform().processRunner);
        const QStringList folders = preferences.screenshotFolders();
        ASSERT_TRUE(folders.contains(desktop())) << folders.join(u' ').toStdString();
        m_watcher =
            std::make_unique<ScreenshotFileWatcher>(m_platform->runtime(), *m_platform->platform().fileEvents,
                                                    m_platform->clipboard(), codec(), *m_monitor);
        m_watcher->start([this](const ClipboardItem &item) { m_history->add(item); }, folders);
        ASSERT_TRUE(m_watcher->isWatching());
    }

    // The encoder's PNG of the bytes; worked out once per input, as converting takes a while.
    QByteArray converted(const QByteArray &bytes) const
    {
        static QHash<QByteArray, QByteArray> done;
        if (!done.contains(bytes))
            done.insert(bytes, pngData(codec(), bytes).value_or("(no PNG)"));
        return done.value(bytes);
    }

    static QString desktop() { return s_home->path() + "/Desktop"; }

    // What a misbehaving owner or file must not do: freeze the main thread, make Qt complain, or
    // keep the next ordinary copy from becoming the newest clip.
    void expectUnharmedBy(const std::string &what)
    {
        EXPECT_LT(longestEventLoopGap(1000), freezeBoundMs) << what;
        const QByteArray next = "after " + QByteArray::fromStdString(what);
        xclipCopy(next);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !clips().isEmpty() && clips().first().text == ClipText::fromUtf8(next); }, waitMs))
            << what << ": the next copy was not captured";
        EXPECT_EQ(s_warnings, QStringList()) << what;
        s_warnings.clear();
    }
    static qint64 residentMB()
    {
        for (const QByteArray &line : readFile("/proc/self/status").split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong() / 1024;
        }
        return -1;
    }
    static double cpuSeconds()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    std::unique_ptr<ScreenshotFileWatcher> m_watcher;
};

TEST_F(CaptureTest, ContentThereAtStartIsSkippedAndEachLaterCopyBecomesOneClip)
{
    // An image, whose content is still arriving when the monitor starts.
    xclipCopy(screenshotPng(), "image/png");
    startCapturing();
    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty());

    xclipCopy("  copied elsewhere \n");
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().kind, ClipboardItemKind::text);
    EXPECT_EQ(clips().first().text, "copied elsewhere");

    // The same image as at start, copied again, is a new copy; it arrives as the encoder's PNG.
    xclipCopy(screenshotPng(), "image/png");
    ASSERT_TRUE(waitForClips(2));
    EXPECT_EQ(clips().first().kind, ClipboardItemKind::image);
    EXPECT_TRUE(clips().first().imageData == converted(screenshotPng()));

    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), 2);
}

TEST_F(CaptureTest, OwnWritesAreNotCapturedAndOtherProgramsReadThemBack)
{
    startCapturing();
    const ClipboardItem text = ClipboardItem::makeText("written by Tarno ✓", m_platform->runtime().now());
    m_monitor->pauseBriefly();
    copyToPasteboard(text, m_platform->clipboard(), codec());
    EXPECT_EQ(QString::fromUtf8(xclipPaste()), "written by Tarno ✓");

    const ClipboardItem image = ClipboardItem::makeImage(screenshotPng(), m_platform->runtime().now());
    m_monitor->pauseBriefly();
    copyToPasteboard(image, m_platform->clipboard(), codec());
    EXPECT_TRUE(xclipPaste("image/png") == converted(screenshotPng()));

    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty());

    // Still watching: the next copy elsewhere counts.
    xclipCopy("after our own writes");
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "after our own writes");
}

TEST_F(CaptureTest, WhatProgramsCopiedBeforeExitingCanStillBePastedIfItIsTheNewestClip)
{
    startCapturing();
    QTemporaryDir folder;
    const QString notes = writeFile(folder.filePath("notes.txt"), "the notes' own text");
    const QString picture = folder.filePath("picture.png");
    ASSERT_TRUE(screenshotPng().size() > 0 && QImage::fromData(screenshotPng()).save(picture));

    // Killed, and exiting the ordinary way with the clipboard-manager protocol; text, an image and
    // files, each as its program offered it.
    struct Case
    {
        QStringList arguments;
        bool quits;
        QStringList targets;
    };
    const QList<Case> cases{
        {{"text", "copied in an editor now closed"}, false, {"UTF8_STRING", "STRING"}},
        {{"image", picture}, true, {"application/x-qt-image", "image/png"}},
        {{"files", notes}, true, {"text/uri-list", "x-special/gnome-copied-files"}},
    };
    for (const Case &copy : cases) {
        const std::string what = copy.arguments.join(' ').toStdString();
        const qsizetype before = clips().size();
        CopyingProgram program(copy.arguments);
        ASSERT_TRUE(program.hasCopied()) << what;
        ASSERT_TRUE(waitForClips(before + 1)) << what;
        QHash<QString, QByteArray> offered;
        for (const QString &target : copy.targets)
            offered.insert(target, xclipPaste(target));
        const ClipboardItem newest = clips().first();

        if (copy.quits)
            EXPECT_FALSE(program.quit().contains("clipboard manager")) << what;
        else
            program.kill();
        ASSERT_TRUE(QTest::qWaitFor([] { return clipboardOwner() != XCB_NONE; }, waitMs)) << what;
        for (const QString &target : copy.targets)
            EXPECT_EQ(xclipPaste(target), offered.value(target)) << what << " " << target.toStdString();
        QTest::qWait(300);
        EXPECT_EQ(clips().size(), before + 1) << what << ": serving it again is no new clip";
        EXPECT_EQ(clips().first().id, newest.id) << what;
    }

    // A clip deleted from the history is not kept alive after its program has gone.
    CopyingProgram program({"text", "soon deleted"});
    ASSERT_TRUE(program.hasCopied());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return clips().first().text == ClipText::fromUtf8("soon deleted"); }, waitMs));
    QList<ClipboardItem> remaining = clips();
    remaining.removeFirst();
    m_history->setItems(remaining);
    program.kill();
    QTest::qWait(500);
    EXPECT_EQ(clipboardOwner(), XCB_NONE);
    EXPECT_EQ(s_warnings, QStringList());
}

TEST_F(CaptureTest, ScreenshotWrittenInPiecesBecomesOneClipAlsoOnTheClipboard)
{
    ASSERT_TRUE(QDir().mkpath(desktop()));
    startCapturing();
    startWatchingScreenshots();

    // Pieces 100 ms apart, 0.7 s in all: longer than the quiet time, so only a watcher that waits
    // for the file to go quiet reads it whole.
    const QByteArray &bytes = screenshotPng();
    QFile file(desktop() + "/Screenshot 2026-12-07 at 02.00.00.png");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    constexpr int pieces = 8;
    const qsizetype pieceSize = bytes.size() / pieces + 1;
    for (int piece = 0; piece < pieces; ++piece) {
        EXPECT_TRUE(clips().isEmpty()) << "captured before piece " << piece;
        file.write(bytes.mid(piece * pieceSize, pieceSize));
        file.flush();
        QTest::qWait(100);
    }
    file.close();

    ASSERT_TRUE(waitForClips(1));
    const ClipboardItem clip = clips().first();
    EXPECT_EQ(clip.kind, ClipboardItemKind::image);
    EXPECT_TRUE(clip.imageData == converted(bytes));
    EXPECT_TRUE(xclipPaste("image/png") == clip.imageData);

    // Neither the monitor (the clipboard write) nor the watcher (the file) brings it back.
    QTest::qWait(pastPauseMs);
    ASSERT_EQ(clips().size(), 1);
    EXPECT_EQ(clips().first().id, clip.id);
}

TEST_F(CaptureTest, OnlyScreenshotNamesCountAndNewSubfoldersAreWatched)
{
    ASSERT_TRUE(QDir().mkpath(desktop()));
    startCapturing();
    startWatchingScreenshots();

    const QByteArray png = smallPng();
    ASSERT_GT(png.size(), 128);
    writeFile(desktop() + "/holiday.png", png);
    writeFile(desktop() + "/my screenshot.png", png);
    writeFile(desktop() + "/Screenshot 2026-12-07.gif", png);
    // Written the moment its folders exist, before they can have been added to the watch.
    ASSERT_TRUE(QDir().mkpath(desktop() + "/Captures/December"));
    writeFile(desktop() + "/Captures/December/Screenshot 2026-12-07 at 02.10.00.png", png);

    ASSERT_TRUE(waitForClips(1));
    EXPECT_TRUE(clips().first().imageData == converted(png));
    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), 1);
}

TEST_F(CaptureTest, WhatIsCopiedOrSavedWhileTheUserPausesNeverBecomesAClip)
{
    ASSERT_TRUE(QDir().mkpath(desktop()));
    startCapturing();
    startWatchingScreenshots();
    m_monitor->setCapturingPaused(true);
    xclipCopy("private");
    QFile file(writeFile(desktop() + "/Screenshot during the pause.png", smallPng()));
    QTest::qWait(pastPauseMs);
    m_monitor->setCapturingPaused(false);
    // The screenshot is touched again once the pause is lifted; the private text is still on the
    // clipboard.
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.close();
    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty());
    EXPECT_EQ(xclipPaste(), "private");

    xclipCopy("after the pause");
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "after the pause");
    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), 1);
}

class HostileOwnerTest : public CaptureTest, public ::testing::WithParamInterface<const char *>
{};

TEST_P(HostileOwnerTest, NeitherFreezesNorLeaksNorBlocksTheNextCopy)
{
    startCapturing();
    const std::string mode = GetParam();
    const qint64 before = residentMB();
    HostileOwner owner(QString::fromStdString(mode));
    ASSERT_TRUE(owner.holdsClipboard());
    // While it misbehaves, and once the next copy has taken the clipboard from it.
    EXPECT_LT(longestEventLoopGap(1500), freezeBoundMs);
    if (mode == "many-targets") {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !clips().isEmpty(); }, waitMs));
        EXPECT_EQ(clips().value(0).text, "many targets") << "its one real target among the junk";
    } else if (mode == "bad-utf8") {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !clips().isEmpty(); }, waitMs));
        const ClipText text = clips().value(0).text.value_or("");
        EXPECT_TRUE(text.utf8().isValidUtf8());
        // Every malformed stretch replaced, the one cut short at the end too.
        EXPECT_TRUE(text.toString().startsWith(QString::fromUtf8("ok \ufffd\ufffd \ufffd \ufffd")));
        EXPECT_TRUE(text.toString().contains(QString::fromUtf8(" end\ufffd")));
    }
    expectUnharmedBy(mode);
    EXPECT_LT(residentMB() - before, 40) << "MB kept from the owner";
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileOwnerTest,
                         ::testing::Values("silent", "targets-only", "incr-stall", "incr-killed",
                                           "many-targets", "bad-utf8"),
                         [](const auto &info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

TEST_F(CaptureTest, WhatAPasswordManagerMarksSecretIsNeverFetched)
{
    startCapturing();
    xclipCopy("before the secret");
    ASSERT_TRUE(waitForClips(1));
    {
        HostileOwner secret(QStringLiteral("secret"));
        ASSERT_TRUE(secret.holdsClipboard());
        QTest::qWait(1500);
        EXPECT_FALSE(secret.waitForLine("text asked", 0)) << "the password was asked for";
        EXPECT_EQ(clips().size(), 1);
        EXPECT_EQ(clips().first().text, "before the secret");
    }
    HostileOwner marked(QStringLiteral("public"));
    ASSERT_TRUE(marked.holdsClipboard());
    ASSERT_TRUE(waitForClips(2)) << "a mark other than secret is an ordinary copy";
    EXPECT_EQ(clips().first().text, "not a secret");
}

TEST_F(CaptureTest, AnOwnershipStormEndsWithItsLastChangeCapturedAndMemoryBackToNormal)
{
    startCapturing();
    const qint64 before = residentMB();
    const double cpuBefore = cpuSeconds();
    HostileOwner storm(QStringLiteral("storm"));
    ASSERT_TRUE(storm.holdsClipboard());
    // A thousand changes a second for ten seconds; the event loop runs meanwhile.
    ASSERT_TRUE(QTest::qWaitFor([&] { return storm.waitForLine("done", 0); }, 15000));
    // Measured at 0.6 s: a read per change, each abandoned by the next, never spins.
    EXPECT_LT(cpuSeconds() - cpuBefore, 3.0) << "CPU seconds over the ten seconds of the storm";
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !clips().isEmpty() && clips().first().text == "storm last"; }, waitMs));
    EXPECT_LT(residentMB() - before, 40);
    expectUnharmedBy("storm");
}

TEST_F(CaptureTest, HugeTransfersKeepMemoryBoundedAndTextsTheirStart)
{
    startCapturing();
    QTemporaryDir scratch;
    // Written in pieces, so that the test itself never holds them.
    const auto makeFile = [&](const QString &name, qint64 megabytes, char fill) {
        QFile file(scratch.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray piece(1 << 20, fill);
        for (qint64 i = 0; i < megabytes; ++i) {
            piece[0] = char('0' + i % 10);
            file.write(piece);
        }
        return file.fileName();
    };
    const qint64 before = residentMB();
    struct Transfer
    {
        const char *name;
        qint64 megabytes;
        const char *target;
        qint64 boundMB;
    } transfers[] = {
        {"30 MB text", 30, "UTF8_STRING", 2 * 30 + 40},
        {"200 MB text", 200, "UTF8_STRING", 2 * 64 + 2 * 64 + 40},
        {"100 MB garbage PNG", 100, "image/png", 2 * 100 + 40},
    };
    for (const Transfer &transfer : transfers) {
        const QString path = makeFile(QString::fromLatin1(transfer.name), transfer.megabytes, 'g');
        const qsizetype count = clips().size();
        xclipCopyFile(path, QString::fromLatin1(transfer.target));
        EXPECT_LT(longestEventLoopGap(500), freezeBoundMs) << transfer.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return clips().size() > count; }, 30000)) << transfer.name;
        EXPECT_LT(residentMB() - before, transfer.boundMB) << transfer.name;
        if (transfer.target == QByteArray("UTF8_STRING")) {
            const ClipText &text = *clips().first().text;
            EXPECT_EQ(text.isShortened(), transfer.megabytes > 64) << transfer.name;
            EXPECT_EQ(text.byteSize(), std::min<qint64>(transfer.megabytes << 20, ClipText::maxBytes));
        }
        QFile::remove(path);
        expectUnharmedBy(transfer.name);
        // The next clip replaces the clipboard's copy; the history still holds this one.
        m_history->clear();
    }
}

TEST_F(CaptureTest, FileListsOfHostileEntriesAreNeverReadOrWaitedOn)
{
    ASSERT_TRUE(QDir().mkpath(desktop()));
    startCapturing();
    startWatchingScreenshots();
    QTemporaryDir scratch;
    const QString dir = scratch.path();
    QFile::link("/dev/zero", dir + "/zero.txt");
    QFile::link("/proc/self/mem", dir + "/mem.png");
    QFile::link(dir + "/loop.txt", dir + "/loop.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/pipe.txt").constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(dir + "/folder.png"));
    QByteArray list;
    for (const char *name : {"zero.txt", "mem.png", "loop.txt", "pipe.txt", "folder.png"})
        list += QUrl::fromLocalFile(dir + "/" + name).toEncoded() + "\r\n";
    xclipCopy(list, "text/uri-list");
    expectUnharmedBy("hostile file list");

    QByteArray many;
    for (int i = 0; i < 10000; ++i)
        many += QUrl::fromLocalFile(dir + QStringLiteral("/none/file %1.txt").arg(i)).toEncoded() + "\n";
    const qsizetype count = clips().size();
    xclipCopy(many, "text/uri-list");
    EXPECT_LT(longestEventLoopGap(1000), freezeBoundMs);
    EXPECT_EQ(clips().size(), count) << "files that do not exist make no clip";
    expectUnharmedBy("10000 missing files");

    // Screenshot names on a FIFO, an empty file and a 500 MB sparse file of zeros.
    const qint64 before = residentMB();
    ASSERT_EQ(::mkfifo(QFile::encodeName(desktop() + "/Screenshot pipe.png").constData(), 0600), 0);
    QFile(desktop() + "/Screenshot empty.png").open(QIODevice::WriteOnly);
    QFile sparse(desktop() + "/Screenshot sparse.png");
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(500) << 20));
    sparse.close();
    EXPECT_LT(longestEventLoopGap(1500), freezeBoundMs);
    EXPECT_EQ(clips().size(), count + 1);
    EXPECT_LT(residentMB() - before, 40) << "MB read from files that are no image";
    expectUnharmedBy("hostile screenshot files");
}

} // namespace
