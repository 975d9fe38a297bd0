#include "tests/support/TestData.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

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

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read the file)");
}

QString writeProgram(const QString &path, const QByteArray &bytes)
{
    writeFile(path, bytes);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace tarno
