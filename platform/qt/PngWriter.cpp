#include "platform/qt/PngWriter.h"

#include <QColorSpace>
#include <QImage>
#include <QtEndian>

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tarno {

namespace {

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

quint32 crc32(const uchar *data, size_t length)
{
    return crc32_gzip_refl(0, data, length); // PNG's CRC is gzip's
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
    qToBigEndian(crc32(p + 4, size_t(length) + 4), p + 8 + length);
}

// A zlib stream fed in pieces and written to the end of a byte array, which grows as it needs:
// the rows are compressed as they are filtered, so no second copy of the whole picture is made.
class ZlibWriter
{
public:
    ZlibWriter(QByteArray &out, int level) : m_out(out), m_start(out.size())
    {
        isal_deflate_init(m_stream.get());
        m_stream->level = uint32_t(level);
        m_stream->gzip_flag = IGZIP_ZLIB;
        static constexpr uint32_t levelBuffer[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT,
                                                   ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
        if (level >= 0 && level <= ISAL_DEF_MAX_LEVEL) {
            m_levelBuffer.resize(levelBuffer[level]);
            m_stream->level_buf = m_levelBuffer.data();
            m_stream->level_buf_size = uint32_t(m_levelBuffer.size());
        }
    }

    // False when the level is not one of ISA-L's or the stream would pass PNG's 2 GiB chunk.
    bool write(const uchar *data, size_t length, bool last)
    {
        isal_zstream &s = *m_stream;
        s.next_in = const_cast<uchar *>(data);
        s.avail_in = uint32_t(length);
        s.end_of_stream = last ? 1 : 0;
        for (;;) {
            if (s.avail_out == 0 && !grow())
                return false;
            if (isal_deflate(&s) != COMP_OK)
                return false;
            if (s.avail_in == 0 && (!last || s.internal_state.state == ZSTATE_END))
                return true;
        }
    }

    // The stream's length, once the last piece is written; the array is cut to it.
    qsizetype finish()
    {
        m_out.resize(m_start + qsizetype(m_stream->total_out));
        return qsizetype(m_stream->total_out);
    }

private:
    // Room for at least as much again as is written, so that growing costs no more than linear.
    bool grow()
    {
        static constexpr qsizetype limit = 0x7fffffff;
        const qsizetype written = qsizetype(m_stream->total_out);
        const qsizetype more = std::min(
            std::max<qsizetype>({written, qsizetype(m_stream->avail_in / 4), 64 * 1024}), limit - written);
        if (more <= 0)
            return false;
        m_out.resize(m_start + written + more);
        m_stream->next_out = reinterpret_cast<uchar *>(m_out.data()) + m_start + written;
        m_stream->avail_out = uint32_t(more);
        return true;
    }

    QByteArray &m_out;
    const qsizetype m_start;
    // Its history buffers make it too large for a worker thread's stack.
    const std::unique_ptr<isal_zstream> m_stream = std::make_unique<isal_zstream>();
    std::vector<uint8_t> m_levelBuffer;
};

// The profile as an iCCP chunk's body: a name, compression method 0 and the zlib stream.
std::optional<QByteArray> iccChunkBody(const QByteArray &profile, int level)
{
    QByteArray body("ICC Profile\0\0", 13);
    ZlibWriter zlib(body, level);
    if (!zlib.write(reinterpret_cast<const uchar *>(profile.constData()), size_t(profile.size()), true))
        return std::nullopt;
    zlib.finish();
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
        const std::optional<QByteArray> icc = iccChunkBody(colourSpace.iccProfile(), options.level);
        if (!icc)
            return std::nullopt;
        if (icc->size() > 13)
            appendChunk(png, "iCCP", icc->constData(), icc->size());
    }

    // The IDAT chunk's length and type, then its stream, compressed straight into place.
    const qsizetype idat = png.size();
    png.resize(idat + 8);
    ZlibWriter zlib(png, options.level);

    // Rows are filtered a batch at a time, a batch small enough to stay in the cache.
    const int batchRows = int(std::clamp<qsizetype>(256 * 1024 / (rowLength + 1), 1, height));
    std::vector<uchar> batch(size_t(rowLength + 1) * size_t(batchRows));
    std::vector<uchar> rows(size_t(rowLength) * 2, 0);
    std::vector<uchar> scratch;
    uchar *previous = rows.data();
    uchar *current = rows.data() + rowLength;
    const uchar *above = previous;
    for (int y = 0; y < height;) {
        const int count = std::min(batchRows, height - y);
        for (int i = 0; i < count; ++i, ++y) {
            const uchar *row = current;
            if (layout.direct)
                row = layout.image.constScanLine(y);
            else
                packRow(layout, y, current);
            uchar *out = batch.data() + qsizetype(i) * (rowLength + 1);
            if (options.filter == PngFilter::adaptive)
                filterRowAdaptive(row, above, rowLength, bpp, out, scratch);
            else
                filterRow(options.filter, row, above, rowLength, bpp, out);
            if (!layout.direct)
                std::swap(previous, current);
            above = layout.direct ? row : previous;
        }
        if (!zlib.write(batch.data(), size_t(rowLength + 1) * size_t(count), y == height))
            return std::nullopt;
    }
    const qsizetype compressed = zlib.finish();
    png.resize(idat + 12 + compressed);
    uchar *p = reinterpret_cast<uchar *>(png.data()) + idat;
    qToBigEndian(quint32(compressed), p);
    std::memcpy(p + 4, "IDAT", 4);
    qToBigEndian(crc32(p + 4, size_t(compressed) + 4), p + 8 + compressed);

    appendChunk(png, "IEND", nullptr, 0);
    // The array grew in steps ahead of the stream; a clip keeps only what the PNG needs.
    png.squeeze();
    return png;
}

} // namespace tarno
