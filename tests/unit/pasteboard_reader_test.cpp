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
#include <functional>
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

// What a pasteboard offers: its items (unlisted when hidden, answering only typed reads), its own
// type list, image and string objects, files.
struct Offer
{
    QList<FakePasteboardItem> items = {};
    bool hidden = false;
    std::optional<QStringList> types = {};
    QList<DecodedImagePtr> images = {};
    QStringList strings = {};
    QList<QUrl> files = {};
};

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

class PasteboardReaderTest : public ::testing::Test
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
        const int fd = ::open("/proc/sys/vm/drop_caches", O_RDONLY);
        if (fd >= 0) {
            ::close(fd);
            return std::nullopt;
        }
        return link(name, QStringLiteral("/proc/sys/vm/drop_caches"));
    }

    static PasteboardCaptures read(const Offer &offer)
    {
        FakePasteboard pasteboard;
        pasteboard.setItems(offer.items);
        pasteboard.setItemsHidden(offer.hidden);
        pasteboard.setPasteboardTypes(offer.types);
        pasteboard.setImageObjects(offer.images);
        pasteboard.setStringObjects(offer.strings);
        pasteboard.setFileURLs(offer.files);
        return readCaptures(pasteboard);
    }
    PasteboardCaptures readFiles(const QList<QUrl> &urls, const QStringList &fifos = {})
    {
        FakePasteboard pasteboard;
        pasteboard.setFileURLs(urls);
        return readWithoutBlocking([&] { return readCaptures(pasteboard); }, fifos);
    }
};

TEST_F(PasteboardReaderTest, ImageKeywordsMarkATypeInAnyLetterCaseAndPlainTextNever)
{
    for (const char *keyword : {"png", "tiff", "tif", "jpeg", "jpg", "heic", "gif", "image", "icns"}) {
        const QString type = QStringLiteral("x-vendor/Made-") + QString::fromLatin1(keyword).toUpper();
        SCOPED_TRACE(type.toStdString());
        // After a text entry that must not win.
        FakePasteboard pasteboard;
        pasteboard.setItems({item("text/plain", "words").add(type, bytes(200, 'k'))});
        EXPECT_TRUE(containsImageType(pasteboard));
        EXPECT_EQ(readCaptures(pasteboard), PasteboardCaptures{image(bytes(200, 'k'))});
    }
    for (const char *type : {"text/plain", "TEXT/PLAIN", "text/plain;charset=x-image-jpeg", "text/html",
                             "text/uri-list", "application/x-jp", "x-special/gnome-copied-files"}) {
        SCOPED_TRACE(type);
        FakePasteboard pasteboard;
        pasteboard.setItems({item(type, bytes(300, 't'))});
        EXPECT_FALSE(containsImageType(pasteboard));
        for (const PasteboardCapture &capture : readCaptures(pasteboard))
            EXPECT_FALSE(capture.isImage());
    }
}

// Where the floor applies, 128 bytes are treated as absent and 129 are taken. Each known image type
// is asked of the pasteboard itself, with its items hidden.
TEST_F(PasteboardReaderTest, ImageFloorIsMoreThan128BytesAtEveryImageSource)
{
    std::vector<std::pair<const char *, std::function<Offer(const QByteArray &)>>> sources = {
        {"item type", [](const QByteArray &d) { return Offer{.items = {item("x-app/png", d)}}; }},
        {"image object", [](const QByteArray &d) { return Offer{.images = {tiffImage(d)}}; }},
        {"screenshot file",
         [&](const QByteArray &d) { return Offer{.files = {file("Screenshot 1.png", d)}}; }},
        {"image file", [&](const QByteArray &d) { return Offer{.files = {file("photo.png", d)}}; }},
    };
    for (const char *type :
         {"image/png", "image/tiff", "image/jpeg", "image/heic", "image/heif", "image/gif"})
        sources.emplace_back(
            type, [type](const QByteArray &d) { return Offer{.items = {item(type, d)}, .hidden = true}; });
    for (const auto &[name, offer] : sources) {
        SCOPED_TRACE(name);
        EXPECT_EQ(read(offer(bytes(128, 's'))), PasteboardCaptures{});
        EXPECT_EQ(read(offer(bytes(129, 'l'))), PasteboardCaptures{image(bytes(129, 'l'))});
    }
}

// Image data, then a screenshot file, then text, then every other file: the first that yields wins.
TEST_F(PasteboardReaderTest, SourcesAreTriedInTheirOrder)
{
    const QList<FakePasteboardItem> gifJpegTiffPng{
        item("image/gif", bytes(200, 'g')).add("image/jpeg", bytes(200)), item("image/tiff", bytes(200)),
        item("image/png", bytes(200, 'p'))};
    const QList<FakePasteboardItem> caption{item("text/plain", "caption")};
    const struct
    {
        const char *name;
        Offer offer;
        PasteboardCaptures expected;
    } cases[] = {
        {"walking the items, the first image type wins", {.items = gifJpegTiffPng}, {image(bytes(200, 'g'))}},
        {"asked by type, PNG comes before TIFF, JPEG and GIF",
         {.items = gifJpegTiffPng, .hidden = true},
         {image(bytes(200, 'p'))}},
        {"a type outside the known list is found only by walking the items",
         {.items = {item("image/webp", bytes(300))}, .hidden = true},
         {}},
        {"the walk skips small and missing data and goes on to later items",
         {.items = {item("image/png", std::nullopt).add("image/jpeg", bytes(128)),
                    item("text/plain", "hello").add("public.heic", bytes(129, 'h'))}},
         {image(bytes(129, 'h'))}},
        {"only the first image object counts",
         {.images = {tiffImage(std::nullopt), tiffImage(bytes(300))}},
         {}},
        {"the first image object's TIFF",
         {.images = {tiffImage(bytes(300, 'a')), tiffImage(bytes(300, 'b'))}},
         {image(bytes(300, 'a'))}},
        {"image data wins over text and image objects",
         {.items = {item("text/plain", "caption").add("image/png", bytes(500, 'p'))},
          .images = {tiffImage(bytes(500, 'o'))},
          .strings = {"caption"}},
         {image(bytes(500, 'p'))}},
        {"an image type without usable data still blocks the text",
         {.items = {item("text/plain", "caption").add("image/png", bytes(128))}, .strings = {"caption"}},
         {}},
        {"an image type in the pasteboard's own list blocks the text",
         {.items = caption, .types = QStringList{"text/plain", "application/x-IMAGE-ref"}},
         {}},
        {"an image type of an item blocks the text when the pasteboard lists none",
         {.items = {item("text/plain", "caption"), item("image/gif", std::nullopt)},
          .types = QStringList{"text/plain"}},
         {}},
        {"string objects stand in for empty plain text, the first one only",
         {.items = {item("text/plain", "  \n")}, .strings = {"  from an object \n", "second"}},
         {text("from an object")}},
        {"a blank first string object is nothing", {.strings = {" ", "second"}}, {}},
        {"a screenshot file comes alone before any text",
         {.items = caption,
          .files = {file("notes.txt", "notes"), file("photo.png", bytes(600, 'p')),
                    file("Screen Shot 2020-01-01.tiff", bytes(600, 's')),
                    file("Screenshot 2.png", bytes(600))}},
         {image(bytes(600, 's'))}},
        {"text wins over other files",
         {.items = caption, .files = {file("photo.png", bytes(600)), file("notes.txt", "notes")}},
         {text("caption")}},
        {"blocked text falls through to the files",
         {.items = {item("text/plain", "caption").add("image/png", bytes(20))},
          .files = {file("notes.txt", " from the file \n")}},
         {text("from the file")}},
    };
    for (const auto &entry : cases)
        EXPECT_EQ(read(entry.offer), entry.expected) << entry.name;
}

TEST_F(PasteboardReaderTest, TextIsTrimmedAndWhiteSpaceAloneIsNothing)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {"  word \n", "word"},
        {"\t\r\n two  words\n\n", "two  words"},
        {QString::fromUtf8("\u00a0\u2028line one\nline two\u3000"), "line one\nline two"},
        {" \n\t\r\n ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[offered, expected] : cases) {
        EXPECT_EQ(read({.items = {item("text/plain", offered.toUtf8())}}),
                  expected ? PasteboardCaptures{text(*expected)} : PasteboardCaptures{})
            << offered.toStdString();
    }
}

TEST(PasteboardFileNamesTest, ScreenshotNamesNeedAPrefixOrTheInfixAndAScreenshotExtension)
{
    for (const char *name :
         {"Screenshot 2024-05-01 at 10.00.00.png", "CleanShot 2024-05-01.jpg", "Screen Shot 2020-01-01.tiff",
          "screenshot.JPEG", "SCREENSHOT_1.Tif", "Screenshot.heic", "my-screencapture-7.png",
          "ScreenCapture.png", "Screenshot.tar.png"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isScreenshotFileURL(QUrl::fromLocalFile(QStringLiteral("/tmp/") + name)));
    }
    for (const char *path : {"/tmp/my screenshot.png", "/tmp/Screenshot.gif", "/tmp/Screenshot.webp",
                             "/tmp/Screenshot.heif", "/tmp/Screenshot.png.txt", "/tmp/Screenshot",
                             "/tmp/screencapture", "/tmp/Screen  Shot two spaces.png", "/tmp/Screen_Shot.png",
                             "/tmp/Screenshots/photo.png", "/tmp/.screenshot.png"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(isScreenshotFileURL(QUrl::fromLocalFile(QString::fromUtf8(path))));
    }
}

TEST(PasteboardFileNamesTest, ImageAndTextExtensionsFromTheTablesThenFromTheTypeDatabase)
{
    const auto url = [](const QString &extension) { return QUrl::fromLocalFile("/tmp/file." + extension); };
    for (const char *extension :
         {"png", "jpg", "jpeg", "heic", "heif", "gif", "tiff", "tif", "webp", "bmp"}) {
        SCOPED_TRACE(extension);
        EXPECT_TRUE(isImageFileURL(url(QString::fromLatin1(extension).toUpper())));
        EXPECT_FALSE(isTextFileURL(url(extension)));
    }
    // "ts" is also a video container to the type database; the table decides.
    for (const char *extension :
         {"txt", "md", "markdown", "json", "csv", "log", "swift", "py", "js", "ts", "html", "css", "xml"}) {
        SCOPED_TRACE(extension);
        EXPECT_TRUE(isTextFileURL(url(QString::fromLatin1(extension).toUpper())));
        EXPECT_FALSE(isImageFileURL(url(extension)));
    }
    // Outside the tables, the type registered for the extension decides.
    for (const char *extension : {"ico", "svg"})
        EXPECT_TRUE(isImageFileURL(url(extension))) << extension;
    for (const char *extension : {"yaml", "c", "rtf"})
        EXPECT_TRUE(isTextFileURL(url(extension))) << extension;
    for (const char *extension : {"pdf", "zip", "xyz", "qqqz", ""}) {
        EXPECT_FALSE(isImageFileURL(url(extension))) << extension;
        EXPECT_FALSE(isTextFileURL(url(extension))) << extension;
    }
    EXPECT_FALSE(isImageFileURL(QUrl::fromLocalFile("/tmp/png")));
}

// "svg" is an image to the type database and text by descent from XML: as no image, it is tried as
// text. Text files must be valid UTF-8; folders and missing files named like images are skipped.
TEST_F(PasteboardReaderTest, FilesBecomeOneCaptureEachInFileOrder)
{
    const QByteArray png = bytes(2000, 'p');
    EXPECT_EQ(
        readFiles({folder("Screenshot 1.png"), url("Screenshot 9.png"), file("photo.png", png),
                   file("notes.md", "  # Notes\n\n"), file("data.xyz", "words"), file("tiny.png", bytes(100)),
                   file("blank.txt", " \n\t "), file("small.svg", "  <svg/>\n"),
                   file("latin1.json", "{\"caf\xe9\": 1}"), file("cut.md", "caf\xc3"),
                   file("surrogate.txt", "\xed\xa0\x80"), file("good.json", "{\"caf\xc3\xa9\": 1}"),
                   folder("folder.png"), folder("notes.txt"), url("gone.txt")}),
        (PasteboardCaptures{image(png), text("# Notes"), text("<svg/>"),
                            text(QString::fromUtf8("{\"caf\xc3\xa9\": 1}"))}));
}

TEST_F(PasteboardReaderTest, FilesThatCannotBeReadOrFailPartWayAreSkipped)
{
    // procfs reports the process's memory as a regular file that opens, then fails to read at
    // offset 0, which is never mapped.
    const QUrl failing = link("Screenshot 4.png", "/proc/self/mem");
    EXPECT_EQ(readRegularFile(failing), std::nullopt);
    EXPECT_EQ(readFiles({failing, link("notes.log", "/proc/self/mem"), file("kept.md", "kept")}),
              PasteboardCaptures{text("kept")});

    const std::optional<QUrl> screenshot = unreadable("Screenshot 3.png");
    const std::optional<QUrl> notes = unreadable("notes.txt");
    if (!screenshot || !notes)
        GTEST_SKIP() << "running as root, and no file here refuses root a read";
    EXPECT_EQ(readRegularFile(*screenshot), std::nullopt);
    EXPECT_EQ(readFiles({*screenshot, *notes, file("kept.md", "kept")}), PasteboardCaptures{text("kept")});
}

TEST_F(PasteboardReaderTest, FifosNamedLikeFilesAreNeverOpened)
{
    const QUrl notes = fifo("notes.txt");
    EXPECT_EQ(readFiles({fifo("Screenshot 1.png"), fifo("photo.png"), notes, file("kept.md", "kept")},
                        {path("Screenshot 1.png"), path("photo.png"), path("notes.txt")}),
              PasteboardCaptures{text("kept")});
    EXPECT_EQ(readWithoutBlocking([&] { return readUtf8File(notes); }, {path("notes.txt")}), std::nullopt);
}

TEST_F(PasteboardReaderTest, APathSwappedForAFifoWhileBeingReadNeverBlocks)
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

TEST_F(PasteboardReaderTest, WholeFilesAreReadByteForByteAndFilesPastTheirBoundSkippedOrCut)
{
    QByteArray large(300 * 1024, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 % 251);
    EXPECT_EQ(readRegularFile(file("large.bin", large)), large);
    EXPECT_EQ(readRegularFile(link("link.bin", path("large.bin"))), large);
    EXPECT_EQ(readRegularFile(file("empty.txt", {})), QByteArray());
    EXPECT_EQ(readUtf8File(url("empty.txt")), QString());
    EXPECT_EQ(readRegularFile(QUrl("https://example.com/large.bin")), std::nullopt);
    EXPECT_EQ(readRegularFile(file("bound.bin", bytes(1000)), 1000), bytes(1000));
    EXPECT_EQ(readRegularFile(url("bound.bin"), 999), std::nullopt);

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
    // A three-byte character across the bound: the read stops inside it.
    const std::optional<ClipText> cut = readUtf8File(sparse("huge.txt", max + 100, max - 1, "\xe2\x82\xac"));
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->isShortened());
    EXPECT_EQ(cut->byteSize(), max - 1) << "the character across the bound is left out whole";
    EXPECT_EQ(readUtf8File(sparse("binary.txt", max + 100, 10, "\xff")), std::nullopt);
}

} // namespace
