#include "model/ClipExport.h"

#include "platform/api/Pasteboard.h"

#include <QDir>
#include <QSaveFile>

namespace tarno {

namespace {

// Writes the clip's already converted PNG; see dragTemporaryFile.
std::optional<QUrl> writeDragTemporaryFile(const ClipboardItem &item, const QByteArray &png,
                                           const QString &tempDir)
{
    const QString path = QDir(tempDir).absoluteFilePath(dragTemporaryFileName(item));

    // The side file is restricted before any byte reaches it: the temporary directory is usually
    // shared with every other user of the machine.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return std::nullopt;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(png) != png.size()) {
        file.cancelWriting();
        return std::nullopt;
    }
    if (!file.commit())
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

} // namespace

void copyToPasteboard(const ClipboardItem &item, Pasteboard &pasteboard, const ImageCodec &codec)
{
    pasteboard.clearContents();
    switch (item.kind) {
    case ClipboardItemKind::text:
        if (item.text)
            pasteboard.setUtf8String(item.text->utf8(), PasteboardType::plainText);
        return;
    case ClipboardItemKind::image: {
        if (!item.imageData)
            return;
        const QByteArray png = pngDataOrOriginal(codec, *item.imageData);
        pasteboard.setData(png, PasteboardType::png);
        if (const DecodedImagePtr image = codec.imageFromData(png))
            pasteboard.writeImage(image);
        return;
    }
    }
}

DragPayload imageDragItemProvider(const ClipboardItem &item, const ImageCodec &codec, const QString &tempDir)
{
    DragPayload payload;
    if (!item.imageData)
        return payload;
    // Converted once for the data and the file alike: the drag starts on the main thread, and a
    // screenshot's conversion takes a noticeable part of a second.
    const QByteArray png = pngDataOrOriginal(codec, *item.imageData);
    payload.representations.append(DragData{PasteboardType::png, [png] { return png; }});
    if (const DecodedImagePtr image = codec.imageFromData(png))
        payload.representations.append(image);
    if (const std::optional<QUrl> file = writeDragTemporaryFile(item, png, tempDir)) {
        payload.representations.append(*file);
        payload.suggestedName = file->fileName();
    }
    return payload;
}

QString dragTemporaryFileName(const ClipboardItem &item)
{
    const QString id = item.id.toString(QUuid::WithoutBraces).toUpper();
    return QStringLiteral("Tarno-") + id.left(8) + QStringLiteral(".png");
}

std::optional<QUrl> dragTemporaryFile(const ClipboardItem &item, const ImageCodec &codec,
                                      const QString &tempDir)
{
    if (!item.imageData)
        return std::nullopt;
    return writeDragTemporaryFile(item, pngDataOrOriginal(codec, *item.imageData), tempDir);
}

QString defaultDragTemporaryDirectory()
{
    return QDir::tempPath();
}

} // namespace tarno
