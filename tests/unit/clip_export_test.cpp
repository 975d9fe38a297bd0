#include "model/ClipExport.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakePasteboard.h"
#include "tests/support/TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarno;

namespace {

class ClipExportTest : public ::testing::Test
{
protected:
    FakeImageCodec codec;
    FakePasteboard pasteboard;
    QTemporaryDir tempDir;
    const QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);

    static QByteArray jpeg(const QByteArray &payload = "pixels")
    {
        return FakeImageCodec::makeImage(QSize(40, 30), "jpeg", payload);
    }
    static QByteArray pngOf(const QByteArray &payload = "pixels")
    {
        return FakeImageCodec::makeImage(QSize(40, 30), "png", payload);
    }
    ClipboardItem image(const QByteArray &bytes) { return ClipboardItem::makeImage(bytes, now); }
    QStringList filesInTempDir() const { return QDir(tempDir.path()).entryList(QDir::Files); }
    static int modeOf(const QString &path)
    {
        struct stat info
        {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    }
};

TEST_F(ClipExportTest, TextReplacesWhateverWasThereWithExactlyOneString)
{
    pasteboard.simulateCopyData(jpeg(), "image/jpeg");
    pasteboard.writeImage(codec.imageFromData(jpeg()));
    pasteboard.writeLog.clear();

    copyToPasteboard(ClipboardItem::makeText("hello", now), pasteboard, codec);

    EXPECT_EQ(pasteboard.writeLog, (QStringList{"clear", "string text/plain"}));
    EXPECT_EQ(pasteboard.types(), QStringList{"text/plain"});
    EXPECT_EQ(pasteboard.stringForType("text/plain"), QString("hello"));
}

TEST_F(ClipExportTest, ClipWithoutContentLeavesThePasteboardEmpty)
{
    ClipboardItem noText = ClipboardItem::makeText("x", now);
    noText.text.reset();
    ClipboardItem noImage = image(jpeg());
    noImage.imageData.reset();

    for (const ClipboardItem &item : {noText, noImage}) {
        pasteboard.simulateCopyText("previous");
        pasteboard.writeLog.clear();
        copyToPasteboard(item, pasteboard, codec);
        EXPECT_EQ(pasteboard.writeLog, QStringList{"clear"});
        EXPECT_TRUE(pasteboard.types().isEmpty());
    }
}

TEST_F(ClipExportTest, ImageGoesOutAsTheEncodersPngAndAnImageObjectWhenThatDecodes)
{
    copyToPasteboard(image(jpeg()), pasteboard, codec);
    EXPECT_EQ(pasteboard.writeLog, (QStringList{"clear", "data image/png", "image"}));
    EXPECT_EQ(pasteboard.dataForType("image/png"), pngOf());
    ASSERT_EQ(pasteboard.imageObjects().size(), 1);
    EXPECT_EQ(pasteboard.imageObjects().first()->size(), QSize(40, 30));

    // Bytes that do not decode still go out as they are, without an object.
    pasteboard.writeLog.clear();
    copyToPasteboard(image(QByteArray(300, 'g')), pasteboard, codec);
    EXPECT_EQ(pasteboard.writeLog, (QStringList{"clear", "data image/png"}));
    EXPECT_EQ(pasteboard.dataForType("image/png"), QByteArray(300, 'g'));
}

TEST_F(ClipExportTest, DragOffersPngDataThenImageThenAPrivateFile)
{
    const ClipboardItem item = image(jpeg());
    const DragPayload payload = imageDragItemProvider(item, codec, tempDir.path());

    ASSERT_EQ(payload.representations.size(), 3);
    const auto *data = std::get_if<DragData>(&payload.representations[0]);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->type, "image/png");
    EXPECT_EQ(data->load(), pngOf());
    const auto *object = std::get_if<DecodedImagePtr>(&payload.representations[1]);
    ASSERT_TRUE(object && *object);
    EXPECT_EQ((*object)->size(), QSize(40, 30));
    const auto *url = std::get_if<QUrl>(&payload.representations[2]);
    ASSERT_NE(url, nullptr);

    const QString path = url->toLocalFile();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(tempDir.path()).absolutePath());
    EXPECT_EQ(payload.suggestedName, QFileInfo(path).fileName());
    EXPECT_EQ(readFile(path), pngOf());
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(filesInTempDir(), QStringList{QFileInfo(path).fileName()}); // no side file left behind
}

TEST_F(ClipExportTest, FileIsNamedAfterTheIdSoTheSameClipRewritesItAndOthersGetTheirOwn)
{
    ClipboardItem first = image(jpeg("one"));
    first.id = QUuid(QStringLiteral("0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9"));
    const ClipboardItem second = image(jpeg("two"));

    const std::optional<QUrl> a = dragTemporaryFile(first, codec, tempDir.path());
    ASSERT_TRUE(a);
    // Named after the first group of the id, in upper case.
    EXPECT_EQ(a->fileName(), "Tarno-0F1E2D3C.png");
    // An older file of that name, even a readable one, is replaced by a private one.
    QFile::setPermissions(a->toLocalFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadOther | QFileDevice::ReadGroup);
    const std::optional<QUrl> again = dragTemporaryFile(first, codec, tempDir.path());
    const std::optional<QUrl> b = dragTemporaryFile(second, codec, tempDir.path());
    ASSERT_TRUE(again && b);

    EXPECT_EQ(*again, *a);
    EXPECT_NE(*b, *a);
    EXPECT_EQ(filesInTempDir().size(), 2);
    EXPECT_EQ(modeOf(a->toLocalFile()), 0600);
    EXPECT_EQ(readFile(b->toLocalFile()), pngOf("two"));
}

TEST_F(ClipExportTest, DragWithoutAFolderOrADecodableImageOffersWhatItCan)
{
    // Below a regular file nothing can be created, whoever runs the test.
    writeFile(tempDir.filePath("blocker"));
    const QString unwritable = tempDir.filePath("blocker/drags");
    const DragPayload noFile = imageDragItemProvider(image(jpeg()), codec, unwritable);
    ASSERT_EQ(noFile.representations.size(), 2);
    EXPECT_TRUE(std::holds_alternative<DragData>(noFile.representations[0]));
    EXPECT_TRUE(std::holds_alternative<DecodedImagePtr>(noFile.representations[1]));
    EXPECT_FALSE(noFile.suggestedName);

    const QByteArray garbage(300, 'g');
    const DragPayload noImage = imageDragItemProvider(image(garbage), codec, tempDir.path());
    ASSERT_EQ(noImage.representations.size(), 2);
    ASSERT_TRUE(std::holds_alternative<DragData>(noImage.representations[0]));
    EXPECT_EQ(std::get<DragData>(noImage.representations[0]).load(), garbage);
    ASSERT_TRUE(std::holds_alternative<QUrl>(noImage.representations[1]));
    EXPECT_TRUE(noImage.suggestedName);
}

} // namespace
