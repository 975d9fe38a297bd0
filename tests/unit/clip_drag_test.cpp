#include "model/ClipExport.h"
#include "platform/qt/QtImageCodec.h"
#include "tests/support/TestData.h"
#include "ui/ClipDrag.h"
#include "ui/DropCascade.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

QImage picture()
{
    QImage image(48, 30, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 5, y * 8, 90));
    }
    return image;
}

class ClipDragTest : public ::testing::Test
{
protected:
    QtImageCodec codec;
    QTemporaryDir dir;

    ClipboardItem imageClip(const QByteArray &bytes)
    {
        return ClipboardItem::makeImage(bytes, QDateTime::currentDateTimeUtc());
    }
};

TEST_F(ClipDragTest, TextClipOffersItsTextAsUtf8PlainText)
{
    const QString text = QString::fromUtf8("  Gr\xc3\xbc\xc3\x9f"
                                           "e \xe2\x9c\x93\n");
    const auto data = textClipMimeData(ClipboardItem::makeText(text, QDateTime::currentDateTimeUtc()));
    EXPECT_TRUE(data->formats().contains("text/plain"));
    EXPECT_EQ(data->text(), text);
    EXPECT_EQ(data->data("text/plain"), text.toUtf8());
    EXPECT_EQ(data->data("text/plain;charset=utf-8"), text.toUtf8());

    // A text clip without text drags out the empty string, still as text.
    ClipboardItem empty = ClipboardItem::makeText(QString(), QDateTime::currentDateTimeUtc());
    empty.text.reset();
    const auto none = clipDragMimeData(empty, codec, dir.path());
    EXPECT_TRUE(none->hasText());
    EXPECT_TRUE(none->text().isEmpty());
    EXPECT_FALSE(none->hasUrls());
}

TEST_F(ClipDragTest, DirectSaveWritesTheNamedLocalFileOrSaysWhyNot)
{
    const QString text = QString::fromUtf8("line one\n\xc3\xa9t\xc3\xa9\n");
    const QString path = dir.filePath("Tarno Clip.txt");
    EXPECT_EQ(saveTextForDirectSave(QUrl::fromLocalFile(path).toEncoded(), text.toUtf8()), "S");
    EXPECT_EQ(readFile(path), text.toUtf8());

    // File managers write the host name in; this machine's and localhost are local.
    const QString again = dir.filePath("again.txt");
    EXPECT_EQ(saveTextForDirectSave(
                  "file://localhost" + QUrl::fromLocalFile(again).path(QUrl::FullyEncoded).toUtf8(), "x"),
              "S");
    EXPECT_TRUE(QFile::exists(again));

    EXPECT_EQ(saveTextForDirectSave("file://elsewhere.example" +
                                        QUrl::fromLocalFile(path).path(QUrl::FullyEncoded).toUtf8(),
                                    "x"),
              "F");
    EXPECT_EQ(saveTextForDirectSave("https://example.org/Tarno%20Clip.txt", "x"), "F");
    EXPECT_EQ(saveTextForDirectSave(QByteArray(), "x"), "F");
    EXPECT_EQ(saveTextForDirectSave(QUrl::fromLocalFile(dir.filePath("no/such/dir/a.txt")).toEncoded(), "x"),
              "E");
    EXPECT_EQ(saveTextForDirectSave(QUrl::fromLocalFile(dir.path() + "/").toEncoded(), "x"), "E");
}

TEST_F(ClipDragTest, ImageClipOffersPngThenTheImageThenItsFile)
{
    // Stored as JPEG: the drag offers the encoder's PNG of it, in every form.
    const ClipboardItem clip = imageClip(encodeImage(picture(), "JPEG"));
    const QByteArray png = pngDataOrOriginal(codec, *clip.imageData);
    const auto data = clipDragMimeData(clip, codec, dir.path());

    const QStringList formats = data->formats();
    ASSERT_GE(formats.size(), 3);
    EXPECT_EQ(formats.mid(0, 3), (QStringList{"image/png", "application/x-qt-image", "text/uri-list"}));
    EXPECT_EQ(data->data("image/png"), png);
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), QSize(48, 30));

    ASSERT_EQ(data->urls().size(), 1);
    const QString path = data->urls().first().toLocalFile();
    EXPECT_EQ(QFileInfo(path).fileName(), dragTemporaryFileName(clip));
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_EQ(readFile(path), png);
}

// A codec that holds every conversion until the test lets it go, or gives up after a while.
class HeldCodec : public QtImageCodec
{
public:
    std::optional<QByteArray> pngRepresentation(const DecodedImage &image) const override
    {
        std::unique_lock lock(mutex);
        timedOut = !released.wait_for(lock, std::chrono::seconds(5), [this] { return isReleased; });
        return QtImageCodec::pngRepresentation(image);
    }
    void release()
    {
        const std::lock_guard lock(mutex);
        isReleased = true;
        released.notify_all();
    }
    mutable std::mutex mutex;
    mutable std::condition_variable released;
    bool isReleased = false;
    mutable bool timedOut = false;
};

TEST_F(ClipDragTest, ImageDragDataIsOfferedBeforeItsConversionEnds)
{
    // The drag begins under the pointer while the screenshot is still being converted.
    HeldCodec held;
    const QByteArray jpeg = encodeImage(picture(), "JPEG");
    const auto data = clipDragMimeData(imageClip(jpeg), held, dir.path());
    EXPECT_EQ(data->formats().mid(0, 3),
              (QStringList{"image/png", "application/x-qt-image", "text/uri-list"}));
    held.release();
    EXPECT_EQ(data->data("image/png"), pngDataOrOriginal(codec, jpeg));
    EXPECT_FALSE(held.timedOut);
}

TEST_F(ClipDragTest, PngIsProducedOnlyWhenATargetAsksForIt)
{
    int loads = 0;
    DragPayload payload;
    payload.representations.append(DragData{"image/png", [&loads] {
                                                ++loads;
                                                return QByteArray("png bytes");
                                            }});
    const auto data = mimeDataForDragPayload(payload);
    EXPECT_TRUE(data->hasFormat("image/png"));
    EXPECT_EQ(loads, 0);
    EXPECT_EQ(data->data("image/png"), "png bytes");
    EXPECT_EQ(loads, 1);
}

TEST_F(ClipDragTest, DraggedOutClipsDropBackAsTheSameContent)
{
    // What a drag out carries is what a drop on the popover reads: round trip through both ends.
    const ClipboardItem text = ClipboardItem::makeText("  keep  ", QDateTime::currentDateTimeUtc());
    EXPECT_EQ(droppedCaptures(dropItemProviders(*clipDragMimeData(text, codec, dir.path()))),
              PasteboardCaptures{PasteboardCapture::text("  keep  ")});

    const ClipboardItem image = imageClip(encodeImage(picture(), "PNG"));
    const QByteArray png = pngDataOrOriginal(codec, *image.imageData);
    const PasteboardCaptures captures =
        droppedCaptures(dropItemProviders(*clipDragMimeData(image, codec, dir.path())));
    // The drag's own PNG, then its file: the same bytes twice, which the history keeps once.
    EXPECT_EQ(captures, (PasteboardCaptures{PasteboardCapture::image(png), PasteboardCapture::image(png)}));
}

} // namespace
