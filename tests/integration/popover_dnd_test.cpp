// Real X11 drags between programs: other programs drop on the popover's drop area, and clips are
// dragged out of it onto another program's window. xdotool moves the pointer, as a user would.
#include "model/ClipExport.h"
#include "platform/qt/QtImageCodec.h"
#include "tests/support/TestData.h"
#include "ui/ClipDrag.h"
#include "ui/PopoverDropArea.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

constexpr int waitMs = 20000;

// Presses at `from`, glides to `to` in small steps and releases there, in the background.
std::unique_ptr<QProcess> glide(QPoint from, QPoint to)
{
    QString script = QString("xdotool mousemove %1 %2 mousedown 1; ").arg(from.x()).arg(from.y());
    constexpr int steps = 12;
    for (int i = 1; i <= steps; ++i) {
        const QPoint at = from + (to - from) * i / steps;
        script += QString("sleep 0.1; xdotool mousemove %1 %2; ").arg(at.x()).arg(at.y());
    }
    script += "sleep 0.4; xdotool mouseup 1";
    auto process = std::make_unique<QProcess>();
    process->start("sh", {"-c", script});
    EXPECT_TRUE(process->waitForStarted(waitMs));
    return process;
}

// Starts another program and waits for its "ready" line; its later lines collect in `lines`.
std::unique_ptr<QProcess> startPeer(const QString &program, const QStringList &arguments, QStringList &lines)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process.get(), &QProcess::readyReadStandardOutput, [&lines, p = process.get()] {
        while (p->canReadLine())
            lines << QString::fromUtf8(p->readLine()).chopped(1);
    });
    process->start(program, arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines.contains("ready"); }, waitMs)) << program.toStdString();
    return process;
}

class PopoverDropTest : public ::testing::Test
{
protected:
    QQuickWindow view;
    PopoverDropArea *area = nullptr;
    QList<PasteboardCaptures> calls;
    bool wasTargeted = false;
    QTemporaryDir dir;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs the X display the test script starts";
        view.setFlags(Qt::FramelessWindowHint);
        view.setGeometry(400, 40, 360, 480);
        area = new PopoverDropArea(view.contentItem());
        area->setSize(QSizeF(360, 480));
        area->setDropHandler([this](const PasteboardCaptures &captures) { calls << captures; });
        QObject::connect(area, &PopoverDropArea::dropTargetedChanged,
                         [this] { wasTargeted = wasTargeted || area->isDropTargeted(); });
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    // Another program drags the text, and the URI list if any, from its window onto the drop area.
    QStringList dragFromAnotherProgram(const QByteArray &text, const QByteArray &uris = {})
    {
        QStringList arguments{"40", "40", "--raw", QString::fromUtf8(text)};
        if (!uris.isEmpty())
            arguments << QString::fromUtf8(uris);
        QStringList lines;
        auto source = startPeer(TARNO_TEST_HELPERS_DIR "/drag_source", arguments, lines);
        auto pointer = glide({100, 80}, {580, 280});
        EXPECT_TRUE(QTest::qWaitFor([&] { return lines.filter(QRegularExpression("^dropped ")).size() == 1; },
                                    waitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !calls.isEmpty(); }, waitMs));
        source->kill();
        source->waitForFinished();
        return lines;
    }
};

TEST_F(PopoverDropTest, TextFromAnotherProgramArrivesUntrimmed)
{
    const QStringList lines = dragFromAnotherProgram("  dropped from afar \n");
    EXPECT_TRUE(lines.contains("dropped copy")) << lines.join(" | ").toStdString();
    EXPECT_TRUE(wasTargeted);
    EXPECT_FALSE(area->isDropTargeted());
    EXPECT_EQ(calls, QList<PasteboardCaptures>{{PasteboardCapture::text("  dropped from afar \n")}});
}

TEST_F(PopoverDropTest, FilesFromAFileManagerArriveAsTheirContent)
{
    const QByteArray png = patternedPng({64, 40});
    const QString image = writeFile(dir.filePath("picture one.png"), png);
    const QString note = writeFile(dir.filePath("note.md"), "\n  remember the milk  \n");
    const QUrl imageUrl = QUrl::fromLocalFile(image);
    const QUrl noteUrl = QUrl::fromLocalFile(note);
    dragFromAnotherProgram((image + "\n" + note).toUtf8(),
                           imageUrl.toEncoded() + "\r\n" + noteUrl.toEncoded() + "\r\n");
    const PasteboardCaptures expected{PasteboardCapture::image(png),
                                      PasteboardCapture::text("remember the milk")};
    EXPECT_EQ(calls, QList<PasteboardCaptures>{expected});
}

// A row of the popover, reduced to what drags a clip out.
class ClipRowItem : public QQuickItem
{
public:
    explicit ClipRowItem(ClipboardItem clip, QQuickItem *parent) : QQuickItem(parent), m_clip(std::move(clip))
    {
        setAcceptedMouseButtons(Qt::LeftButton);
    }
    bool dragEnded = false;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        event->accept();
        startClipDrag(m_clip, this);
        dragEnded = true;
    }

private:
    ClipboardItem m_clip;
};

class ClipDragOutTest : public ::testing::Test
{
protected:
    QQuickWindow view;
    QTemporaryDir folder;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs the X display the test script starts";
        view.setFlags(Qt::FramelessWindowHint);
        view.setGeometry(40, 40, 360, 200);
    }

    // Drags the clip from its row onto another program's window; returns what that program got.
    QStringList dragOut(const ClipboardItem &clip)
    {
        auto *row = new ClipRowItem(clip, view.contentItem());
        row->setSize(QSizeF(360, 200));
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        QStringList lines;
        auto target = startPeer(QString(TARNO_TEST_HELPERS_DIR) + "/xdnd_drop_target",
                                {"600", "40", folder.path()}, lines);
        auto pointer = glide({200, 120}, {750, 190});
        EXPECT_TRUE(QTest::qWaitFor([&] { return row->dragEnded; }, waitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return target->state() == QProcess::NotRunning; }, waitMs));
        return lines;
    }
};

TEST_F(ClipDragOutTest, TextRowIsSavedAsTarnoClipTxtByDirectSaveAndOffersItsText)
{
    const QString text = QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                           "e aus Tarno");
    const QStringList lines = dragOut(ClipboardItem::makeText(text, QDateTime::currentDateTimeUtc()));
    const QString all = lines.join(" | ");
    EXPECT_TRUE(lines.contains("direct-save Tarno Clip.txt S")) << all.toStdString();
    EXPECT_TRUE(lines.contains("text " + text)) << all.toStdString();
    EXPECT_TRUE(lines.contains("finished")) << all.toStdString();
    EXPECT_EQ(QString::fromUtf8(readFile(folder.filePath("Tarno Clip.txt"))), text);
}

TEST_F(ClipDragOutTest, ImageRowOffersPngAndItsFile)
{
    const ClipboardItem clip =
        ClipboardItem::makeImage(patternedPng({64, 40}), QDateTime::currentDateTimeUtc());
    const QStringList lines = dragOut(clip);
    const QString all = lines.join(" | ");
    const QString types = lines.filter(QRegularExpression("^types ")).value(0);
    EXPECT_TRUE(types.split(' ').contains("image/png")) << all.toStdString();
    EXPECT_FALSE(types.split(' ').contains(directSaveType)) << all.toStdString();
    const QString file = QDir(defaultDragTemporaryDirectory()).filePath(dragTemporaryFileName(clip));
    EXPECT_TRUE(lines.contains("uris " + QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) + "\\r\\n"))
        << all.toStdString();
    const QtImageCodec codec;
    EXPECT_EQ(readFile(file), pngDataOrOriginal(codec, *clip.imageData));
    QFile::remove(file);
}

} // namespace
