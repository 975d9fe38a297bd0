// The capture core as the program composes it, on a real X display: the real platform, a clipboard
// monitor and a screenshot watcher over it, and the history store they feed. xclip is the other
// program; files are written into a temporary home.
#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipExport.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "platform/x11/X11Clipboard.h"
#include "tests/integration/X11TestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

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

class CaptureTest : public ::testing::Test
{
protected:
    // Nothing here may touch the real home or settings: both point into a folder of the suite's own
    // before the platform, which opens the settings file, is made.
    static void SetUpTestSuite()
    {
        QStandardPaths::setTestModeEnabled(true);
        s_home = new QTemporaryDir;
        qputenv("HOME", s_home->path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (s_home->path() + "/.config").toLocal8Bit());
    }
    static void TearDownTestSuite()
    {
        delete s_home;
        s_home = nullptr;
    }

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X display";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(s_home && s_home->isValid());
        ASSERT_EQ(QDir::homePath(), s_home->path());
    }

    void TearDown() override
    {
        if (m_watcher)
            m_watcher->stop();
        if (m_monitor)
            m_monitor->stop();
        m_watcher.reset();
        m_monitor.reset();
        m_history.reset();
        m_platform.reset();
    }

    // Composes the core and starts the monitor, as the program does at launch.
    void startCapturing()
    {
        m_platform = std::make_unique<QtPlatform>();
        Platform::install(m_platform->platform());
        ASSERT_TRUE(m_platform->clipboard().isWatching());
        m_history = std::make_unique<ClipboardHistoryViewModel>(m_platform->runtime(), codec());
        m_monitor =
            std::make_unique<ClipboardMonitor>(m_platform->runtime(), m_platform->clipboard(), codec());
        m_monitor->start([this](const ClipboardItem &item) { m_history->add(item); });
        m_platform->onPasteboardChanged([this] { m_monitor->pasteboardDidChange(); });
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

    const ImageCodec &codec() const { return *m_platform->platform().codec; }
    const QList<ClipboardItem> &clips() const { return m_history->items(); }
    bool waitForClips(qsizetype count) const
    {
        return QTest::qWaitFor([&] { return clips().size() >= count; }, waitMs);
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

    static inline QTemporaryDir *s_home = nullptr;
    std::unique_ptr<QtPlatform> m_platform;
    std::unique_ptr<ClipboardHistoryViewModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
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

TEST_F(CaptureTest, OwnerThatNeverAnswersNeitherFreezesNorBlocksTheNextCopy)
{
    startCapturing();
    HungOwner owner;
    ASSERT_TRUE(owner.holdsClipboard());
    // Qt's own synchronous read would hold the main thread for seconds here.
    EXPECT_LT(longestEventLoopGap(1500), freezeBoundMs);
    EXPECT_TRUE(clips().isEmpty());

    xclipCopy("after the hang");
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "after the hang");
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

    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    };
    const QByteArray png = smallPng();
    ASSERT_GT(png.size(), 128);
    write(desktop() + "/holiday.png", png);
    write(desktop() + "/my screenshot.png", png);
    write(desktop() + "/Screenshot 2026-12-07.gif", png);
    // Written the moment its folders exist, before they can have been added to the watch.
    ASSERT_TRUE(QDir().mkpath(desktop() + "/Captures/December"));
    write(desktop() + "/Captures/December/Screenshot 2026-12-07 at 02.10.00.png", png);

    ASSERT_TRUE(waitForClips(1));
    EXPECT_TRUE(clips().first().imageData == converted(png));
    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), 1);
}

} // namespace
