#pragma once

#include <QImage>
#include <QString>

#include <memory>

class QMimeData;
class QQuickItem;

namespace tarno {

class ImageCodec;
struct ClipboardItem;
struct DragPayload;

// The name a text clip suggests when it is dropped as a file.
inline const QString textClipDragFileName = QStringLiteral("Tarno Clip.txt");

// The drag data of an image clip's payload, in the payload's order: each typed datum under its
// type (produced when a target asks), the image object as Qt's image, the file as "text/uri-list".
std::unique_ptr<QMimeData> mimeDataForDragPayload(const DragPayload &payload);

// The drag data of a text clip: its text, the empty string when it has none, as UTF-8 plain text.
// On X11 it also offers the text as a file named `textClipDragFileName` to file managers, by the
// direct-save convention ("XdndDirectSave0"): the file manager names the place, the drag writes it.
std::unique_ptr<QMimeData> textClipMimeData(const ClipboardItem &item);

// The direct-save type a drag offers on X11.
inline const QString directSaveType = QStringLiteral("XdndDirectSave0");

// Writes the UTF-8 text to the file that the direct-save target named by `uri`, atomically, and
// returns the convention's answer: "S" when written; "F" when the place is not a local file (the
// target may then take the text itself); "E" when writing failed.
QByteArray saveTextForDirectSave(const QByteArray &uri, const QByteArray &utf8);

// The drag data of any clip. An image clip's offers its PNG, the image and its PNG file in `tempDir`
// at once, and makes them on a worker thread from this call on: asking for any of them waits for that
// work, and a part that could not be made (no file written, no decodable image) answers nothing. The
// codec must outlive the data, whose destruction waits for work under way.
std::unique_ptr<QMimeData> clipDragMimeData(const ClipboardItem &item, const ImageCodec &codec,
                                            const QString &tempDir);

// Drags the clip out of the popover, from `source`, as a copy, with `thumbnail` (when not null) under
// the pointer; returns when the drag ends. Call it on the main thread while the pointer button that
// starts the drag is held.
void startClipDrag(const ClipboardItem &item, QQuickItem *source, const QImage &thumbnail = {});

} // namespace tarno
