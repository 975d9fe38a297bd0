#include "model/ClipboardItem.h"

#include "platform/api/ImageCodec.h"

#include <algorithm>

namespace tarno {

namespace {
constexpr double fallbackAspectRatio = 16.0 / 9.0;
}

QString rawValue(ClipboardItemKind kind)
{
    switch (kind) {
    case ClipboardItemKind::text:
        return QStringLiteral("text");
    case ClipboardItemKind::image:
        return QStringLiteral("image");
    }
    return {};
}

QString rawValue(ClipboardFilter filter)
{
    switch (filter) {
    case ClipboardFilter::all:
        return QStringLiteral("all");
    case ClipboardFilter::text:
        return QStringLiteral("text");
    case ClipboardFilter::screenshots:
        return QStringLiteral("screenshots");
    }
    return {};
}

QString rawValue(HistoryRetentionPolicy policy)
{
    switch (policy) {
    case HistoryRetentionPolicy::daily:
        return QStringLiteral("daily");
    case HistoryRetentionPolicy::weekly:
        return QStringLiteral("weekly");
    case HistoryRetentionPolicy::keepForever:
        return QStringLiteral("keepForever");
    }
    return {};
}

namespace {
template <typename Enum> std::optional<Enum> fromRaw(const QString &raw, const QList<Enum> &cases)
{
    for (Enum value : cases) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}
} // namespace

std::optional<ClipboardItemKind> clipboardItemKindFromRawValue(const QString &raw)
{
    return fromRaw(raw, QList{ClipboardItemKind::text, ClipboardItemKind::image});
}

std::optional<ClipboardFilter> clipboardFilterFromRawValue(const QString &raw)
{
    return fromRaw(raw, allClipboardFilters());
}

std::optional<HistoryRetentionPolicy> historyRetentionPolicyFromRawValue(const QString &raw)
{
    return fromRaw(raw, allHistoryRetentionPolicies());
}

QList<ClipboardFilter> allClipboardFilters()
{
    return {ClipboardFilter::all, ClipboardFilter::text, ClipboardFilter::screenshots};
}

QList<HistoryRetentionPolicy> allHistoryRetentionPolicies()
{
    return {HistoryRetentionPolicy::daily, HistoryRetentionPolicy::weekly,
            HistoryRetentionPolicy::keepForever};
}

std::optional<double> maxAge(HistoryRetentionPolicy policy)
{
    switch (policy) {
    case HistoryRetentionPolicy::daily:
        return 86'400.0;
    case HistoryRetentionPolicy::weekly:
        return 604'800.0;
    case HistoryRetentionPolicy::keepForever:
        return std::nullopt;
    }
    return std::nullopt;
}

bool matches(ClipboardFilter filter, ClipboardItemKind kind)
{
    switch (filter) {
    case ClipboardFilter::all:
        return true;
    case ClipboardFilter::text:
        return kind == ClipboardItemKind::text;
    case ClipboardFilter::screenshots:
        return kind == ClipboardItemKind::image;
    }
    return false;
}

QUuid makeClipId()
{
    return QUuid::createUuid();
}

ClipboardItem ClipboardItem::makeText(ClipText text, QDateTime createdAt)
{
    return ClipboardItem{makeClipId(), ClipboardItemKind::text, std::move(createdAt), std::move(text),
                         std::nullopt};
}

ClipboardItem ClipboardItem::makeImage(QByteArray imageData, QDateTime createdAt)
{
    return ClipboardItem{makeClipId(), ClipboardItemKind::image, std::move(createdAt), std::nullopt,
                         std::move(imageData)};
}

QString trimmedText(const QString &text)
{
    // QString::trimmed() covers every character with the Unicode White_Space property
    // (spaces, tabs, line and paragraph separators, CR, LF, NEL, no-break spaces).
    return text.trimmed();
}

QString ClipboardItem::previewText() const
{
    // A row shows a few lines: only a bounded start is decoded and laid out, however large the clip.
    const QString trimmed = text ? text->leadingText(previewLength).trimmed() : QString();
    return trimmed.isEmpty() ? QStringLiteral("Empty clip") : trimmed;
}

QString shortenedNote(const ClipboardItem &item)
{
    if (!item.text || !item.text->isShortened())
        return {};
    return QStringLiteral("Only the first %1 MB were kept").arg(ClipText::maxBytes / (1024 * 1024));
}

double ClipboardItem::imageAspectRatio(const ImageCodec &codec) const
{
    return imageData ? aspectRatioOf(codec.sizeFromData(*imageData)) : fallbackAspectRatio;
}

double ClipboardItem::aspectRatioOf(const std::optional<QSize> &size)
{
    if (!size || size->height() <= 0)
        return fallbackAspectRatio;
    return double(size->width()) / double(size->height());
}

std::optional<QByteArray> pngData(const ImageCodec &codec, const QByteArray &bytes)
{
    if (const DecodedImagePtr bitmap = codec.bitmapFromData(bytes)) {
        if (std::optional<QByteArray> png = codec.pngRepresentation(*bitmap))
            return png;
    }
    const DecodedImagePtr image = codec.imageFromData(bytes);
    if (!image)
        return std::nullopt;
    const std::optional<QByteArray> tiff = image->tiffRepresentation();
    if (!tiff)
        return std::nullopt;
    const DecodedImagePtr bitmap = codec.bitmapFromData(*tiff);
    if (!bitmap)
        return std::nullopt;
    return codec.pngRepresentation(*bitmap);
}

QByteArray pngDataOrOriginal(const ImageCodec &codec, const QByteArray &bytes)
{
    return pngData(codec, bytes).value_or(bytes);
}

} // namespace tarno
