#pragma once

#include "platform/api/ImageCodec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

namespace tarno {

// Type identifiers, as freedesktop MIME types.
namespace PasteboardType {
inline const QString plainText = QStringLiteral("text/plain");
inline const QString png = QStringLiteral("image/png");
inline const QString tiff = QStringLiteral("image/tiff");
inline const QString uriList = QStringLiteral("text/uri-list");
// Set by password managers on what they copy; "secret" marks a clip never to keep.
inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
} // namespace PasteboardType

// One item of a pasteboard.
class PasteboardItem
{
public:
    virtual ~PasteboardItem() = default;
    // The item's type identifiers, in the item's order.
    virtual QStringList types() const = 0;
    // The item's bytes for a type, or nothing.
    virtual std::optional<QByteArray> dataForType(const QString &type) const = 0;
};

using PasteboardItemPtr = std::shared_ptr<const PasteboardItem>;

// The read side of a pasteboard: the general clipboard's current content or a drag's data.
// Every call is made on the main thread.
class PasteboardReader
{
public:
    virtual ~PasteboardReader() = default;

    // The items in pasteboard order; empty when there are none.
    virtual QList<PasteboardItemPtr> items() const = 0;
    // The pasteboard's type identifiers; empty when there are none.
    virtual QStringList types() const = 0;
    // The bytes of the first item offering the type, or nothing.
    virtual std::optional<QByteArray> dataForType(const QString &type) const = 0;
    // The plain text of the first item offering the type, or nothing.
    virtual std::optional<QString> stringForType(const QString &type) const = 0;
    // The same text as UTF-8 and always valid UTF-8: how a large text is read without a copy
    // twice its size.
    virtual std::optional<QByteArray> utf8StringForType(const QString &type) const
    {
        const std::optional<QString> text = stringForType(type);
        return text ? std::optional<QByteArray>(text->toUtf8()) : std::nullopt;
    }
    // Image objects on the pasteboard, first one first; empty when there are none.
    virtual QList<DecodedImagePtr> imageObjects() const = 0;
    // The file URLs on the pasteboard, in order; never anything but local files.
    virtual QList<QUrl> fileURLs() const = 0;
    // String objects on the pasteboard; empty when there are none.
    virtual QStringList stringObjects() const = 0;
};

// The general pasteboard: its content, a change count, and writes.
class Pasteboard : public PasteboardReader
{
public:
    // Moves with every change of the content, by anyone; only ever compared for equality.
    virtual qint64 changeCount() const = 0;
    // Whether every move of the change count is announced through the platform's change cue, so
    // that nobody needs to poll it; false where the platform has no change events.
    virtual bool announcesChanges() const { return false; }

    // Empties the pasteboard; the change count moves.
    virtual void clearContents() = 0;
    // Offers the text under the type (plain text, with the usual text targets).
    virtual void setString(const QString &text, const QString &type) = 0;
    // The same for text already in UTF-8.
    virtual void setUtf8String(const QByteArray &utf8, const QString &type)
    {
        setString(QString::fromUtf8(utf8), type);
    }
    // Offers the bytes under the type.
    virtual void setData(const QByteArray &data, const QString &type) = 0;
    // Offers the image in every representation the platform has for it.
    virtual void writeImage(const DecodedImagePtr &image) = 0;

    // Whether the program that put the content here has gone, so that nobody serves it any more
    // although reads still answer it. Only platforms where the content lives in its owner have such
    // a state.
    virtual bool isOrphaned() const { return false; }
    // Serves orphaned content from here on, as it is: the change count stays.
    virtual void adoptOrphanedContent() {}
};

} // namespace tarno
