#pragma once

#include "model/ClipText.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarno {

class ImageCodec;

enum class ClipboardItemKind
{
    text,
    image
};

// Which clips the list shows; cases in display order.
enum class ClipboardFilter
{
    all,
    text,
    screenshots
};

// How long clips are kept; cases in display order.
enum class HistoryRetentionPolicy
{
    daily,
    weekly,
    keepForever
};

// Raw values are the identifiers and the persisted form. Building from a raw value matches it
// exactly (case-sensitive, untrimmed); anything else yields nothing and the caller picks a fallback.
QString rawValue(ClipboardItemKind kind);
QString rawValue(ClipboardFilter filter);
QString rawValue(HistoryRetentionPolicy policy);
std::optional<ClipboardItemKind> clipboardItemKindFromRawValue(const QString &raw);
std::optional<ClipboardFilter> clipboardFilterFromRawValue(const QString &raw);
std::optional<HistoryRetentionPolicy> historyRetentionPolicyFromRawValue(const QString &raw);

QList<ClipboardFilter> allClipboardFilters();
QList<HistoryRetentionPolicy> allHistoryRetentionPolicies();

// Seconds a clip may age under the policy; nothing for keepForever.
std::optional<double> maxAge(HistoryRetentionPolicy policy);

// Whether a clip of that kind passes the filter; screenshots means every image clip.
bool matches(ClipboardFilter filter, ClipboardItemKind kind);

// One clip. A plain value, identified and compared by `id` alone. Creators keep the invariant that a
// text clip has `text` and no `imageData`, and an image clip the reverse.
struct ClipboardItem
{
    QUuid id;
    ClipboardItemKind kind = ClipboardItemKind::text;
    QDateTime createdAt;
    std::optional<ClipText> text;
    std::optional<QByteArray> imageData;

    static ClipboardItem makeText(ClipText text, QDateTime createdAt);
    static ClipboardItem makeImage(QByteArray imageData, QDateTime createdAt);

    friend bool operator==(const ClipboardItem &a, const ClipboardItem &b) { return a.id == b.id; }

    // The most characters of its text a row's preview holds: far more than its few lines show.
    static constexpr qsizetype previewLength = 2000;
    // The text a text row shows: outer white space removed, or "Empty clip"; at most
    // `previewLength` characters of the text's start.
    QString previewText() const;
    // Width over height of the image, or 16/9 when there is no decodable image of positive height.
    double imageAspectRatio(const ImageCodec &codec) const;
    // The same from a size already read: 16/9 for none or a non-positive height.
    static double aspectRatioOf(const std::optional<QSize> &size);
};

// A fresh random (version 4) identifier.
QUuid makeClipId();

// The same image as PNG bytes, always the encoder's output (PNG input is re-encoded too), or
// nothing when the bytes are no image. Stateless; safe on any thread.
std::optional<QByteArray> pngData(const ImageCodec &codec, const QByteArray &bytes);

// `pngData`, or the bytes as they came when they do not convert.
QByteArray pngDataOrOriginal(const ImageCodec &codec, const QByteArray &bytes);

// What a text row says under its preview when only the start of a longer text was kept, or empty.
QString shortenedNote(const ClipboardItem &item);

// Removes leading and trailing white space and line breaks of every Unicode kind.
QString trimmedText(const QString &text);

} // namespace tarno
