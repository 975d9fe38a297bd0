#include "ui/DropCascade.h"

#include "capture/PasteboardReader.h"
#include "model/ClipboardItem.h"
#include "platform/qt/MimeDataPasteboard.h"

#include <QMimeData>
#include <QStringDecoder>

#include <algorithm>

namespace tarno {

namespace {

const QString qtImageFormat = QStringLiteral("application/x-qt-image");

DropLoadError cannotDecode()
{
    return DropLoadError{DropLoadError::Code::cannotDecodeContentData};
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The provider's first capture, or nothing when it yields none.
std::optional<PasteboardCapture> captureFrom(const DropItemProvider &provider)
{
    if (provider.hasItemConformingTo(DropItemType::image)) {
        DropLoadResult<QByteArray> data = loadImageData(provider);
        if (QByteArray *bytes = std::get_if<QByteArray>(&data))
            return PasteboardCapture::image(std::move(*bytes));
    }
    if (provider.hasItemConformingTo(DropItemType::plainText)) {
        DropLoadResult<QString> text = loadText(provider);
        if (QString *string = std::get_if<QString>(&text); string && !string->isEmpty())
            return PasteboardCapture::text(std::move(*string));
    }
    if (provider.hasItemConformingTo(DropItemType::fileURL)) {
        const DropLoadResult<QUrl> url = loadFileURL(provider);
        if (const QUrl *fileURL = std::get_if<QUrl>(&url); fileURL && fileURL->isLocalFile())
            return droppedFileCapture(*fileURL);
    }
    return std::nullopt;
}

// One X11 drag's data, copied out while the drag lasts. Answers what it was given and nothing else.
class CopiedDropItem : public DropItemProvider
{
public:
    // Offered as an image; `image` holds the bytes when they could be had.
    bool hasImage = false;
    std::optional<QByteArray> image;
    std::optional<QString> text;
    std::optional<QUrl> file;

    bool hasItemConformingTo(DropItemType type) const override
    {
        switch (type) {
        case DropItemType::image:
            return hasImage;
        case DropItemType::plainText:
            return text.has_value();
        case DropItemType::fileURL:
            return file.has_value();
        }
        return false;
    }

    DropDataAnswer loadDataRepresentation(DropItemType type) const override
    {
        if (type == DropItemType::image && image)
            return {image, std::nullopt};
        // A type that was offered but whose bytes could not be had: the source's own failure.
        if (hasItemConformingTo(type))
            return {std::nullopt, DropLoadError{DropLoadError::Code::failed}};
        return {};
    }

    DropItemAnswer loadItem(DropItemType type) const override
    {
        if (type == DropItemType::plainText && text)
            return *text;
        if (type == DropItemType::fileURL && file)
            return *file;
        return std::monostate{};
    }
};

bool isImageFormat(const QString &format)
{
    return format.startsWith(QStringLiteral("image/"), Qt::CaseInsensitive);
}

// The image bytes of a drag. Programs offer one picture under several encodings; PNG is lossless
// and what the history keeps, so it is taken first, then the first other image type, then an image
// object of this process's own drags, as TIFF. Empty bytes are what a failed X transfer gives.
std::optional<QByteArray> dragImageBytes(const MimeDataPasteboard &pasteboard, const QStringList &types)
{
    QStringList candidates;
    for (const QString &type : types) {
        if (type.compare(PasteboardType::png, Qt::CaseInsensitive) == 0)
            candidates.prepend(type);
        else if (isImageFormat(type))
            candidates.append(type);
    }
    for (const QString &type : std::as_const(candidates)) {
        std::optional<QByteArray> bytes = pasteboard.dataForType(type);
        if (bytes && !bytes->isEmpty())
            return bytes;
    }
    const QList<DecodedImagePtr> images = pasteboard.imageObjects();
    if (!images.isEmpty() && images.first())
        return images.first()->tiffRepresentation();
    return std::nullopt;
}

} // namespace

DropLoadResult<QByteArray> loadImageData(const DropItemProvider &provider)
{
    DropDataAnswer answer = provider.loadDataRepresentation(DropItemType::image);
    if (answer.error)
        return *answer.error;
    if (answer.data)
        return std::move(*answer.data);
    return cannotDecode();
}

DropLoadResult<QString> loadText(const DropItemProvider &provider)
{
    DropItemAnswer answer = provider.loadItem(DropItemType::plainText);
    if (const DropLoadError *error = std::get_if<DropLoadError>(&answer))
        return *error;
    if (QString *string = std::get_if<QString>(&answer))
        return std::move(*string);
    if (const QByteArray *bytes = std::get_if<QByteArray>(&answer)) {
        if (std::optional<QString> text = strictUtf8(*bytes))
            return std::move(*text);
    }
    return cannotDecode();
}

DropLoadResult<QUrl> loadFileURL(const DropItemProvider &provider)
{
    DropItemAnswer answer = provider.loadItem(DropItemType::fileURL);
    if (const DropLoadError *error = std::get_if<DropLoadError>(&answer))
        return *error;
    if (QUrl *url = std::get_if<QUrl>(&answer))
        return std::move(*url);
    if (const QByteArray *bytes = std::get_if<QByteArray>(&answer)) {
        // The URL the bytes spell, taken as written: relative stays relative.
        const QUrl url = QUrl::fromEncoded(*bytes, QUrl::StrictMode);
        if (!bytes->isEmpty() && url.isValid())
            return url;
    }
    return cannotDecode();
}

std::optional<PasteboardCapture> droppedFileCapture(const QUrl &url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    if (isImageFileURL(url)) {
        std::optional<QByteArray> bytes = readRegularFile(url);
        if (bytes && bytes->size() > minimumImageBytes)
            return PasteboardCapture::image(std::move(*bytes));
    }
    if (isTextFileURL(url)) {
        const std::optional<ClipText> text = readUtf8File(url);
        if (!text)
            return std::nullopt;
        ClipText trimmed = text->trimmed();
        if (!trimmed.isEmpty())
            return PasteboardCapture::text(std::move(trimmed));
    }
    return std::nullopt;
}

PasteboardCaptures droppedCaptures(const DropItemProviders &providers)
{
    PasteboardCaptures captures;
    for (const DropItemProviderPtr &provider : providers) {
        if (!provider)
            continue;
        if (std::optional<PasteboardCapture> capture = captureFrom(*provider))
            captures.append(std::move(*capture));
    }
    return captures;
}

void loadDroppedCaptures(const DropItemProviders &providers, const DropCapturesCallback &deliver)
{
    const PasteboardCaptures captures = droppedCaptures(providers);
    if (!captures.isEmpty() && deliver)
        deliver(captures);
}

DropItemProviders dropItemProviders(const QMimeData &data)
{
    const MimeDataPasteboard pasteboard = MimeDataPasteboard::borrowing(data);
    const QStringList types = pasteboard.types();

    DropItemProviders providers;
    auto own = std::make_shared<CopiedDropItem>();
    own->hasImage = data.hasFormat(qtImageFormat) || std::any_of(types.begin(), types.end(), isImageFormat);
    if (own->hasImage)
        own->image = dragImageBytes(pasteboard, types);
    own->text = pasteboard.stringForType(PasteboardType::plainText);
    if (own->hasImage || own->text)
        providers.append(own);

    for (const QUrl &url : pasteboard.fileURLs()) {
        auto file = std::make_shared<CopiedDropItem>();
        file->file = url;
        providers.append(file);
    }
    return providers;
}

bool isAcceptedDrop(const QMimeData &data)
{
    const QStringList formats = data.formats();
    return std::any_of(formats.begin(), formats.end(), [](const QString &format) {
        const QString base = format.section(u';', 0, 0).trimmed();
        return base.compare(PasteboardType::plainText, Qt::CaseInsensitive) == 0 ||
               base.compare(PasteboardType::uriList, Qt::CaseInsensitive) == 0 || format == qtImageFormat ||
               isImageFormat(base);
    });
}

} // namespace tarno
