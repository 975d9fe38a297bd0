#pragma once

#include "model/ClipboardItem.h"
#include "platform/api/ImageCodec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <variant>

namespace tarno {

class Pasteboard;

// Taking clips back out: onto a pasteboard, or out of the popover by drag. Main thread. Every image
// leaves as the encoder's PNG, or as its bytes as stored when they do not convert.

// Replaces the pasteboard's content with the clip. The pasteboard is cleared in every case, so a
// clip without content leaves it empty. Text goes out as plain text only; an image as PNG bytes
// and, when those decode, also as an image object. Callers pause the clipboard monitor first.
void copyToPasteboard(const ClipboardItem &item, Pasteboard &pasteboard, const ImageCodec &codec);

// Bytes offered under a type, produced when a drop target asks for them. The loader may run on any
// thread; it only hands over bytes fixed when the payload was built.
struct DragData
{
    QString type;
    std::function<QByteArray()> load;
};

// One thing a drag offers: typed data, an image object, or a file.
using DragRepresentation = std::variant<DragData, DecodedImagePtr, QUrl>;

// What an image clip offers when dragged out, in the order a drop target should prefer it. The
// platform's drag code turns it into its own drag data.
struct DragPayload
{
    QList<DragRepresentation> representations;
    // The file's name, set only when the payload carries a file.
    std::optional<QString> suggestedName;
};

// The drag payload of an image clip: its PNG data, the image object when the data decodes, and
// the PNG file written by `dragTemporaryFile` in `tempDir` when that write succeeds. A clip without
// image data yields an empty payload. Writes the file before returning.
DragPayload imageDragItemProvider(const ClipboardItem &item, const ImageCodec &codec, const QString &tempDir);

// Writes the clip's PNG to "Tarno-<first 8 hex digits of the id, upper case>.png" in `tempDir`,
// atomically, readable by the user only, replacing an earlier file of that name; the same clip
// always maps to the same file. Returns the file, or nothing when the clip has no image data or
// the write fails. The files are left for the system to clear with its temporary directory.
std::optional<QUrl> dragTemporaryFile(const ClipboardItem &item, const ImageCodec &codec,
                                      const QString &tempDir);

// The file name `dragTemporaryFile` uses for a clip.
QString dragTemporaryFileName(const ClipboardItem &item);

// Where production drags put their files: the user's temporary directory.
QString defaultDragTemporaryDirectory();

} // namespace tarno
