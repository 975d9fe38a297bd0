#include "tests/support/TestData.h"

#include <QBuffer>
#include <QImage>

namespace tarno {

void PrintTo(const ClipText &text, std::ostream *os)
{
    *os << '"' << text.utf8().left(200).toStdString() << (text.byteSize() > 200 ? "..." : "") << '"';
    if (text.isShortened())
        *os << " (shortened)";
}

void PrintTo(const PasteboardCapture &capture, std::ostream *os)
{
    if (capture.isText()) {
        *os << "text(";
        PrintTo(capture.textValue(), os);
        *os << ")";
    } else
        *os << "image(" << capture.imageBytes().size()
            << " bytes: " << capture.imageBytes().left(16).toStdString() << ")";
}

QByteArray encodeImage(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray patternedPng(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6 % 256, y * 8 % 256, (x * y) % 256));
    }
    return encodeImage(image);
}

} // namespace tarno
