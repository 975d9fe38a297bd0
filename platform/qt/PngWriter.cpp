#include "platform/qt/PngWriter.h"

#include "platform/qt/LargeBuffer.h"

#include <QColorSpace>
#include <QImage>
#include <QtEndian>

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tarno {

namespace {

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *compressor) const { libdeflate_free_compressor(compressor); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

enum ColourType : uchar
{
    grey = 0,
    rgb = 2,
    rgba = 6
};

// What a row of the image becomes before filtering, and how.
struct Layout
{
    QImage image; // in one of the formats `packRow` reads
    ColourType colour;
    int depth; // bits a channel
    int channels;
    bool direct = false; // the image's rows are already in PNG's byte order
};

bool isWide(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Formats with more than 8 bits a channel keep 16; the rest become 8-bit RGB, RGB with alpha or
// grey. Premultiplied pixels are divided out, since PNG stores straight alpha.
Layout layoutOf(const QImage &image)
{
    const QImage::Format format = image.format();
    if (format == QImage::Format_Grayscale8)
        return {image, grey, 8, 1};
    if (format == QImage::Format_Grayscale16)
        return {image, grey, 16, 1};
    if (format == QImage::Format_RGB888)
        return {image, rgb, 8, 3, true};
    if (format == QImage::Format_RGBA8888)
        return {image, rgba, 8, 4, true};
    const bool alpha = image.hasAlphaChannel();
    if (isWide(format)) {
        const QImage::Format target = alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
        return {format == target ? image : image.convertToFormat(target), alpha ? rgba : rgb, 16,
                alpha ? 4 : 3};
    }
    const QImage::Format target = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    return {format == target ? image : image.convertToFormat(target), alpha ? rgba : rgb, 8, alpha ? 4 : 3};
}

// One row in PNG's byte order: channels R, G, B(, A) or grey, 16-bit samples big-endian.
void packRow(const Layout &layout, int y, uchar *out)
{
    const int width = layout.image.width();
    const uchar *line = layout.image.constScanLine(y);
    if (layout.colour == grey) {
        if (layout.depth == 8) {
            std::memcpy(out, line, size_t(width));
        } else {
            qToBigEndian<quint16>(line, width, out);
        }
        return;
    }
    if (layout.depth == 16) {
        // RGBA64 and RGBX64 hold R, G, B, A as native 16-bit words.
        const auto *in = reinterpret_cast<const quint16 *>(line);
        if (layout.channels == 4) {
            qToBigEndian<quint16>(in, qsizetype(width) * 4, out);
            return;
        }
        for (int x = 0; x < width; ++x, in += 4, out += 6) {
            qToUnaligned(qToBigEndian(in[0]), out);
            qToUnaligned(qToBigEndian(in[1]), out + 2);
            qToUnaligned(qToBigEndian(in[2]), out + 4);
        }
        return;
    }
    const auto *in = reinterpret_cast<const QRgb *>(line);
    if (layout.channels == 4) {
        for (int x = 0; x < width; ++x, out += 4) {
            const QRgb p = in[x];
            out[0] = uchar(qRed(p));
            out[1] = uchar(qGreen(p));
            out[2] = uchar(qBlue(p));
            out[3] = uchar(qAlpha(p));
        }
    } else {
        for (int x = 0; x < width; ++x, out += 3) {
            const QRgb p = in[x];
            out[0] = uchar(qRed(p));
            out[1] = uchar(qGreen(p));
            out[2] = uchar(qBlue(p));
        }
    }
}

uchar paethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uchar(a);
    return uchar(pb <= pc ? b : c);
}

// Filters `row` (with `previous`, zeros for the first row) into `out`, after its filter type byte.
// `bpp` is the bytes of one pixel.
void filterRow(PngFilter filter, const uchar *row, const uchar *previous, qsizetype length, int bpp,
               uchar *out)
{
    switch (filter) {
    case PngFilter::none:
        out[0] = 0;
        std::memcpy(out + 1, row, size_t(length));
        return;
    case PngFilter::sub:
        out[0] = 1;
        for (qsizetype i = 0; i < bpp && i < length; ++i)
            out[1 + i] = row[i];
        for (qsizetype i = bpp; i < length; ++i)
            out[1 + i] = uchar(row[i] - row[i - bpp]);
        return;
    case PngFilter::up:
        out[0] = 2;
        for (qsizetype i = 0; i < length; ++i)
            out[1 + i] = uchar(row[i] - previous[i]);
        return;
    case PngFilter::paeth:
        out[0] = 4;
        for (qsizetype i = 0; i < bpp && i < length; ++i)
            out[1 + i] = uchar(row[i] - previous[i]);
        for (qsizetype i = bpp; i < length; ++i)
            out[1 + i] = uchar(row[i] - paethPredictor(row[i - bpp], previous[i], previous[i - bpp]));
        return;
    case PngFilter::adaptive:
        break;
    }
}

// The sum of the filtered bytes read as signed, libpng's guess at which filter compresses best.
quint64 cost(const uchar *filtered, qsizetype length)
{
    quint64 sum = 0;
    for (qsizetype i = 0; i < length; ++i)
        sum += quint64(std::abs(int(qint8(filtered[i]))));
    return sum;
}

void filterRowAdaptive(const uchar *row, const uchar *previous, qsizetype length, int bpp, uchar *out,
                       std::vector<uchar> &scratch)
{
    scratch.resize(size_t(length) + 1);
    quint64 best = ~quint64(0);
    for (const PngFilter filter : {PngFilter::none, PngFilter::sub, PngFilter::up, PngFilter::paeth}) {
        filterRow(filter, row, previous, length, bpp, scratch.data());
        const quint64 c = cost(scratch.data() + 1, length);
        if (c < best) {
            best = c;
            std::memcpy(out, scratch.data(), size_t(length) + 1);
        }
    }
}

void appendChunk(QByteArray &png, const char type[4], const char *data, qsizetype length)
{
    const qsizetype start = png.size();
    png.resize(start + 12 + length);
    uchar *p = reinterpret_cast<uchar *>(png.data()) + start;
    qToBigEndian(quint32(length), p);
    std::memcpy(p + 4, type, 4);
    if (length > 0)
        std::memcpy(p + 8, data, size_t(length));
    qToBigEndian(quint32(libdeflate_crc32(0, p + 4, size_t(length) + 4)), p + 8 + length);
}

// The profile as an iCCP chunk's body: a name, compression method 0 and the zlib stream.
std::optional<QByteArray> iccChunkBody(const QByteArray &profile, libdeflate_compressor *compressor)
{
    QByteArray body("ICC Profile\0\0", 13);
    const qsizetype start = body.size();
    body.resize(start + qsizetype(libdeflate_zlib_compress_bound(compressor, size_t(profile.size()))));
    const size_t written = libdeflate_zlib_compress(compressor, profile.constData(), size_t(profile.size()),
                                                    body.data() + start, size_t(body.size() - start));
    if (written == 0)
        return std::nullopt;
    body.resize(start + qsizetype(written));
    return body;
}

} // namespace

std::optional<QByteArray> writePng(const QImage &source, PngWriteOptions options)
{
    if (source.isNull())
        return std::nullopt;
    const Layout layout = layoutOf(source);
    if (layout.image.isNull())
        return std::nullopt;
    const int width = layout.image.width();
    const int height = layout.image.height();
    const int bpp = layout.channels * layout.depth / 8;
    const qsizetype rowLength = qsizetype(width) * bpp;

    // Every row packed and filtered into one buffer, compressed in one call: libdeflate has no
    // streaming interface, and one call is what makes it fast.
    const qsizetype filteredSize = (rowLength + 1) * height;
    const LargeBuffer filtered{size_t(filteredSize)};
    if (!filtered)
        return std::nullopt;
    std::vector<uchar> rows(size_t(rowLength) * 2, 0);
    std::vector<uchar> scratch;
    uchar *previous = rows.data();
    uchar *current = rows.data() + rowLength;
    const uchar *above = previous;
    for (int y = 0; y < height; ++y) {
        const uchar *row = current;
        if (layout.direct)
            row = layout.image.constScanLine(y);
        else
            packRow(layout, y, current);
        uchar *out = filtered.get() + qsizetype(y) * (rowLength + 1);
        if (options.filter == PngFilter::adaptive)
            filterRowAdaptive(row, above, rowLength, bpp, out, scratch);
        else
            filterRow(options.filter, row, above, rowLength, bpp, out);
        if (!layout.direct)
            std::swap(previous, current);
        above = layout.direct ? row : previous;
    }

    const Compressor compressor(libdeflate_alloc_compressor(options.level));
    if (!compressor)
        return std::nullopt;

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    uchar header[13];
    qToBigEndian(quint32(width), header);
    qToBigEndian(quint32(height), header + 4);
    header[8] = uchar(layout.depth);
    header[9] = layout.colour;
    header[10] = header[11] = header[12] = 0; // deflate, adaptive filtering, no interlace
    appendChunk(png, "IHDR", reinterpret_cast<const char *>(header), 13);

    const QColorSpace colourSpace = source.colorSpace();
    if (colourSpace.isValid() && colourSpace != QColorSpace(QColorSpace::SRgb)) {
        const std::optional<QByteArray> icc = iccChunkBody(colourSpace.iccProfile(), compressor.get());
        if (icc && icc->size() > 13)
            appendChunk(png, "iCCP", icc->constData(), icc->size());
    }

    // The compressed stream goes straight into the IDAT chunk's place.
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size_t(filteredSize));
    if (bound > 0x7fffffffu)
        return std::nullopt;
    const qsizetype idat = png.size();
    png.resize(idat + 12 + qsizetype(bound));
    uchar *p = reinterpret_cast<uchar *>(png.data()) + idat;
    const size_t compressed =
        libdeflate_zlib_compress(compressor.get(), filtered.get(), size_t(filteredSize), p + 8, bound);
    if (compressed == 0)
        return std::nullopt;
    qToBigEndian(quint32(compressed), p);
    std::memcpy(p + 4, "IDAT", 4);
    qToBigEndian(quint32(libdeflate_crc32(0, p + 4, compressed + 4)), p + 8 + compressed);
    png.resize(idat + 12 + qsizetype(compressed));

    appendChunk(png, "IEND", nullptr, 0);
    // The buffer was sized for incompressible rows; a clip keeps only what the PNG needs.
    png.squeeze();
    return png;
}

} // namespace tarno
