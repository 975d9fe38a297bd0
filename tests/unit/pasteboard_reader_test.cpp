#include "capture/PasteboardReader.h"
#include "platform/fake/FakePasteboard.h"
#include "tests/support/TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

QByteArray bytes(qsizetype size, char fill = 'i')
{
    return QByteArray(size, fill);
}

PasteboardCapture image(const QByteArray &data)
{
    return PasteboardCapture::image(data);
}

PasteboardCapture text(const QString &value)
{
    return PasteboardCapture::text(value);
}

// An image object whose TIFF representation is fixed bytes.
class FixedTiffImage : public DecodedImage
{
public:
    explicit FixedTiffImage(std::optional<QByteArray> tiff) : m_tiff(std::move(tiff)) {}
    QSize size() const override { return {1, 1}; }
    std::optional<QByteArray> tiffRepresentation() const override { return m_tiff; }

private:
    std::optional<QByteArray> m_tiff;
};

DecodedImagePtr tiffImage(std::optional<QByteArray> tiff)
{
    return std::make_shared<FixedTiffImage>(std::move(tiff));
}

FakePasteboardItem item(const QString &type, std::optional<QByteArray> data)
{
    return FakePasteboardItem().add(type, std::move(data));
}

// ---------------------------------------------------------------------------------------------
// Pasteboard data: types, tables, the order of the sources.

TEST(PasteboardReaderTest, EveryImageKeywordMarksATypeInAnyLetterCase)
{
    for (const char *keyword : {"png", "tiff", "tif", "jpeg", "jpg", "heic", "gif", "image", "icns"}) {
        const QString type = QStringLiteral("x-vendor/Made-") + QString::fromLatin1(keyword).toUpper();
        SCOPED_TRACE(type.toStdString());
        FakePasteboard pasteboard;
        // The type is asked for in its own letter case, after a text entry that must not win.
        pasteboard.setItems({item("text/plain", "words").add(type, bytes(200, 'k'))});
        EXPECT_TRUE(containsImageType(pasteboard));
        EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(200, 'k'))});
    }
}

TEST(PasteboardReaderTest, TypesWithoutAKeywordAndPlainTextNeverCountAsImages)
{
    for (const char *type : {"text/plain", "TEXT/PLAIN", "text/plain;charset=x-image-jpeg", "text/html",
                             "text/uri-list", "application/x-jp", "x-special/gnome-copied-files"}) {
        SCOPED_TRACE(type);
        FakePasteboard pasteboard;
        pasteboard.setItems({item(type, bytes(300, 't'))});
        EXPECT_FALSE(containsImageType(pasteboard));
        const PasteboardCaptures captures = readCaptures(pasteboard);
        EXPECT_TRUE(std::none_of(captures.begin(), captures.end(),
                                 [](const PasteboardCapture &capture) { return capture.isImage(); }));
    }
}

TEST(PasteboardReaderTest, EachKnownImageTypeIsAskedOfThePasteboardItself)
{
    for (const char *type :
         {"image/png", "image/tiff", "image/jpeg", "image/heic", "image/heif", "image/gif"}) {
        SCOPED_TRACE(type);
        FakePasteboard pasteboard;
        pasteboard.setItems({item(type, bytes(129, 'k'))});
        pasteboard.setItemsHidden(true);
        EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(129, 'k'))});
    }
    // A type outside the list is found only by walking the items.
    FakePasteboard pasteboard;
    pasteboard.setItems({item("image/webp", bytes(300))});
    pasteboard.setItemsHidden(true);
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{});
}

TEST(PasteboardReaderTest, KnownTypesAreTriedInTheirOwnOrderNotTheItemOrder)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("image/gif", bytes(200, 'g')).add("image/jpeg", bytes(200, 'j')),
                         item("image/tiff", bytes(200, 't')), item("image/png", bytes(200, 'p'))});
    // Walking the items, the first image type wins.
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(200, 'g'))});
    // Asking the pasteboard by type, PNG comes before TIFF before JPEG before GIF.
    pasteboard.setItemsHidden(true);
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(200, 'p'))});
}

TEST(PasteboardReaderTest, ItemWalkSkipsSmallAndMissingDataAndGoesOnToLaterItems)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("image/png", std::nullopt).add("image/jpeg", bytes(128)),
                         item("text/plain", "hello").add("public.heic", bytes(129, 'h'))});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(129, 'h'))});
}

// Where the floor applies, 128 bytes are treated as absent and 129 are taken.
TEST(PasteboardReaderTest, ImageFloorIsMoreThan128BytesAtEveryImageSource)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto fileURL = [&](const QString &name, const QByteArray &data) {
        return QUrl::fromLocalFile(writeFile(dir.filePath(name), data));
    };
    struct Source
    {
        const char *name;
        std::function<void(FakePasteboard &, const QByteArray &)> offer;
    };
    const std::vector<Source> sources{
        {"item type", [](FakePasteboard &p, const QByteArray &d) { p.setItems({item("x-app/png", d)}); }},
        {"known type",
         [](FakePasteboard &p, const QByteArray &d) {
             p.setItems({item("image/png", d)});
             p.setItemsHidden(true);
         }},
        {"image object", [](FakePasteboard &p, const QByteArray &d) { p.setImageObjects({tiffImage(d)}); }},
        {"screenshot file",
         [&](FakePasteboard &p, const QByteArray &d) { p.setFileURLs({fileURL("Screenshot 1.png", d)}); }},
        {"image file",
         [&](FakePasteboard &p, const QByteArray &d) { p.setFileURLs({fileURL("photo.png", d)}); }},
    };
    for (const Source &source : sources) {
        SCOPED_TRACE(source.name);
        FakePasteboard small;
        source.offer(small, bytes(128, 's'));
        EXPECT_EQ(readCaptures(small), PasteboardCaptures{});
        FakePasteboard large;
        source.offer(large, bytes(129, 'l'));
        EXPECT_EQ(readCaptures(large), PasteboardCaptures{image(bytes(129, 'l'))});
    }
}

TEST(PasteboardReaderTest, ImageObjectYieldsTheFirstObjectsTiffOnly)
{
    FakePasteboard pasteboard;
    pasteboard.setImageObjects({tiffImage(std::nullopt), tiffImage(bytes(300, 'b'))});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{});
    pasteboard.setImageObjects({tiffImage(bytes(300, 'a')), tiffImage(bytes(300, 'b'))});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(300, 'a'))});
}

TEST(PasteboardReaderTest, ImageDataWinsOverTextAndImageObjects)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "caption").add("image/png", bytes(500, 'p'))});
    pasteboard.setImageObjects({tiffImage(bytes(500, 'o'))});
    pasteboard.setStringObjects({"caption"});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(500, 'p'))});
}

TEST(PasteboardReaderTest, AnImageTypeWithoutUsableDataStillBlocksTheText)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "caption").add("image/png", bytes(128))});
    pasteboard.setStringObjects({"caption"});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{});

    // The pasteboard's own type list counts as well as the items' types.
    FakePasteboard announced;
    announced.setItems({item("text/plain", "caption")});
    announced.setPasteboardTypes(QStringList{"text/plain", "application/x-IMAGE-ref"});
    EXPECT_TRUE(containsImageType(announced));
    EXPECT_EQ(readCaptures(announced), PasteboardCaptures{});

    FakePasteboard itemOnly;
    itemOnly.setItems({item("text/plain", "caption"), item("image/gif", std::nullopt)});
    itemOnly.setPasteboardTypes(QStringList{"text/plain"});
    EXPECT_TRUE(containsImageType(itemOnly));
}

TEST(PasteboardReaderTest, TextIsTrimmedAndWhiteSpaceAloneIsNothing)
{
    const struct
    {
        QString offered;
        std::optional<QString> expected;
    } cases[] = {
        {"  word \n", "word"},
        {"\t\r\n two  words\n\n", "two  words"},
        {QString::fromUtf8("\u00a0\u2028line one\nline two\u3000"), "line one\nline two"},
        {" \n\t\r\n ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.offered.toStdString());
        FakePasteboard pasteboard;
        pasteboard.setItems({item("text/plain", entry.offered.toUtf8())});
        const PasteboardCaptures expected =
            entry.expected ? PasteboardCaptures{text(*entry.expected)} : PasteboardCaptures{};
        EXPECT_EQ(readCaptures(pasteboard), expected);
    }
}

TEST(PasteboardReaderTest, StringObjectsStandInForEmptyPlainTextFirstOneOnly)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "  \n")});
    pasteboard.setStringObjects({"  from an object \n", "second"});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{text("from an object")});

    pasteboard.setStringObjects({" ", "second"});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{});

    FakePasteboard objectsOnly;
    objectsOnly.setStringObjects({"only here"});
    EXPECT_EQ(readCaptures(objectsOnly), PasteboardCaptures{text("only here")});
}

// ---------------------------------------------------------------------------------------------
// File predicates.

TEST(PasteboardReaderTest, ScreenshotNamesNeedAPrefixOrTheInfixAndAScreenshotExtension)
{
    const struct
    {
        const char *path;
        bool expected;
    } cases[] = {
        {"/home/u/Desktop/Screenshot 2024-05-01 at 10.00.00.png", true},
        {"/tmp/CleanShot 2024-05-01.jpg", true},
        {"/tmp/Screen Shot 2020-01-01.tiff", true},
        {"/tmp/screenshot.JPEG", true},
        {"/tmp/SCREENSHOT_1.Tif", true},
        {"/tmp/Screenshot.heic", true},
        {"/tmp/my-screencapture-7.png", true},
        {"/tmp/ScreenCapture.png", true},
        {"/tmp/Screenshot.tar.png", true},
        {"/tmp/my screenshot.png", false},
        {"/tmp/Screenshot.gif", false},
        {"/tmp/Screenshot.webp", false},
        {"/tmp/Screenshot.heif", false},
        {"/tmp/Screenshot.png.txt", false},
        {"/tmp/Screenshot", false},
        {"/tmp/screencapture", false},
        {"/tmp/Screen  Shot two spaces.png", false},
        {"/tmp/Screen_Shot.png", false},
        {"/tmp/Screenshots/photo.png", false},
        {"/tmp/.screenshot.png", false},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.path);
        EXPECT_EQ(isScreenshotFileURL(QUrl::fromLocalFile(QString::fromUtf8(entry.path))), entry.expected);
    }
}

TEST(PasteboardReaderTest, ImageAndTextExtensionsFromTheTablesThenFromTheTypeDatabase)
{
    const auto url = [](const QString &extension) { return QUrl::fromLocalFile("/tmp/file." + extension); };
    for (const char *extension :
         {"png", "jpg", "jpeg", "heic", "heif", "gif", "tiff", "tif", "webp", "bmp"}) {
        SCOPED_TRACE(extension);
        EXPECT_TRUE(isImageFileURL(url(extension)));
        EXPECT_TRUE(isImageFileURL(url(QString::fromLatin1(extension).toUpper())));
        EXPECT_FALSE(isTextFileURL(url(extension)));
    }
    for (const char *extension :
         {"txt", "md", "markdown", "json", "csv", "log", "swift", "py", "js", "ts", "html", "css", "xml"}) {
        SCOPED_TRACE(extension);
        EXPECT_TRUE(isTextFileURL(url(extension)));
        EXPECT_TRUE(isTextFileURL(url(QString::fromLatin1(extension).toUpper())));
        // "ts" is also a video container to the type database; the table decides.
        EXPECT_FALSE(isImageFileURL(url(extension)));
    }
    // Outside the tables, the type registered for the extension decides.
    EXPECT_TRUE(isImageFileURL(url("ico")));
    EXPECT_TRUE(isImageFileURL(url("svg")));
    EXPECT_TRUE(isTextFileURL(url("yaml")));
    EXPECT_TRUE(isTextFileURL(url("c")));
    EXPECT_TRUE(isTextFileURL(url("rtf")));
    for (const char *extension : {"pdf", "zip", "xyz", "qqqz", ""}) {
        SCOPED_TRACE(extension);
        EXPECT_FALSE(isImageFileURL(url(extension)));
        EXPECT_FALSE(isTextFileURL(url(extension)));
    }
    EXPECT_FALSE(isImageFileURL(QUrl::fromLocalFile("/tmp/png")));
}

// ---------------------------------------------------------------------------------------------
// Files on disk.

// Runs a read that must not block. A read stuck opening a FIFO is released by opening the FIFO for
// writing, then reported; if that fails too, the process ends rather than hang the suite.
template <typename Read> auto readWithoutBlocking(Read read, const QStringList &fifos)
{
    auto future = std::async(std::launch::async, read);
    if (future.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "the read blocked";
        for (int attempt = 0; attempt < 500 && future.wait_for(10ms) != std::future_status::ready;
             ++attempt) {
            for (const QString &fifo : fifos) {
                const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
        }
        if (future.wait_for(0s) != std::future_status::ready)
            std::_Exit(EXIT_FAILURE);
    }
    return future.get();
}

class PasteboardFilesTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &name) const { return dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }
    QUrl file(const QString &name, const QByteArray &data)
    {
        return QUrl::fromLocalFile(writeFile(path(name), data));
    }
    QUrl folder(const QString &name)
    {
        EXPECT_TRUE(QDir(dir.path()).mkdir(name));
        return url(name);
    }
    QUrl fifo(const QString &name)
    {
        EXPECT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
        return url(name);
    }
    QUrl link(const QString &name, const QString &target)
    {
        EXPECT_TRUE(QFile::link(target, path(name)));
        return url(name);
    }
    // A file that stats as regular but cannot be opened for reading. Root reads past any mode bits,
    // so as root a write-only kernel setting stands in: procfs refuses to open it for reading even
    // to root. Nothing when running as root where there is no such file.
    std::optional<QUrl> unreadable(const QString &name)
    {
        if (::geteuid() != 0) {
            const QUrl result = file(name, bytes(300));
            EXPECT_EQ(::chmod(QFile::encodeName(path(name)).constData(), 0), 0);
            return result;
        }
        const QString writeOnly = QStringLiteral("/proc/sys/vm/drop_caches");
        const int fd = ::open(QFile::encodeName(writeOnly).constData(), O_RDONLY);
        if (fd >= 0) {
            ::close(fd);
            return std::nullopt;
        }
        return link(name, writeOnly);
    }

    PasteboardCaptures readFiles(const QList<QUrl> &urls, const QStringList &fifos = {})
    {
        FakePasteboard pasteboard;
        pasteboard.setFileURLs(urls);
        return readWithoutBlocking([&] { return readCaptures(pasteboard); }, fifos);
    }
};

TEST_F(PasteboardFilesTest, FilesBecomeOneCaptureEachInFileOrder)
{
    const QByteArray png = bytes(2000, 'p');
    EXPECT_EQ(readFiles({file("photo.png", png), file("notes.md", "  # Notes\n\n"), file("data.xyz", "words"),
                         file("tiny.png", bytes(100)), file("blank.txt", " \n\t ")}),
              (PasteboardCaptures{image(png), text("# Notes")}));
}

TEST_F(PasteboardFilesTest, AScreenshotFileIsReturnedAloneBeforeAnyText)
{
    const QByteArray shot = bytes(600, 's');
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "a caption")});
    pasteboard.setFileURLs({file("notes.txt", "notes"), file("photo.png", bytes(600, 'p')),
                            file("Screen Shot 2020-01-01.tiff", shot), file("Screenshot 2.png", bytes(600))});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(shot)});
}

TEST_F(PasteboardFilesTest, TextOnThePasteboardWinsOverOtherFiles)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "a caption")});
    pasteboard.setFileURLs({file("photo.png", bytes(600)), file("notes.txt", "notes")});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{text("a caption")});
}

TEST_F(PasteboardFilesTest, BlockedTextFallsThroughToTheFiles)
{
    FakePasteboard pasteboard;
    pasteboard.setItems({item("text/plain", "a caption").add("image/png", bytes(20))});
    pasteboard.setFileURLs({file("notes.txt", " from the file \n")});
    EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{text("from the file")});
}

TEST_F(PasteboardFilesTest, AnImageFileThatIsNoImageIsTriedAsText)
{
    // "svg" is an image to the type database and text by descent from XML.
    EXPECT_EQ(readFiles({file("small.svg", "  <svg/>\n")}), PasteboardCaptures{text("<svg/>")});
}

TEST_F(PasteboardFilesTest, TextFilesMustBeValidUtf8)
{
    EXPECT_EQ(readFiles({file("latin1.json", "{\"caf\xe9\": 1}"), file("cut.md", "caf\xc3"),
                         file("surrogate.txt", "\xed\xa0\x80"), file("good.json", "{\"caf\xc3\xa9\": 1}")}),
              PasteboardCaptures{text(QString::fromUtf8("{\"caf\xc3\xa9\": 1}"))});
}

TEST_F(PasteboardFilesTest, FoldersAndMissingFilesNamedLikeImagesAreSkipped)
{
    const QByteArray kept = bytes(300, 'k');
    EXPECT_EQ(readFiles({folder("Screenshot 1.png"), folder("photo.png"), folder("notes.txt"),
                         url("Screenshot 9.png"), url("gone.txt"), file("kept.png", kept)}),
              PasteboardCaptures{image(kept)});
}

TEST_F(PasteboardFilesTest, UnreadableFilesAreSkipped)
{
    const std::optional<QUrl> screenshot = unreadable("Screenshot 3.png");
    const std::optional<QUrl> notes = unreadable("notes.txt");
    if (!screenshot || !notes)
        GTEST_SKIP() << "running as root, and no file here refuses root a read";
    EXPECT_EQ(readRegularFile(*screenshot), std::nullopt);
    EXPECT_EQ(readFiles({*screenshot, *notes, file("kept.md", "kept")}), PasteboardCaptures{text("kept")});
}

TEST_F(PasteboardFilesTest, AFileThatFailsPartWayIsSkipped)
{
    // procfs reports the process's memory as a regular file that opens, then fails to read at
    // offset 0, which is never mapped.
    const QUrl screenshot = link("Screenshot 4.png", "/proc/self/mem");
    const QUrl notes = link("notes.log", "/proc/self/mem");
    EXPECT_EQ(readRegularFile(screenshot), std::nullopt);
    EXPECT_EQ(readFiles({screenshot, notes, file("kept.md", "kept")}), PasteboardCaptures{text("kept")});
}

TEST_F(PasteboardFilesTest, FifosNamedLikeFilesAreNeverOpened)
{
    const QUrl screenshot = fifo("Screenshot 1.png");
    const QUrl notes = fifo("notes.txt");
    EXPECT_EQ(readFiles({screenshot, fifo("photo.png"), notes, file("kept.md", "kept")},
                        {path("Screenshot 1.png"), path("photo.png"), path("notes.txt")}),
              PasteboardCaptures{text("kept")});
    EXPECT_EQ(readWithoutBlocking([&] { return readUtf8File(notes); }, {path("notes.txt")}), std::nullopt);
}

TEST_F(PasteboardFilesTest, APathSwappedForAFifoWhileBeingReadNeverBlocks)
{
    const QByteArray content = bytes(300, 'r');
    const QByteArray regularPath = QFile::encodeName(file("regular.png", content).toLocalFile());
    const QByteArray fifoPath = QFile::encodeName(fifo("pipe.png").toLocalFile());
    const QByteArray nextPath = QFile::encodeName(path("next"));
    const QUrl target = url("Screenshot swapped.png");
    const QByteArray targetPath = QFile::encodeName(target.toLocalFile());
    ASSERT_EQ(::link(regularPath.constData(), targetPath.constData()), 0);

    // The path keeps existing and is, at any moment, either the regular file or the FIFO.
    std::atomic_bool done{false};
    std::thread swapper([&] {
        for (unsigned turn = 0; !done.load(); ++turn) {
            ::unlink(nextPath.constData());
            if (::link(turn % 2 ? fifoPath.constData() : regularPath.constData(), nextPath.constData()) == 0)
                ::rename(nextPath.constData(), targetPath.constData());
        }
    });
    const auto [reads, wrong] = readWithoutBlocking(
        [&] {
            int regularReads = 0;
            int wrongReads = 0;
            // On a busy core the swapper may not run during a whole burst of reads, leaving the
            // FIFO in place throughout: keep reading, and hand the core over, until a regular read
            // has come through. Only a reader that refuses the regular file runs to the bound.
            for (int i = 0; i < 3000 || (regularReads == 0 && i < 1000000); ++i) {
                if (const std::optional<QByteArray> read = readRegularFile(target))
                    *read == content ? ++regularReads : ++wrongReads;
                else
                    std::this_thread::yield();
            }
            return std::pair(regularReads, wrongReads);
        },
        {QString::fromLocal8Bit(fifoPath)});
    done = true;
    swapper.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(reads, 0);
}

TEST_F(PasteboardFilesTest, WholeFilesAreReadByteForByte)
{
    QByteArray large(300 * 1024, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 % 251);
    EXPECT_EQ(readRegularFile(file("large.bin", large)), large);
    EXPECT_EQ(readRegularFile(file("empty.txt", {})), QByteArray());
    EXPECT_EQ(readUtf8File(file("empty.txt", {})), QString());
    EXPECT_EQ(readRegularFile(link("link.bin", path("large.bin"))), large);
    EXPECT_EQ(readRegularFile(QUrl("https://example.com/large.bin")), std::nullopt);
}

TEST_F(PasteboardFilesTest, FilesPastTheirBoundAreSkippedOrCutToTheirStart)
{
    const QByteArray data(1000, 'd');
    EXPECT_EQ(readRegularFile(file("bound.bin", data), 1000), data);
    EXPECT_EQ(readRegularFile(file("bound.bin", data), 999), std::nullopt);

    // Sparse: as large as they say, without the disk space.
    const auto sparse = [&](const QString &name, qint64 size, qint64 at, const QByteArray &bytes) {
        QFile out(path(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.resize(size) && out.seek(at));
        EXPECT_EQ(out.write(bytes), bytes.size());
        return url(name);
    };
    EXPECT_EQ(readRegularFile(sparse("Screenshot huge.png", qint64(1) << 30, 0, "\x89PNG")), std::nullopt);
    EXPECT_TRUE(readFiles({url("Screenshot huge.png")}).isEmpty());

    const qsizetype max = ClipText::maxBytes;
    const std::optional<ClipText> cut = readUtf8File(sparse("huge.txt", max + 100, max - 1, "\xc3\xa9"));
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->isShortened());
    EXPECT_EQ(cut->byteSize(), max - 1) << "the character across the bound is left out whole";
    EXPECT_EQ(readUtf8File(sparse("binary.txt", max + 100, 10, "\xff")), std::nullopt);
}

} // namespace
