// The capture core on a Wayland session's clipboard: the real platform in a headless sway of the
// test's own, a clipboard monitor over it and the history store it feeds. wl-copy and wl-paste are
// the other programs; Qt itself runs offscreen, as the clipboard needs no window.
#include "model/ClipExport.h"
#include "platform/wayland/WaylandClipboard.h"
#include "tests/integration/CaptureFixture.h"
#include "tests/integration/WaylandTestSupport.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace tarno;
using namespace tarno::integration;

namespace {

// What ctest counts as skipped (SKIP_RETURN_CODE): no compositor can be had here.
constexpr int skippedExitCode = 77;

// Long enough for a pause (0.6 s) to end and a copy to be seen twice over.
constexpr int pastPauseMs = 1100;

class WaylandClipboardTest : public CaptureFixture
{
protected:
    void TearDown() override
    {
        CaptureFixture::TearDown();
        // No test leaves a protocol error or a lost connection behind.
        EXPECT_EQ(s_warnings, QStringList());
    }

    // As the program does at launch in a Wayland session.
    void startCapturing()
    {
        CaptureFixture::startCapturing();
        ASSERT_NE(m_platform->waylandClipboard(), nullptr) << "the Wayland clipboard was not chosen";
        ASSERT_TRUE(m_platform->waylandClipboard()->isWatching());
        EXPECT_FALSE(m_platform->hasLimitedClipboardAccess());
    }
};

TEST_F(WaylandClipboardTest, EachKindCopiedByAWaylandProgramBecomesTheRightClip)
{
    QTemporaryDir folder;
    QFile notes(folder.filePath("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("the notes' own text");
    notes.close();
    const QByteArray png = screenshotPng();

    ASSERT_TRUE(wlCopy("there before Tarno"));
    startCapturing();
    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty()) << "what was there at start became a clip";

    struct Case
    {
        QByteArray data;
        QString type;
        ClipboardItemKind kind;
        QByteArray expected; // the clip's text, or its image bytes as converted
    };
    const QList<Case> cases{
        {"  copied in a Wayland editor ✓\n", {}, ClipboardItemKind::text, "copied in a Wayland editor ✓"},
        {png, "image/png", ClipboardItemKind::image, pngData(codec(), png).value_or("(no PNG)")},
        {QUrl::fromLocalFile(notes.fileName()).toEncoded() + "\r\n", "text/uri-list", ClipboardItemKind::text,
         "the notes' own text"},
    };
    for (const Case &copy : cases) {
        const std::string what = (copy.type.isEmpty() ? QString("text") : copy.type).toStdString();
        const qsizetype before = clips().size();
        ASSERT_TRUE(wlCopy(copy.data, copy.type)) << what;
        ASSERT_TRUE(waitForClips(before + 1)) << what;
        const ClipboardItem &clip = clips().first();
        EXPECT_EQ(clip.kind, copy.kind) << what;
        if (copy.kind == ClipboardItemKind::text)
            EXPECT_EQ(clip.text, ClipText::fromUtf8(copy.expected)) << what;
        else
            EXPECT_TRUE(clip.imageData == copy.expected) << what;
    }
    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), cases.size()) << "one clip per copy";
}

TEST_F(WaylandClipboardTest, ClipsGivenBackArePastedByWaylandProgramsAndNeverCapturedAgain)
{
    startCapturing();
    const ClipboardItem text = ClipboardItem::makeText("given back by Tarno ✓", m_platform->runtime().now());
    m_monitor->pauseBriefly();
    copyToPasteboard(text, m_platform->pasteboard(), codec());
    EXPECT_EQ(QString::fromUtf8(wlPaste()), "given back by Tarno ✓");
    EXPECT_EQ(QString::fromUtf8(wlPaste("UTF8_STRING")), "given back by Tarno ✓");

    const QByteArray png = pngData(codec(), screenshotPng()).value_or("(no PNG)");
    const ClipboardItem image = ClipboardItem::makeImage(png, m_platform->runtime().now());
    m_monitor->pauseBriefly();
    copyToPasteboard(image, m_platform->pasteboard(), codec());
    const QStringList types = wlTypes();
    EXPECT_TRUE(types.contains("image/png")) << types.join(' ').toStdString();
    EXPECT_TRUE(wlPaste("image/png") == png);
    EXPECT_FALSE(QImage::fromData(wlPaste("image/bmp"), "BMP").isNull()) << "the picture's other formats";

    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty()) << "our own writes came back as clips";

    ASSERT_TRUE(wlCopy("after our own writes"));
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "after our own writes");
}

TEST_F(WaylandClipboardTest, TheNewestClipStaysOnTheClipboardWhenItsProgramIsKilled)
{
    startCapturing();
    QProcess program;
    program.start("wl-copy", {"--foreground", "copied by a program soon killed"});
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "copied by a program soon killed");
    const ClipboardItem newest = clips().first();
    program.kill();
    ASSERT_TRUE(program.waitForFinished(waitMs));

    EXPECT_TRUE(QTest::qWaitFor([] { return wlPaste() == "copied by a program soon killed"; }, waitMs));
    QTest::qWait(300);
    ASSERT_EQ(clips().size(), 1) << "serving it again is no new clip";
    EXPECT_EQ(clips().first().id, newest.id);
}

TEST_F(WaylandClipboardTest, WhatAPasswordManagerMarksSecretIsNeverFetched)
{
    startCapturing();
    ASSERT_TRUE(wlCopy("before the secret"));
    ASSERT_TRUE(waitForClips(1));
    {
        ScriptedSource secret(
            {{"x-kde-passwordManagerHint", "secret"}, {"text/plain;charset=utf-8", "hunter2"}}, true);
        ASSERT_TRUE(secret.isSelection());
        QTest::qWait(pastPauseMs);
        EXPECT_EQ(secret.asked(), QStringList{"x-kde-passwordManagerHint"}) << "the password was asked for";
        EXPECT_EQ(clips().size(), 1);
        EXPECT_EQ(clips().first().text, "before the secret");
    }
    ScriptedSource marked(
        {{"x-kde-passwordManagerHint", "public"}, {"text/plain;charset=utf-8", "not a secret"}}, true);
    ASSERT_TRUE(marked.isSelection());
    ASSERT_TRUE(waitForClips(2)) << "a mark other than secret is an ordinary copy";
    EXPECT_EQ(clips().first().text, "not a secret");
}

TEST_F(WaylandClipboardTest, ASourceThatNeverWritesFreezesNothingAndTheNextCopyCounts)
{
    startCapturing();
    {
        ScriptedSource silent({{"text/plain;charset=utf-8", "never sent"}, {"image/png", "never sent"}},
                              false);
        ASSERT_TRUE(silent.isSelection());
        EXPECT_LT(longestEventLoopGap(1500), freezeBoundMs);
        EXPECT_FALSE(silent.asked().isEmpty()) << "the source was never asked";
        EXPECT_TRUE(clips().isEmpty());
        // The next copy is taken while the silent source still holds its pipe open.
        ASSERT_TRUE(wlCopy("after the silent source"));
        ASSERT_TRUE(waitForClips(1)) << "the copy after a silent source was not captured";
        EXPECT_EQ(clips().first().text, "after the silent source");
    }
    EXPECT_LT(longestEventLoopGap(500), freezeBoundMs);
}

} // namespace

// The compositor is started once, before any test; without one every test is skipped, with the
// reason, and the run reports so.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    HeadlessSway compositor;
    if (!compositor.isReady()) {
        std::printf("SKIPPED: no headless sway here: %s\n", compositor.problem().toLocal8Bit().constData());
        return skippedExitCode;
    }
    compositor.enter();
    const int status = RUN_ALL_TESTS();
    if (status != 0)
        std::printf("sway's log:\n%s\n", compositor.log().right(2000).toLocal8Bit().constData());
    return status;
}
