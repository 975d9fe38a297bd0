#include "capture/PasteboardReader.h"

#include "model/ClipboardItem.h"
#include "platform/api/Pasteboard.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringDecoder>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarno {

const QStringList &imageTypeKeywords()
{
    static const QStringList keywords{
        QStringLiteral("png"),  QStringLiteral("tiff"),  QStringLiteral("tif"),
        QStringLiteral("jpeg"), QStringLiteral("jpg"),   QStringLiteral("heic"),
        QStringLiteral("gif"),  QStringLiteral("image"), QStringLiteral("icns"),
    };
    return keywords;
}

const QStringList &knownImageTypes()
{
    // The platform's PNG and TIFF types each appear under two names elsewhere; here both names are
    // the same MIME type, which keeps the order and the repetition harmless.
    static const QStringList types{
        QStringLiteral("image/png"),  QStringLiteral("image/png"),  QStringLiteral("image/png"),
        QStringLiteral("image/tiff"), QStringLiteral("image/tiff"), QStringLiteral("image/tiff"),
        QStringLiteral("image/jpeg"), QStringLiteral("image/heic"), QStringLiteral("image/heif"),
        QStringLiteral("image/gif"),
    };
    return types;
}

const QStringList &screenshotFileExtensions()
{
    static const QStringList extensions{QStringLiteral("png"),  QStringLiteral("jpg"),
                                        QStringLiteral("jpeg"), QStringLiteral("heic"),
                                        QStringLiteral("tiff"), QStringLiteral("tif")};
    return extensions;
}

const QStringList &imageFileExtensions()
{
    static const QStringList extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("gif"), QStringLiteral("tiff"), QStringLiteral("tif"),
        QStringLiteral("webp"), QStringLiteral("bmp")};
    return extensions;
}

const QStringList &textFileExtensions()
{
    static const QStringList extensions{
        QStringLiteral("txt"), QStringLiteral("md"),  QStringLiteral("markdown"), QStringLiteral("json"),
        QStringLiteral("csv"), QStringLiteral("log"), QStringLiteral("swift"),    QStringLiteral("py"),
        QStringLiteral("js"),  QStringLiteral("ts"),  QStringLiteral("html"),     QStringLiteral("css"),
        QStringLiteral("xml"),
    };
    return extensions;
}

namespace {

bool isPlainTextType(const QString &lowered)
{
    // Charset variants ("text/plain;charset=utf-8") are plain text too, never an image type.
    return lowered == PasteboardType::plainText || lowered.startsWith(PasteboardType::plainText + u';');
}

bool namesImageType(const QString &type)
{
    const QString lowered = type.toLower();
    if (isPlainTextType(lowered))
        return false;
    for (const QString &keyword : imageTypeKeywords()) {
        if (lowered.contains(keyword))
            return true;
    }
    return false;
}

bool isUsableImage(const std::optional<QByteArray> &data)
{
    return data && data->size() > minimumImageBytes;
}

std::optional<QByteArray> imageDataFromItemTypes(const PasteboardReader &pasteboard)
{
    for (const PasteboardItemPtr &item : pasteboard.items()) {
        for (const QString &type : item->types()) {
            if (!namesImageType(type))
                continue;
            std::optional<QByteArray> data = item->dataForType(type);
            if (isUsableImage(data))
                return data;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> imageDataForKnownTypes(const PasteboardReader &pasteboard)
{
    for (const QString &type : knownImageTypes()) {
        std::optional<QByteArray> data = pasteboard.dataForType(type);
        if (isUsableImage(data))
            return data;
    }
    return std::nullopt;
}

std::optional<QByteArray> imageDataFromImageObjects(const PasteboardReader &pasteboard)
{
    const QList<DecodedImagePtr> images = pasteboard.imageObjects();
    if (images.isEmpty() || !images.first())
        return std::nullopt;
    std::optional<QByteArray> tiff = images.first()->tiffRepresentation();
    if (isUsableImage(tiff))
        return tiff;
    return std::nullopt;
}

QList<QUrl> fileURLs(const PasteboardReader &pasteboard)
{
    QList<QUrl> urls = pasteboard.fileURLs();
    urls.removeIf([](const QUrl &url) { return !url.isLocalFile(); });
    return urls;
}

std::optional<ClipText> nonEmptyTrimmed(const std::optional<ClipText> &text)
{
    if (!text)
        return std::nullopt;
    ClipText trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

std::optional<ClipText> readText(const PasteboardReader &pasteboard)
{
    if (containsImageType(pasteboard))
        return std::nullopt;
    if (const std::optional<QByteArray> utf8 = pasteboard.utf8StringForType(PasteboardType::plainText)) {
        if (std::optional<ClipText> text = nonEmptyTrimmed(ClipText::fromUtf8(*utf8)))
            return text;
    }
    const QStringList strings = pasteboard.stringObjects();
    if (strings.isEmpty())
        return std::nullopt;
    return nonEmptyTrimmed(ClipText(strings.first()));
}

QString loweredExtension(const QUrl &url)
{
    return QFileInfo(url.path()).suffix().toLower();
}

QString baseNameWithoutExtension(const QUrl &url)
{
    const QString name = url.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 ? name : name.left(dot);
}

// The registered type for an extension; nothing when the shared MIME database knows none.
std::optional<QMimeType> typeForExtension(const QString &extension)
{
    if (extension.isEmpty())
        return std::nullopt;
    static const QMimeDatabase database;
    const QList<QMimeType> types = database.mimeTypesForFileName(QStringLiteral("file.") + extension);
    if (types.isEmpty() || !types.first().isValid() || types.first().isDefault())
        return std::nullopt;
    return types.first();
}

bool conformsToFamily(const QMimeType &type, QStringView family)
{
    if (type.name().startsWith(family))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(),
                       [&](const QString &ancestor) { return ancestor.startsWith(family); });
}

} // namespace

bool containsImageType(const PasteboardReader &pasteboard)
{
    const QStringList types = pasteboard.types();
    if (std::any_of(types.begin(), types.end(), namesImageType))
        return true;
    for (const PasteboardItemPtr &item : pasteboard.items()) {
        const QStringList itemTypes = item->types();
        if (std::any_of(itemTypes.begin(), itemTypes.end(), namesImageType))
            return true;
    }
    return false;
}

bool isScreenshotFileURL(const QUrl &url)
{
    if (!screenshotFileExtensions().contains(loweredExtension(url)))
        return false;
    const QString name = baseNameWithoutExtension(url).toLower();
    return name.startsWith(QStringLiteral("screenshot")) || name.startsWith(QStringLiteral("screen shot")) ||
           name.startsWith(QStringLiteral("cleanshot")) || name.contains(QStringLiteral("screencapture"));
}

bool isImageFileURL(const QUrl &url)
{
    const QString extension = loweredExtension(url);
    if (imageFileExtensions().contains(extension))
        return true;
    const std::optional<QMimeType> type = typeForExtension(extension);
    return type && conformsToFamily(*type, u"image/");
}

bool isTextFileURL(const QUrl &url)
{
    const QString extension = loweredExtension(url);
    if (textFileExtensions().contains(extension))
        return true;
    const std::optional<QMimeType> type = typeForExtension(extension);
    if (!type)
        return false;
    return type->inherits(PasteboardType::plainText) || conformsToFamily(*type, u"text/");
}

namespace {

// The start of a regular file, at most `maxBytes` of it, and whether that was all of it.
struct FileStart
{
    QByteArray bytes;
    bool whole = true;
};

// With `wholeOnly`, a file that says it is longer is not read at all.
std::optional<FileStart> readFileStart(const QUrl &url, qsizetype maxBytes, bool wholeOnly)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    // Opening a FIFO for reading would wait for a writer forever, so only a regular file is opened.
    // The open itself does not block either, and the opened file is checked again, in case the path
    // was replaced between the two steps.
    struct stat status
    {};
    if (::stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
              !(wholeOnly && qint64(status.st_size) > qint64(maxBytes));
    FileStart start;
    QByteArray &bytes = start.bytes;
    qsizetype used = 0;
    if (ok) {
        // One byte more than the reported size, so that a file of the reported size ends without a
        // second allocation; files whose size is not known in advance (procfs) grow the buffer.
        // One byte past the bound tells a file longer than it.
        const qsizetype limit = maxBytes + 1;
        bytes.resize(std::min(limit, qMax<qsizetype>(qsizetype(status.st_size) + 1, 4096)));
        for (;;) {
            if (used == bytes.size()) {
                if (used == limit)
                    break;
                bytes.resize(std::min(limit, bytes.size() * 2));
            }
            const ssize_t count = ::read(fd, bytes.data() + used, size_t(bytes.size() - used));
            if (count > 0) {
                used += count;
            } else if (count == 0) {
                break;
            } else if (errno != EINTR) {
                ok = false;
                break;
            }
        }
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    start.whole = used <= maxBytes;
    bytes.truncate(std::min(used, maxBytes));
    return start;
}

} // namespace

std::optional<QByteArray> readRegularFile(const QUrl &url, qsizetype maxBytes)
{
    std::optional<FileStart> start = readFileStart(url, maxBytes, true);
    if (!start || !start->whole)
        return std::nullopt;
    return std::move(start->bytes);
}

std::optional<ClipText> readUtf8File(const QUrl &url)
{
    // Of a longer file, a byte more than a clip keeps: the text then knows it was cut.
    std::optional<FileStart> start = readFileStart(url, ClipText::maxBytes + 1, false);
    if (!start)
        return std::nullopt;
    QByteArray &bytes = start->bytes;
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    // A file that is not UTF-8 is no text file; where the read stopped short, its last character
    // may have been cut in two.
    bool valid = bytes.isValidUtf8();
    for (qsizetype cut = 1; !valid && !start->whole && cut <= 3 && cut < bytes.size(); ++cut)
        valid = QByteArrayView(bytes).chopped(cut).isValidUtf8();
    if (!valid)
        return std::nullopt;
    return ClipText::fromUtf8(std::move(bytes));
}

bool isMarkedSecret(const PasteboardReader &pasteboard)
{
    const std::optional<QByteArray> hint = pasteboard.dataForType(PasteboardType::passwordManagerHint);
    return hint && hint->trimmed() == "secret";
}

PasteboardCaptures readCaptures(const PasteboardReader &pasteboard)
{
    if (isMarkedSecret(pasteboard))
        return {};
    if (std::optional<QByteArray> data = imageDataFromItemTypes(pasteboard))
        return {PasteboardCapture::image(*data)};
    if (std::optional<QByteArray> data = imageDataForKnownTypes(pasteboard))
        return {PasteboardCapture::image(*data)};
    if (std::optional<QByteArray> data = imageDataFromImageObjects(pasteboard))
        return {PasteboardCapture::image(*data)};

    for (const QUrl &url : fileURLs(pasteboard)) {
        if (!isScreenshotFileURL(url))
            continue;
        std::optional<QByteArray> bytes = readRegularFile(url);
        if (isUsableImage(bytes))
            return {PasteboardCapture::image(*bytes)};
    }

    if (std::optional<ClipText> text = readText(pasteboard))
        return {PasteboardCapture::text(*text)};

    PasteboardCaptures captures;
    for (const QUrl &url : fileURLs(pasteboard)) {
        if (isImageFileURL(url)) {
            std::optional<QByteArray> bytes = readRegularFile(url);
            if (isUsableImage(bytes)) {
                captures.append(PasteboardCapture::image(*bytes));
                continue;
            }
        }
        if (isTextFileURL(url)) {
            if (std::optional<ClipText> text = nonEmptyTrimmed(readUtf8File(url)))
                captures.append(PasteboardCapture::text(*text));
        }
    }
    return captures;
}

} // namespace tarno
