#include "ui/ClipDrag.h"

#include "model/ClipExport.h"
#include "platform/api/Pasteboard.h"
#include "platform/qt/QtDecodedImage.h"
#include "platform/qt/QtImageCodec.h"

#include <QDrag>
#include <QImage>
#include <QMimeData>
#include <QPixmap>
#include <QQuickItem>

namespace tarno {

namespace {

const QString utf8PlainText = QStringLiteral("text/plain;charset=utf-8");

// Drag data whose typed bytes are produced only when a drop target asks for them; everything else
// is kept by QMimeData itself.
class PayloadMimeData : public QMimeData
{
public:
    void addLazy(DragData data)
    {
        if (!m_lazyTypes.contains(data.type)) {
            m_lazyTypes.append(data.type);
            m_lazy.append(std::move(data));
        }
    }

    QStringList formats() const override
    {
        QStringList formats = m_lazyTypes;
        for (const QString &format : QMimeData::formats()) {
            if (!formats.contains(format))
                formats.append(format);
        }
        return formats;
    }

    bool hasFormat(const QString &mimeType) const override
    {
        return m_lazyTypes.contains(mimeType) || QMimeData::hasFormat(mimeType);
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        for (const DragData &data : m_lazy) {
            if (data.type == mimeType)
                return data.load ? data.load() : QByteArray();
        }
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    QStringList m_lazyTypes;
    QList<DragData> m_lazy;
};

QImage qimageOf(const DecodedImage &image)
{
    if (const auto *qt = dynamic_cast<const QtDecodedImage *>(&image))
        return qt->image();
    const std::optional<QByteArray> tiff = image.tiffRepresentation();
    return tiff ? QImage::fromData(*tiff) : QImage();
}

// A small picture under the pointer while an image clip is dragged.
QPixmap dragPixmap(const QMimeData &data)
{
    const QImage image = qvariant_cast<QImage>(data.imageData());
    if (image.isNull())
        return {};
    constexpr int side = 128;
    return QPixmap::fromImage(image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

std::unique_ptr<QMimeData> mimeDataForDragPayload(const DragPayload &payload)
{
    auto data = std::make_unique<PayloadMimeData>();
    QList<QUrl> files;
    for (const DragRepresentation &representation : payload.representations) {
        if (const DragData *typed = std::get_if<DragData>(&representation)) {
            data->addLazy(*typed);
        } else if (const DecodedImagePtr *image = std::get_if<DecodedImagePtr>(&representation)) {
            if (*image && data->imageData().isNull()) {
                const QImage qimage = qimageOf(**image);
                if (!qimage.isNull())
                    data->setImageData(qimage);
            }
        } else if (const QUrl *url = std::get_if<QUrl>(&representation)) {
            files.append(*url);
        }
    }
    if (!files.isEmpty())
        data->setUrls(files);
    return data;
}

std::unique_ptr<QMimeData> textClipMimeData(const ClipboardItem &item)
{
    auto data = std::make_unique<QMimeData>();
    const QString text = item.text.value_or(QString());
    data->setText(text);
    data->setData(utf8PlainText, text.toUtf8());
    return data;
}

std::unique_ptr<QMimeData> clipDragMimeData(const ClipboardItem &item, const ImageCodec &codec,
                                            const QString &tempDir)
{
    switch (item.kind) {
    case ClipboardItemKind::text:
        return textClipMimeData(item);
    case ClipboardItemKind::image:
        return mimeDataForDragPayload(imageDragItemProvider(item, codec, tempDir));
    }
    return std::make_unique<QMimeData>();
}

void startClipDrag(const ClipboardItem &item, QQuickItem *source)
{
    if (!source)
        return;
    static const QtImageCodec codec;
    std::unique_ptr<QMimeData> data = clipDragMimeData(item, codec, defaultDragTemporaryDirectory());
    // Qt deletes the drag, and with it the data, once the drag is over.
    auto *drag = new QDrag(source);
    const QPixmap pixmap = dragPixmap(*data);
    if (!pixmap.isNull()) {
        drag->setPixmap(pixmap);
        drag->setHotSpot(QPoint(pixmap.width() / 2, pixmap.height() / 2));
    }
    drag->setMimeData(data.release());
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace tarno
