#include "platform/qt/QtDecodedImage.h"

#include <QBuffer>
#include <QImageWriter>

namespace tarno {

std::optional<QByteArray> QtDecodedImage::tiffRepresentation() const
{
    if (m_image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(m_image))
        return std::nullopt;
    return bytes;
}

QImage QtDecodedImage::toQImage(const DecodedImage &image)
{
    if (const auto *qtImage = dynamic_cast<const QtDecodedImage *>(&image))
        return qtImage->image();
    const std::optional<QByteArray> tiff = image.tiffRepresentation();
    return tiff ? QImage::fromData(*tiff) : QImage();
}

} // namespace tarno
