#pragma once

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
std::unique_ptr<QMimeData> textClipMimeData(const ClipboardItem &item);

// The drag data of any clip. Image clips write their PNG file into `tempDir` before this returns.
std::unique_ptr<QMimeData> clipDragMimeData(const ClipboardItem &item, const ImageCodec &codec,
                                            const QString &tempDir);

// Drags the clip out of the popover, from `source`, as a copy; returns when the drag ends. Call it on
// the main thread while the pointer button that starts the drag is held.
void startClipDrag(const ClipboardItem &item, QQuickItem *source);

} // namespace tarno
