#include "capture/PasteboardReader.h"
#include "platform/qt/MimeDataPasteboard.h"
#include "tests/support/TestData.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QUrl &url, std::ostream *os)
{
    *os << url.toString().toStdString();
}
QT_END_NAMESPACE

namespace {

std::shared_ptr<QMimeData> mimeData(const QList<std::pair<QString, QByteArray>> &formats)
{
    auto data = std::make_shared<QMimeData>();
    for (const auto &[format, bytes] : formats)
        data->setData(format, bytes);
    return data;
}

// Data shaped as a drop from another program arrives on X11: formats and bytes straight from the
// source. QMimeData::setData would instead parse a URI list itself, leniently, and hand back its own
// re-encoding.
class RawMimeData : public QMimeData
{
public:
    explicit RawMimeData(QList<std::pair<QString, QByteArray>> formats) : m_formats(std::move(formats)) {}

    // QMimeData's own hasFormat asks this list.
    QStringList formats() const override
    {
        QStringList result;
        for (const auto &entry : m_formats)
            result.append(entry.first);
        return result;
    }

protected:
    QVariant retrieveData(const QString &format, QMetaType) const override
    {
        for (const auto &entry : m_formats) {
            if (entry.first == format)
                return entry.second;
        }
        return {};
    }

private:
    QList<std::pair<QString, QByteArray>> m_formats;
};

class MimePasteboardTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    const QByteArray png = patternedPng({32, 24});

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_GT(png.size(), minimumImageBytes);
    }

    QString file(const QString &name, const QByteArray &data) { return writeFile(dir.filePath(name), data); }
    static QByteArray uri(const QString &path) { return QUrl::fromLocalFile(path).toEncoded(); }
};

TEST_F(MimePasteboardTest, FileManagerCopyOffersTheFilesAndNotTheTextOfTheirPaths)
{
    const QString photo = file("photo one.png", png);
    const QString notes = file("notes.md", "  # Notes\n");
    const auto data = mimeData({
        {"x-special/gnome-copied-files", "copy\n" + uri(photo) + "\n" + uri(notes)},
        {"text/uri-list", uri(photo) + "\r\n" + uri(notes) + "\r\n"},
        {"text/plain;charset=utf-8", (photo + "\n" + notes + "\n").toUtf8()},
    });
    const MimeDataPasteboard pasteboard(data);

    const QStringList offered{"x-special/gnome-copied-files", "text/uri-list"};
    EXPECT_EQ(pasteboard.types(), offered);
    ASSERT_EQ(pasteboard.items().size(), 1);
    EXPECT_EQ(pasteboard.items().first()->types(), offered);
    EXPECT_EQ(pasteboard.items().first()->dataForType("text/plain;charset=utf-8"), std::nullopt);
    EXPECT_EQ(pasteboard.stringForType("text/plain"), std::nullopt);
    EXPECT_EQ(pasteboard.dataForType("text/plain;charset=utf-8"), std::nullopt);
    EXPECT_TRUE(pasteboard.stringObjects().isEmpty());
    EXPECT_EQ(pasteboard.fileURLs(), (QList<QUrl>{QUrl::fromLocalFile(photo), QUrl::fromLocalFile(notes)}));

    EXPECT_EQ(readCaptures(pasteboard),
              (PasteboardCaptures{PasteboardCapture::image(png), PasteboardCapture::text("# Notes")}));
}

TEST_F(MimePasteboardTest, FileManagerDragOfAScreenshotYieldsTheScreenshot)
{
    const QString shot = file("Screenshot 2024-05-01 at 10.00.00.png", png);
    const QString notes = file("notes.txt", "notes");
    // URIs this time, in another order than the list, with the localhost form for one of them.
    const QByteArray localhost =
        "file://localhost" + QUrl::fromLocalFile(notes).toEncoded(QUrl::RemoveScheme);
    const RawMimeData data({
        {"text/uri-list", uri(notes) + "\r\n" + uri(shot) + "\r\n"},
        {"application/x-kde4-urilist", uri(notes) + "\r\n" + uri(shot) + "\r\n"},
        {"text/plain", uri(shot) + "\r\n" + localhost},
    });
    const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(data);
    EXPECT_FALSE(pasteboard.types().contains("text/plain"));
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::image(png)});
}

TEST_F(MimePasteboardTest, PlainTextStaysUnlessItOnlyRepeatsTheOfferedFiles)
{
    const QString photo = file("photo.png", png);
    const QString notes = file("notes.txt", "notes");
    const QString folder = dir.filePath("folder");
    const QByteArray list = uri(photo) + "\r\n" + uri(notes) + "\r\n" + uri(folder) + "\r\n";
    const struct
    {
        QString text;
        bool kept;
    } cases[] = {
        {notes + "\n" + photo, false},
        {folder + "/", false},
        {"\n" + QString::fromUtf8(uri(notes)) + "\r\n\r\n", false},
        {photo + "\nand a note", true},
        {"see " + photo, true},
        {dir.filePath("other.png"), true},
        {"https://example.com/photo.png", true},
        {"\n  \n", true},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.text.toStdString());
        const MimeDataPasteboard pasteboard(
            mimeData({{"text/uri-list", list}, {"text/plain;charset=utf-8", entry.text.toUtf8()}}));
        EXPECT_EQ(pasteboard.types().contains("text/plain;charset=utf-8"), entry.kept);
        EXPECT_EQ(pasteboard.stringForType("text/plain"),
                  entry.kept ? std::optional<QString>(entry.text) : std::nullopt);
        EXPECT_EQ(pasteboard.stringObjects(), entry.kept ? QStringList{entry.text} : QStringList{});
    }
    // Text that says more is text: it wins over the files.
    const MimeDataPasteboard pasteboard(
        mimeData({{"text/uri-list", list}, {"text/plain", (photo + "\nand a note").toUtf8()}}));
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::text(photo + "\nand a note")});
}

TEST_F(MimePasteboardTest, UriListKeepsOnlyWellFormedLocalFileEntries)
{
    const QString photo = file("photo.png", png);
    const QString menu = file(QString::fromUtf8("caf\xc3\xa9 menu.txt"), " menu \n");
    file("raw space.png", png);
    const QByteArray folder = uri(dir.path());
    const QByteArray list = "# copied by a test\r\n"
                            "https://example.com/cat.png\r\n"
                            "mailto:someone@example.com\r\n"
                            "not a url\r\n"
                            "file:relative.png\r\n"
                            "file://\r\n" +
                            folder + "/a%zz.png\r\n" + "file://otherhost" + uri(photo).mid(7) + "\r\n" +
                            "file://localhost" + uri(photo).mid(7) + "\r\n" + folder + "/raw space.png\r\n" +
                            folder + "%2Fphoto.png\r\n" + folder + "/%FF.txt\r\n" + folder +
                            "/caf%C3%A9%20menu.txt";
    const RawMimeData data({{"text/uri-list", list}});
    const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(data);
    EXPECT_EQ(pasteboard.fileURLs(), (QList<QUrl>{QUrl::fromLocalFile(photo), QUrl::fromLocalFile(menu)}));
    EXPECT_EQ(readCaptures(pasteboard),
              (PasteboardCaptures{PasteboardCapture::image(png), PasteboardCapture::text("menu")}));
}

// Extra slashes before the path are still this machine's file, never a host ("file:////tmp/a" is
// /tmp/a, not "tmp"'s /a) and never a URL without a path.
TEST_F(MimePasteboardTest, UriListEntryWithExtraLeadingSlashesNamesTheSameFile)
{
    const QString photo = file("photo.png", png);
    const QByteArray path = uri(photo).mid(int(qstrlen("file://"))); // "/tmp/..."
    for (const char *prefix : {"file:///", "file:////", "file://localhost//"}) {
        SCOPED_TRACE(prefix);
        const RawMimeData data({{"text/uri-list", prefix + path}, {"text/plain", photo.toUtf8()}});
        const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(data);
        EXPECT_EQ(pasteboard.fileURLs(), QList<QUrl>{QUrl::fromLocalFile(photo)});
        EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::image(png)});
    }
}

TEST_F(MimePasteboardTest, BrowserImageCopyYieldsTheImageBytesAsOffered)
{
    const auto data = mimeData({
        {"text/html", "<meta charset='utf-8'><img src=\"https://example.com/cat.png\" alt=\"a cat\">"},
        {"text/_moz_htmlcontext", "<html><body></body></html>"},
        {"text/_moz_htmlinfo", "0,0"},
        {"text/x-moz-url-priv", "https://example.com/cat.png"},
        {"Image/PNG", png},
    });
    const MimeDataPasteboard pasteboard(data);
    EXPECT_TRUE(containsImageType(pasteboard));
    EXPECT_EQ(pasteboard.dataForType("image/png"), png);
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::image(png)});
}

TEST_F(MimePasteboardTest, BrowserLinkDragYieldsTheLinkAsText)
{
    const QString link = "https://example.com/articles/42?ref=home";
    const QString mozUrl = link + "\nAn article";
    const auto data = mimeData({
        {"text/x-moz-url", QByteArray(reinterpret_cast<const char *>(mozUrl.utf16()), mozUrl.size() * 2)},
        {"_NETSCAPE_URL", mozUrl.toUtf8()},
        {"text/uri-list", link.toUtf8() + "\r\n"},
        {"text/plain", link.toUtf8()},
    });
    const MimeDataPasteboard pasteboard(data);
    EXPECT_TRUE(pasteboard.fileURLs().isEmpty());
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::text(link)});
}

TEST_F(MimePasteboardTest, EditorTextIsDecodedByItsCharset)
{
    QByteArray utf16("\xff\xfe", 2);
    const QString word = QString::fromUtf8("zweiundvierzig \xe2\x80\x94 42");
    utf16 += QByteArray(reinterpret_cast<const char *>(word.utf16()), word.size() * 2);
    const struct
    {
        QList<std::pair<QString, QByteArray>> formats;
        std::optional<QString> expected;
    } cases[] = {
        {{{"text/plain;charset=utf-8", "  h\xc3\xa9llo w\xc3\xb6rld \n"}}, QString::fromUtf8("héllo wörld")},
        {{{"text/plain", "na\xc3\xafve \xe2\x80\x94 ok"}}, QString::fromUtf8("naïve — ok")},
        {{{"TEXT/PLAIN; Charset=\"ISO-8859-1\"", "caf\xe9"}}, QString::fromUtf8("café")},
        {{{"text/plain;charset=utf-16", utf16}}, word},
        {{{"text/plain;charset=utf-8", "first"}, {"text/plain", "second"}}, QString("first")},
        {{{"text/plain;charset=x-no-such-charset", "lost"}}, std::nullopt},
        {{{"text/plain;charset=x-no-such-charset", "lost"}, {"text/plain", "kept"}}, QString("kept")},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.formats.first().first.toStdString());
        const MimeDataPasteboard pasteboard(mimeData(entry.formats));
        EXPECT_FALSE(containsImageType(pasteboard));
        const PasteboardCaptures expected = entry.expected
                                                ? PasteboardCaptures{PasteboardCapture::text(*entry.expected)}
                                                : PasteboardCaptures{};
        EXPECT_EQ(readCaptures(pasteboard), expected);
    }
}

// A byte order mark belongs to the encoding, not the text: it is dropped once, whichever decoder the
// charset names (Qt's own or one found through ICU), and a second one is a character that every
// reading of the text keeps alike.
TEST_F(MimePasteboardTest, OnlyTheFirstByteOrderMarkIsDroppedAndEveryReadingAgrees)
{
    const QByteArray mark = "\xef\xbb\xbf";
    const QString kept = QString(QChar::ByteOrderMark) + "a";
    const struct
    {
        const char *format;
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"text/plain", mark + "a", "a"},
        {"text/plain;charset=unicode-1-1-utf-8", mark + "a", "a"},
        {"text/plain", mark + mark + "a", kept},
        {"text/plain;charset=utf-8", mark + mark + "a", kept},
        {"text/plain;charset=unicode-1-1-utf-8", mark + mark + "a", kept},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format + (" " + c.bytes.toHex()).toStdString());
        const RawMimeData data({{c.format, c.bytes}});
        const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(data);
        EXPECT_EQ(pasteboard.stringForType("text/plain"), c.text);
        EXPECT_EQ(pasteboard.utf8StringForType("text/plain"), c.text.toUtf8());
        EXPECT_EQ(pasteboard.stringObjects(), QStringList{c.text});
    }
}

TEST_F(MimePasteboardTest, AnImageObjectIsOfferedAsTiffAndNotAsAType)
{
    auto data = std::make_shared<QMimeData>();
    data->setImageData(QImage::fromData(patternedPng({40, 30})));
    const MimeDataPasteboard imageOnly(data);
    EXPECT_TRUE(imageOnly.types().isEmpty());
    EXPECT_TRUE(imageOnly.items().isEmpty());
    ASSERT_EQ(imageOnly.imageObjects().size(), 1);
    const PasteboardCaptures captures = readCaptures(imageOnly);
    ASSERT_EQ(captures.size(), 1);
    ASSERT_TRUE(captures.first().isImage());
    const QByteArray tiff = captures.first().imageBytes();
    EXPECT_TRUE(tiff.startsWith("II*") || tiff.startsWith("MM\0*"));
    EXPECT_EQ(QImage::fromData(tiff).size(), QSize(40, 30));

    // Next to text, the image still wins, and Qt's own format name never shows as a type.
    data->setText("a caption");
    const MimeDataPasteboard withText(data);
    EXPECT_EQ(withText.types(), QStringList{"text/plain"});
    EXPECT_EQ(readCaptures(withText), captures);

    auto empty = std::make_shared<QMimeData>();
    empty->setImageData(QImage());
    EXPECT_TRUE(MimeDataPasteboard(empty).imageObjects().isEmpty());
}

TEST_F(MimePasteboardTest, OwnedDataOutlivesItsCallerAndBorrowedDataIsLeftToItsOwner)
{
    PasteboardItemPtr item;
    {
        auto data = mimeData({{"image/png", png}});
        item = MimeDataPasteboard(data).items().value(0);
    }
    ASSERT_TRUE(item);
    EXPECT_EQ(item->dataForType("image/png"), png);

    QMimeData dropped;
    dropped.setText(" dropped text ");
    {
        const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(dropped);
        EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{PasteboardCapture::text("dropped text")});
    }
    EXPECT_EQ(dropped.text(), " dropped text ");
}

} // namespace
