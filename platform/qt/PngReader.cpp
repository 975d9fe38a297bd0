#include "platform/qt/PngReader.h"

#include <QColorSpace>
#include <QtEndian>

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tarno {

namespace {

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *decompressor) const
    {
        libdeflate_free_decompressor(decompressor);
    }
};

bool isType(const uchar *type, const char *name)
{
    return std::memcmp(type, name, 4) == 0;
}

// Ancillary chunks that change nothing Qt's reader would make of the pixels.
bool isHarmless(const uchar *type)
{
    return isType(type, "tIME") || isType(type, "tEXt") || isType(type, "zTXt") || isType(type, "iTXt");
}

uchar paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uchar(a);
    return uchar(pb <= pc ? b : c);
}

// Undoes the row's filter in place; `previous` is the row above, already unfiltered (zeros for the
// first row).
bool unfilter(uchar type, uchar *row, const uchar *previous, qsizetype length, int bpp)
{
    switch (type) {
    case 0:
        return true;
    case 1:
        for (qsizetype i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (qsizetype i = 0; i < length; ++i)
            row[i] = uchar(row[i] + previous[i]);
        return true;
    case 3:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + (previous[i] >> 1));
        for (qsizetype i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + ((row[i - bpp] + previous[i]) >> 1));
        return true;
    case 4:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + previous[i]);
        for (qsizetype i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + paeth(row[i - bpp], previous[i], previous[i - bpp]));
        return true;
    default:
        return false;
    }
}

void unpackRow(const uchar *row, int width, int channels, uchar *out)
{
    if (channels == 1) {
        std::memcpy(out, row, size_t(width));
        return;
    }
    auto *pixels = reinterpret_cast<QRgb *>(out);
    if (channels == 3) {
        for (int x = 0; x < width; ++x, row += 3)
            pixels[x] = qRgb(row[0], row[1], row[2]);
    } else {
        for (int x = 0; x < width; ++x, row += 4)
            pixels[x] = qRgba(row[0], row[1], row[2], row[3]);
    }
}

} // namespace

std::optional<QImage> readPng(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qsizetype n = data.size();
    if (n < 8 + 25 || !isType(p + 12, "IHDR") || qFromBigEndian<quint32>(p + 8) != 13)
        return std::nullopt;
    const uchar *header = p + 16;
    const int width = int(qFromBigEndian<quint32>(header));
    const int height = int(qFromBigEndian<quint32>(header + 4));
    const int depth = header[8];
    const int colourType = header[9];
    if (width <= 0 || height <= 0 || depth != 8 || header[10] != 0 || header[11] != 0 || header[12] != 0)
        return std::nullopt;
    const int channels = colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 6 ? 4 : 0;
    if (channels == 0)
        return std::nullopt;

    // The compressed stream: the one IDAT chunk where the data has one, else the chunks joined.
    QByteArray joined;
    const uchar *stream = nullptr;
    qsizetype streamLength = 0;
    int idatChunks = 0;
    bool sRgb = false;
    std::optional<std::pair<int, int>> dotsPerMeter;
    for (qsizetype pos = 8; pos + 12 <= n;) {
        const qsizetype length = qFromBigEndian<quint32>(p + pos);
        const uchar *type = p + pos + 4;
        const uchar *body = p + pos + 8;
        if (length > n - pos - 12)
            return std::nullopt;
        if (isType(type, "IEND"))
            break;
        if (isType(type, "IDAT")) {
            if (qFromBigEndian<quint32>(body + length) != libdeflate_crc32(0, type, size_t(length) + 4))
                return std::nullopt;
            if (++idatChunks == 1) {
                stream = body;
                streamLength = length;
            } else {
                if (idatChunks == 2)
                    joined = QByteArray(reinterpret_cast<const char *>(stream), streamLength);
                joined.append(reinterpret_cast<const char *>(body), length);
            }
        } else if (idatChunks > 0) {
            return std::nullopt; // anything after the image data is left to the general decoder
        } else if (isType(type, "sRGB") && length == 1) {
            sRgb = true;
        } else if (isType(type, "pHYs") && length == 9) {
            if (body[8] == 1)
                dotsPerMeter = {int(qFromBigEndian<quint32>(body)), int(qFromBigEndian<quint32>(body + 4))};
        } else if (!isType(type, "IHDR") && !isHarmless(type)) {
            return std::nullopt;
        }
        pos += 12 + length;
    }
    if (idatChunks > 1) {
        stream = reinterpret_cast<const uchar *>(joined.constData());
        streamLength = joined.size();
    }
    if (!stream)
        return std::nullopt;

    const qsizetype rowLength = qsizetype(width) * channels;
    const qsizetype rawSize = (rowLength + 1) * height;
    const std::unique_ptr<uchar[]> raw(new (std::nothrow) uchar[size_t(rawSize)]);
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!raw || !decompressor)
        return std::nullopt;
    // Exactly the rows the header declares, no more and no less.
    if (libdeflate_zlib_decompress(decompressor.get(), stream, size_t(streamLength), raw.get(),
                                   size_t(rawSize), nullptr) != LIBDEFLATE_SUCCESS)
        return std::nullopt;

    QImage image(width, height,
                 channels == 1   ? QImage::Format_Grayscale8
                 : channels == 3 ? QImage::Format_RGB32
                                 : QImage::Format_ARGB32);
    if (image.isNull())
        return std::nullopt;
    const std::unique_ptr<uchar[]> zeros(new uchar[size_t(rowLength)]());
    const uchar *previous = zeros.get();
    for (int y = 0; y < height; ++y) {
        uchar *row = raw.get() + qsizetype(y) * (rowLength + 1);
        if (!unfilter(row[0], row + 1, previous, rowLength, channels))
            return std::nullopt;
        unpackRow(row + 1, width, channels, image.scanLine(y));
        previous = row + 1;
    }
    if (sRgb)
        image.setColorSpace(QColorSpace::SRgb);
    if (dotsPerMeter) {
        image.setDotsPerMeterX(dotsPerMeter->first);
        image.setDotsPerMeterY(dotsPerMeter->second);
    }
    return image;
}

} // namespace tarno
