#include "platform/qt/QtImageCodec.h"

#include "platform/qt/LargeBuffer.h"
#include "platform/qt/PngWriter.h"
#include "platform/qt/QtDecodedImage.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <libheif/heif.h>
#include <spng.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tarno {

namespace {

enum class Format
{
    png,
    jpeg,
    gif,
    bmp,
    tiff,
    webp,
    ico,
    icns,
    heif
};

const uchar *bytes(const QByteArray &data)
{
    return reinterpret_cast<const uchar *>(data.constData());
}

bool hasPrefix(const QByteArray &data, qsizetype offset, const char *prefix, qsizetype length)
{
    return data.size() >= offset + length && std::memcmp(data.constData() + offset, prefix, length) == 0;
}

// libheif keeps process-wide plugin tables; it is initialised once and kept for the life of the
// process, since decodes may still run on background threads while statics are torn down.
void ensureHeifInitialised()
{
    static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
    Q_UNUSED(initialised);
}

bool isHeif(const QByteArray &data)
{
    if (data.size() < 12)
        return false;
    ensureHeifInitialised();
    const int length = int(std::min<qsizetype>(data.size(), 64));
    // "Maybe" is what libheif says of the generic "mif1" brand that ".heif" files carry; reading
    // the container settles it.
    const heif_filetype_result result = heif_check_filetype(bytes(data), length);
    return result == heif_filetype_yes_supported || result == heif_filetype_maybe;
}

std::optional<Format> sniff(const QByteArray &data)
{
    if (hasPrefix(data, 0, "\x89PNG\r\n\x1a\n", 8))
        return Format::png;
    if (hasPrefix(data, 0, "\xff\xd8\xff", 3))
        return Format::jpeg;
    if (hasPrefix(data, 0, "GIF87a", 6) || hasPrefix(data, 0, "GIF89a", 6))
        return Format::gif;
    if (hasPrefix(data, 0, "BM", 2) && data.size() >= 26)
        return Format::bmp;
    if (hasPrefix(data, 0, "II*\0", 4) || hasPrefix(data, 0, "MM\0*", 4) || hasPrefix(data, 0, "II+\0", 4) ||
        hasPrefix(data, 0, "MM\0+", 4))
        return Format::tiff;
    if (hasPrefix(data, 0, "RIFF", 4) && hasPrefix(data, 8, "WEBP", 4))
        return Format::webp;
    if (hasPrefix(data, 0, "\0\0\1\0", 4) && data.size() >= 6)
        return Format::ico;
    if (hasPrefix(data, 0, "icns", 4))
        return Format::icns;
    if (isHeif(data))
        return Format::heif;
    return std::nullopt;
}

const char *qtFormatName(Format format)
{
    switch (format) {
    case Format::png:
        return "png";
    case Format::jpeg:
        return "jpeg";
    case Format::gif:
        return "gif";
    case Format::bmp:
        return "bmp";
    case Format::tiff:
        return "tiff";
    case Format::webp:
        return "webp";
    case Format::ico:
        return "ico";
    case Format::icns:
        return "icns";
    case Format::heif:
        break;
    }
    return nullptr;
}

// Formats whose header alone tells the size once the data is known to be complete; the rest are
// decoded to be measured.
bool sizeFromHeader(Format format)
{
    switch (format) {
    case Format::png:
    case Format::jpeg:
    case Format::bmp:
    case Format::webp:
    case Format::heif:
        return true;
    case Format::gif:
    case Format::tiff:
    case Format::ico:
    case Format::icns:
        return false;
    }
    return false;
}

bool withinBounds(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= QtImageCodec::maxImageSide &&
           size.height() <= QtImageCodec::maxImageSide &&
           qint64(size.width()) * size.height() <= QtImageCodec::maxImagePixels;
}

// Every chunk fits in the data, the first is IHDR and the last IEND.
bool pngIsComplete(const QByteArray &data)
{
    const uchar *p = bytes(data);
    const qsizetype n = data.size();
    qsizetype pos = 8;
    bool first = true;
    while (pos + 12 <= n) {
        const quint32 length = qFromBigEndian<quint32>(p + pos);
        if (length > 0x7fffffffu)
            return false;
        const char *type = data.constData() + pos + 4;
        if (first && (std::memcmp(type, "IHDR", 4) != 0 || length != 13))
            return false;
        first = false;
        const qsizetype end = pos + 12 + qsizetype(length);
        if (end > n)
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;
        pos = end;
    }
    return false;
}

// The segments up to the first scan fit in the data, and an end-of-image marker follows that scan.
// Entropy-coded data never holds 0xFF 0xD9, so the marker after the scan is the true end.
bool jpegIsComplete(const QByteArray &data)
{
    const uchar *p = bytes(data);
    const qsizetype n = data.size();
    qsizetype pos = 2;
    while (true) {
        if (pos + 2 > n || p[pos] != 0xff)
            return false;
        while (pos + 1 < n && p[pos + 1] == 0xff) // fill bytes
            ++pos;
        if (pos + 2 > n)
            return false;
        const uchar marker = p[pos + 1];
        if (marker == 0xda)
            break;
        if (marker == 0xd9)
            return false;
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            pos += 2;
            continue;
        }
        if (pos + 4 > n)
            return false;
        const quint16 length = qFromBigEndian<quint16>(p + pos + 2);
        if (length < 2)
            return false;
        pos += 2 + length;
    }
    return data.lastIndexOf(QByteArrayView("\xff\xd9", 2)) > pos;
}

// The pixel array that the header describes lies within the data.
bool bmpIsComplete(const QByteArray &data)
{
    const uchar *p = bytes(data);
    const qsizetype n = data.size();
    const quint32 pixelOffset = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bitsPerPixel = 0;
    quint32 compression = 0;
    quint32 imageSize = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bitsPerPixel = qFromLittleEndian<quint16>(p + 24);
    } else if (headerSize >= 40 && n >= 14 + 40) {
        width = qFromLittleEndian<qint32>(p + 18);
        height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22)));
        bitsPerPixel = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
        imageSize = qFromLittleEndian<quint32>(p + 34);
    } else {
        return false;
    }
    if (pixelOffset > quint64(n))
        return false;
    // Uncompressed rows (plain or bit fields) have a fixed size; compressed ones state theirs.
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed)
        return quint64(pixelOffset) + imageSize <= quint64(n);
    if (width <= 0 || width > QtImageCodec::maxImageSide || height > QtImageCodec::maxImageSide ||
        bitsPerPixel == 0 || bitsPerPixel > 64)
        return false;
    const quint64 stride = (quint64(width) * bitsPerPixel + 31) / 32 * 4;
    return quint64(pixelOffset) + stride * quint64(height) <= quint64(n);
}

// The RIFF chunk is as long as it says.
bool webpIsComplete(const QByteArray &data)
{
    if (data.size() < 12)
        return false;
    return 8 + quint64(qFromLittleEndian<quint32>(bytes(data) + 4)) <= quint64(data.size());
}

bool isComplete(Format format, const QByteArray &data)
{
    switch (format) {
    case Format::png:
        return pngIsComplete(data);
    case Format::jpeg:
        return jpegIsComplete(data);
    case Format::bmp:
        return bmpIsComplete(data);
    case Format::webp:
        return webpIsComplete(data);
    case Format::gif:
    case Format::tiff:
    case Format::ico:
    case Format::icns:
    case Format::heif: // libheif checks every extent when it reads the container
        return true;
    }
    return false;
}

// --- Qt image I/O

struct QtReader
{
    QBuffer buffer;
    std::unique_ptr<QImageReader> reader;

    QtReader(const QByteArray &data, Format format)
    {
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        reader = std::make_unique<QImageReader>(&buffer, QByteArray(qtFormatName(format)));
        reader->setAutoDetectImageFormat(false);
        reader->setAllocationLimit(QtImageCodec::allocationLimitMiB);
        reader->setAutoTransform(true);
    }

    // The declared size after the orientation is applied, or an invalid size when the header
    // does not tell.
    QSize declaredSize() const
    {
        QSize size = reader->size();
        if (size.isValid() && (reader->transformation() & QImageIOHandler::TransformationRotate90))
            size.transpose();
        return size;
    }
};

// Qt's GIF reader paints the frames on a canvas the size of the logical screen in the file's header,
// a side of it that is zero taken from the size the reader declares. A file of a few bytes can
// make it huge, and the declared size alone does not tell.
QSize gifCanvasSize(const QByteArray &data, QSize declared)
{
    if (data.size() < 10)
        return declared;
    const int width = qFromLittleEndian<quint16>(bytes(data) + 6);
    const int height = qFromLittleEndian<quint16>(bytes(data) + 8);
    return QSize(width > 0 ? width : declared.width(), height > 0 ? height : declared.height());
}

QImage qtDecode(const QByteArray &data, Format format)
{
    QtReader reader(data, format);
    const QSize declared = reader.declaredSize();
    if (declared.isValid() && !withinBounds(declared))
        return {};
    if (format == Format::gif) {
        const QSize canvas = gifCanvasSize(data, declared);
        if (canvas.isValid() && !withinBounds(canvas))
            return {};
    }
    if (declared.isEmpty() && sizeFromHeader(format))
        return {};
    QImage image = reader.reader->read();
    if (image.isNull() || !withinBounds(image.size()))
        return {};
    return image;
}

// --- libspng

struct SpngDeleter
{
    void operator()(spng_ctx *context) const { spng_ctx_free(context); }
};

// The common PNG, 8 bits a channel of RGB or RGB with alpha and nothing that makes Qt's reader
// change its pixels or give it a colour space (a transparent colour, a profile, a gamma, primaries,
// interlacing), decoded by libspng straight into rows in PNG's byte order, which the PNG writer then
// takes as they are: well over twice as fast as Qt's reader on a screenshot. Nothing for any other
// PNG, which Qt's reader takes; a null image for one that cannot be decoded.
std::optional<QImage> spngDecode(const QByteArray &data)
{
    const std::unique_ptr<spng_ctx, SpngDeleter> context(spng_ctx_new(0));
    if (!context || spng_set_png_buffer(context.get(), data.constData(), size_t(data.size())) != 0)
        return std::nullopt;
    spng_set_image_limits(context.get(), QtImageCodec::maxImageSide, QtImageCodec::maxImageSide);
    spng_ihdr header{};
    if (spng_get_ihdr(context.get(), &header) != 0)
        return std::nullopt;
    const bool alpha = header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (header.bit_depth != 8 || (!alpha && header.color_type != SPNG_COLOR_TYPE_TRUECOLOR) ||
        header.interlace_method != SPNG_INTERLACE_NONE)
        return std::nullopt;
    spng_trns trns;
    spng_iccp iccp;
    double gamma = 0;
    spng_chrm chrm;
    // Each answers 0 when the PNG has the chunk.
    if (spng_get_trns(context.get(), &trns) == 0 || spng_get_iccp(context.get(), &iccp) == 0 ||
        spng_get_gama(context.get(), &gamma) == 0 || spng_get_chrm(context.get(), &chrm) == 0)
        return std::nullopt;
    const QSize size(int(header.width), int(header.height));
    if (!withinBounds(size))
        return QImage();
    // Rows of whole 32-bit words, as Qt lays out an image of its own, in a buffer that takes pages
    // of its own when the picture is big enough for their faults to cost more than its decode.
    const qsizetype rowBytes = qsizetype(size.width()) * (alpha ? 4 : 3);
    const qsizetype stride = (rowBytes + 3) / 4 * 4;
    auto pixels = std::make_unique<LargeBuffer>(size_t(stride) * size_t(size.height()));
    if (!*pixels)
        return QImage();
    QImage image(
        pixels->get(), size.width(), size.height(), stride,
        alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void *buffer) { delete static_cast<LargeBuffer *>(buffer); }, pixels.get());
    // A null image never calls its clean-up, so the buffer is handed over only to one that is not.
    if (image.isNull())
        return QImage();
    pixels.release();
    const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    if (spng_decode_image(context.get(), nullptr, 0, format, SPNG_DECODE_PROGRESSIVE) != 0)
        return QImage();
    int status = 0;
    spng_row_info row{};
    while (status == 0 && spng_get_row_info(context.get(), &row) == 0)
        status = spng_decode_row(context.get(), image.scanLine(int(row.row_num)), size_t(rowBytes));
    if (status != SPNG_EOI)
        return QImage();
    return image;
}

// --- libheif

struct HeifContextDeleter
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HeifHandleDeleter
{
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter
{
    void operator()(const heif_image *image) const { heif_image_release(image); }
};
struct HeifOptionsDeleter
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};

using HeifContext = std::unique_ptr<heif_context, HeifContextDeleter>;
using HeifHandle = std::unique_ptr<const heif_image_handle, HeifHandleDeleter>;
using HeifImage = std::unique_ptr<const heif_image, HeifImageDeleter>;
using HeifOptions = std::unique_ptr<heif_decoding_options, HeifOptionsDeleter>;

// The primary image of the container. `data` must outlive the returned handle, which reads from it
// without copying.
struct HeifPrimary
{
    HeifContext context;
    HeifHandle handle;

    explicit operator bool() const { return bool(handle); }
    // The displayed size: libheif reports it after rotation and crop.
    QSize size() const
    {
        return QSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
    }
};

HeifPrimary openHeif(const QByteArray &data)
{
    ensureHeifInitialised();
    HeifContext context(heif_context_alloc());
    if (!context)
        return {};
    heif_context_set_maximum_image_size_limit(context.get(), QtImageCodec::maxImageSide);
    if (heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()),
                                                   nullptr)
            .code != heif_error_Ok)
        return {};
    heif_image_handle *handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        return {};
    return HeifPrimary{std::move(context), HeifHandle(handle)};
}

QImage heifDecode(const QByteArray &data)
{
    const HeifPrimary primary = openHeif(data);
    if (!primary || !withinBounds(primary.size()))
        return {};
    const bool hasAlpha = heif_image_handle_has_alpha_channel(primary.handle.get());
    const bool premultiplied = hasAlpha && heif_image_handle_is_premultiplied_alpha(primary.handle.get());

    HeifOptions options(heif_decoding_options_alloc());
    if (!options)
        return {};
    options->convert_hdr_to_8bit = 1; // 10-bit captures come out as 8 bits a channel
    heif_image *decoded = nullptr;
    if (heif_decode_image(primary.handle.get(), &decoded, heif_colorspace_RGB,
                          hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          options.get())
            .code != heif_error_Ok)
        return {};
    const HeifImage image(decoded);

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!plane || !withinBounds(QSize(width, height)))
        return {};
    const QImage::Format format = !hasAlpha       ? QImage::Format_RGB888
                                  : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                  : QImage::Format_RGBA8888;
    QImage result(width, height, format);
    if (result.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(width) * (hasAlpha ? 4 : 3);
    if (stride < rowBytes)
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(result.scanLine(y), plane + qsizetype(y) * stride, size_t(rowBytes));
    return result;
}

QImage decode(const QByteArray &data)
{
    const std::optional<Format> format = sniff(data);
    if (!format || !isComplete(*format, data))
        return {};
    if (*format == Format::heif)
        return heifDecode(data);
    if (*format == Format::png) {
        if (std::optional<QImage> image = spngDecode(data))
            return *image;
    }
    return qtDecode(data, *format);
}

DecodedImagePtr decodedImage(const QByteArray &data)
{
    QImage image = decode(data);
    if (image.isNull())
        return nullptr;
    return std::make_shared<QtDecodedImage>(std::move(image));
}

} // namespace

DecodedImagePtr QtImageCodec::imageFromData(const QByteArray &data) const
{
    return decodedImage(data);
}

DecodedImagePtr QtImageCodec::bitmapFromData(const QByteArray &data) const
{
    // Every format this codec reads is a bitmap format, so both share the decoder.
    return decodedImage(data);
}

std::optional<QByteArray> QtImageCodec::pngRepresentation(const DecodedImage &image) const
{
    const auto *qtImage = dynamic_cast<const QtDecodedImage *>(&image);
    if (!qtImage)
        return std::nullopt;
    return writePng(qtImage->image());
}

std::optional<QSize> QtImageCodec::sizeFromData(const QByteArray &data) const
{
    const std::optional<Format> format = sniff(data);
    if (!format || !isComplete(*format, data))
        return std::nullopt;
    if (!sizeFromHeader(*format)) {
        const QImage image = qtDecode(data, *format);
        return image.isNull() ? std::nullopt : std::optional<QSize>(image.size());
    }
    QSize size;
    if (*format == Format::heif) {
        const HeifPrimary primary = openHeif(data);
        if (!primary)
            return std::nullopt;
        size = primary.size();
    } else {
        size = QtReader(data, *format).declaredSize();
    }
    if (!withinBounds(size))
        return std::nullopt;
    return size;
}

} // namespace tarno
