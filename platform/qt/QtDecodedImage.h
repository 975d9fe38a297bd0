#pragma once

#include "platform/api/ImageCodec.h"

#include <QImage>

namespace tarno {

// A decoded image held as a QImage: what the Qt codec decodes to, and how a clipboard's or a drag's
// own image reaches the logic.
class QtDecodedImage : public DecodedImage
{
public:
    explicit QtDecodedImage(QImage image) : m_image(std::move(image)) {}

    QSize size() const override { return m_image.size(); }
    std::optional<QByteArray> tiffRepresentation() const override;

    const QImage &image() const { return m_image; }
    // Any decoded image as a QImage: its own when it is one of these, else decoded from its TIFF;
    // null when it has neither.
    static QImage toQImage(const DecodedImage &image);

private:
    QImage m_image;
};

} // namespace tarno
