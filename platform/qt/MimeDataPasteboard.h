#pragma once

#include "platform/api/Pasteboard.h"

#include <memory>

class QMimeData;

namespace tarno {

// The read side of a pasteboard over one QMimeData: the clipboard's finished snapshot, or the data
// of a drag while its event lasts.
//
// The data appears as one item holding every format in the data's own order, except Qt's internal
// image format, which is offered as the image object instead. Plain text may arrive as "text/plain"
// or with a charset ("text/plain;charset=utf-8"); it is decoded by that charset, UTF-8 when none is
// given. File URLs come from "text/uri-list" alone: local file entries only, percent-decoded.
//
// File managers add the paths of the files they offer as plain text. When the plain text only
// repeats the offered files (one path or file URI per line, in any order), it is not offered at all,
// so a dropped or copied file is read as that file and never as the text of its path.
//
// What the data holds is read once, when the reader is made; byte payloads and the image are read
// on demand. Main thread, like every pasteboard read.
class MimeDataPasteboard : public PasteboardReader
{
public:
    // Shares ownership of data that no longer changes, such as the clipboard's snapshot.
    explicit MimeDataPasteboard(std::shared_ptr<const QMimeData> data);
    // Reads data owned elsewhere, such as a drop event's; the data must outlive the reader and the
    // items it hands out.
    static MimeDataPasteboard borrowing(const QMimeData &data);

    QList<PasteboardItemPtr> items() const override;
    QStringList types() const override;
    std::optional<QByteArray> dataForType(const QString &type) const override;
    std::optional<QString> stringForType(const QString &type) const override;
    std::optional<QByteArray> utf8StringForType(const QString &type) const override;
    QList<DecodedImagePtr> imageObjects() const override;
    QList<QUrl> fileURLs() const override;
    QStringList stringObjects() const override;

private:
    std::optional<QString> offeredType(const QString &type) const;

    std::shared_ptr<const QMimeData> m_data;
    QStringList m_types;
    // The plain text as valid UTF-8, shared with the data when it came so.
    std::optional<QByteArray> m_text;
    QList<QUrl> m_fileURLs;
    bool m_hasImage = false;
};

} // namespace tarno
