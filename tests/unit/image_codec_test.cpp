#include "model/ClipboardItem.h"
#include "platform/qt/PngWriter.h"
#include "platform/qt/QtDecodedImage.h"
#include "platform/qt/QtImageCodec.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>

#include <libheif/heif.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <thread>

using namespace tarno;

namespace {

constexpr double fallbackRatio = 16.0 / 9.0;

// Four flat quadrants, so a decode that swaps channels, flips or rotates shows at the corners.
const QColor topLeft(220, 30, 30);
const QColor topRight(30, 200, 30);
const QColor bottomLeft(30, 30, 220);
const QColor bottomRight(240, 240, 240);

QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    painter.fillRect(0, 0, w, h, topLeft);
    painter.fillRect(w, 0, size.width() - w, h, topRight);
    painter.fillRect(0, h, w, size.height() - h, bottomLeft);
    painter.fillRect(w, h, size.width() - w, size.height() - h, bottomRight);
    return image;
}

bool near(QColor actual, QColor expected, int tolerance = 40)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance;
}

// Samples well inside each quadrant, away from lossy codecs' edge ringing.
std::array<QColor, 4> corners(const QImage &image)
{
    const int x0 = image.width() / 8, x1 = image.width() - 1 - image.width() / 8;
    const int y0 = image.height() / 8, y1 = image.height() - 1 - image.height() / 8;
    return {image.pixelColor(x0, y0), image.pixelColor(x1, y0), image.pixelColor(x0, y1),
            image.pixelColor(x1, y1)};
}

QByteArray qtEncode(const QImage &image, const char *format,
                    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone,
                    int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setTransformation(transformation);
    writer.setQuality(quality);
    if (!writer.write(image))
        ADD_FAILURE() << "cannot write fixture " << format << ": " << writer.errorString().toStdString();
    return bytes;
}

heif_error appendTo(heif_context *, const void *data, size_t size, void *target)
{
    static_cast<QByteArray *>(target)->append(static_cast<const char *>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// HEVC in a HEIF container, through libheif's own encoder. With `mif1`, the major brand is the
// generic HEIF one that ".heif" files carry, instead of "heic".
QByteArray heifEncode(const QImage &source, heif_orientation orientation = heif_orientation_normal,
                      bool mif1 = false)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image *image = nullptr;
    heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    heif_encoding_options *options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    heif_error error = heif_context_encode_image(context, image, encoder, options, nullptr);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    QByteArray bytes;
    heif_writer writer{1, appendTo};
    if (error.code == heif_error_Ok)
        error = heif_context_write(context, &writer, &bytes);
    heif_context_free(context);
    if (error.code != heif_error_Ok)
        ADD_FAILURE() << "cannot write HEIF fixture: " << error.message;
    if (mif1 && bytes.mid(8, 4) == "heic")
        bytes.replace(8, 4, "mif1");
    return bytes;
}

// A 3 x 2 GIF with a black and white palette: rows "0 1 0" and "1 0 1", LZW codes of 3 bits with a
// clear code every two pixels so the code width never grows.
QByteArray gif3x2()
{
    static const char bytes[] = "GIF89a\x03\x00\x02\x00\x80\x00\x00"
                                "\x00\x00\x00\xff\xff\xff"
                                "\x2c\x00\x00\x00\x00\x03\x00\x02\x00\x00"
                                "\x02\x04\x44\x88\x10\x29\x00"
                                "\x3b";
    return QByteArray(bytes, sizeof(bytes) - 1);
}

// An EXIF block saying "rotate 90 degrees clockwise to display" (orientation 6), put right after SOI.
QByteArray withExifOrientation(QByteArray jpeg, quint16 orientation)
{
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);                   // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, count 1
    tiff += char(orientation >> 8) + QByteArray(1, char(orientation & 0xff)) + QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next directory
    QByteArray segment = QByteArray("Exif\0\0", 6) + tiff;
    const quint16 length = quint16(segment.size() + 2);
    segment.prepend(QByteArray(1, char(length & 0xff)));
    segment.prepend(QByteArray(1, char(length >> 8)));
    segment.prepend("\xff\xe1");
    jpeg.insert(2, segment);
    return jpeg;
}

template <typename T, bool big = false> QByteArray endian(T value)
{
    QByteArray bytes(sizeof(T), '\0');
    big ? qToBigEndian(value, bytes.data()) : qToLittleEndian(value, bytes.data());
    return bytes;
}
constexpr auto be32 = endian<quint32, true>;
constexpr auto le32 = endian<quint32>;
constexpr auto le16 = endian<quint16>;

QByteArray pngChunk(const QByteArray &type, const QByteArray &payload)
{
    const QByteArray typed = type + payload;
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()));
    return be32(quint32(payload.size())) + typed + be32(quint32(crc));
}

// A structurally whole PNG (valid CRCs, IEND) whose IHDR declares any size over a few bytes of
// compressed zeros: what a decompression bomb looks like.
QByteArray pngDeclaring(quint32 width, quint32 height)
{
    const QByteArray ihdr = be32(width) + be32(height) + QByteArray("\x08\x02\0\0\0", 5);
    const QByteArray idat = qCompress(QByteArray(4096, '\0')).mid(4); // drop Qt's length prefix
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) +
           pngChunk("IEND", {});
}

// A complete BMP with run-length-encoded 8-bit pixels (two bytes: end of bitmap) declaring any size.
QByteArray rleBmpDeclaring(qint32 width, qint32 height)
{
    const QByteArray palette("\0\0\0\0\xff\xff\xff\0", 8);
    const QByteArray pixels("\0\x01", 2);
    const quint32 offset = 14 + 40 + quint32(palette.size());
    QByteArray info = le32(40) + le32(quint32(width)) + le32(quint32(height)) + le16(1) + le16(8) + le32(1) +
                      le32(quint32(pixels.size())) + le32(0) + le32(0) + le32(2) + le32(0);
    return "BM" + le32(offset + quint32(pixels.size())) + le32(0) + le32(offset) + info + palette + pixels;
}

// An uncompressed 24-bit BMP declaring any size, with the pixel rows that size needs (at most `cap`
// bytes of them).
QByteArray rgbBmpDeclaring(qint32 width, qint32 height, qint64 cap = 1 << 20)
{
    const qint64 stride = (qint64(width) * 24 + 31) / 32 * 4;
    const QByteArray pixels(qsizetype(std::min(stride * height, cap)), '\x7f');
    QByteArray info = le32(40) + le32(quint32(width)) + le32(quint32(height)) + le16(1) + le16(24) + le32(0) +
                      le32(quint32(pixels.size())) + le32(0) + le32(0) + le32(0) + le32(0);
    return "BM" + le32(54 + quint32(pixels.size())) + le32(0) + le32(54) + info + pixels;
}

QImage decodedQImage(const DecodedImagePtr &image)
{
    const auto *qtImage = dynamic_cast<const QtDecodedImage *>(image.get());
    return qtImage ? qtImage->image() : QImage();
}

// Fixtures are built once: the HEVC encoder is slow.
struct Fixtures
{
    QImage source = quadrants(QSize(200, 100));
    QByteArray png = qtEncode(source, "png");
    QByteArray jpeg = qtEncode(source, "jpeg");
    QByteArray tiff = qtEncode(source, "tiff");
    QByteArray webp = qtEncode(source, "webp");
    QByteArray bmp = qtEncode(source, "bmp");
    QByteArray ico = qtEncode(source, "ico");
    QByteArray icns = qtEncode(quadrants(QSize(64, 64)), "icns");
    QByteArray gif = gif3x2();
    QByteArray heic = heifEncode(source);
    QByteArray heif = heifEncode(source, heif_orientation_normal, true);

    static const Fixtures &get()
    {
        static const Fixtures fixtures;
        return fixtures;
    }
};

struct FormatCase
{
    const char *name;
    QByteArray Fixtures::*bytes;
    QSize size;
};

void PrintTo(const FormatCase &format, std::ostream *os)
{
    *os << format.name;
}

class EveryFormat : public ::testing::TestWithParam<FormatCase>
{
protected:
    QtImageCodec codec;
    const QByteArray &bytes() const { return Fixtures::get().*GetParam().bytes; }
};

TEST_P(EveryFormat, DecodesWithTheRightSizeAndPixels)
{
    ASSERT_FALSE(bytes().isEmpty());
    const QImage image = decodedQImage(codec.imageFromData(bytes()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), GetParam().size);
    EXPECT_EQ(decodedQImage(codec.bitmapFromData(bytes())).size(), GetParam().size);
    EXPECT_EQ(codec.sizeFromData(bytes()), std::optional<QSize>(GetParam().size));
    EXPECT_DOUBLE_EQ(ClipboardItem::makeImage(bytes(), QDateTime()).imageAspectRatio(codec),
                     double(GetParam().size.width()) / GetParam().size.height());

    if (std::strcmp(GetParam().name, "gif") == 0) {
        EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
        for (const QPoint at : {QPoint(1, 0), QPoint(0, 1), QPoint(2, 1)})
            EXPECT_EQ(image.pixelColor(at), QColor(Qt::white)) << at.x() << "," << at.y();
        return;
    }
    const std::array<QColor, 4> actual = corners(image);
    const std::array<QColor, 4> expected{topLeft, topRight, bottomLeft, bottomRight};
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(near(actual[i], expected[i]))
            << "corner " << i << " is " << actual[i].name().toStdString();
}

TEST_P(EveryFormat, ConvertsToPngOfTheSameImage)
{
    const std::optional<QByteArray> png = pngData(codec, bytes());
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG\r\n\x1a\n"));
    const QImage original =
        decodedQImage(codec.imageFromData(bytes())).convertToFormat(QImage::Format_ARGB32);
    const QImage converted = decodedQImage(codec.imageFromData(*png)).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(converted, original);
}

INSTANTIATE_TEST_SUITE_P(ImageCodec, EveryFormat,
                         ::testing::Values(FormatCase{"png", &Fixtures::png, {200, 100}},
                                           FormatCase{"jpeg", &Fixtures::jpeg, {200, 100}},
                                           FormatCase{"tiff", &Fixtures::tiff, {200, 100}},
                                           FormatCase{"webp", &Fixtures::webp, {200, 100}},
                                           FormatCase{"bmp", &Fixtures::bmp, {200, 100}},
                                           FormatCase{"ico", &Fixtures::ico, {200, 100}},
                                           FormatCase{"icns", &Fixtures::icns, {64, 64}},
                                           FormatCase{"gif", &Fixtures::gif, {3, 2}},
                                           FormatCase{"heic", &Fixtures::heic, {200, 100}},
                                           FormatCase{"heif", &Fixtures::heif, {200, 100}}),
                         [](const auto &info) { return std::string(info.param.name); });

// An image stored sideways with a "rotate clockwise" mark shows, and measures, upright.
TEST(ImageCodec, AppliesOrientationAlikeInHeaderAndDecode)
{
    const QtImageCodec codec;
    const QImage source = quadrants(QSize(200, 100));
    const std::pair<const char *, QByteArray> cases[] = {
        {"jpeg exif", withExifOrientation(qtEncode(source, "jpeg"), 6)},
        {"tiff", qtEncode(source, "tiff", QImageIOHandler::TransformationRotate90)},
        {"heif irot", heifEncode(source, heif_orientation_rotate_90_cw)},
    };
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        const QImage image = decodedQImage(codec.imageFromData(bytes));
        ASSERT_EQ(image.size(), QSize(100, 200));
        EXPECT_EQ(codec.sizeFromData(bytes), std::optional<QSize>(QSize(100, 200)));
        // Turned clockwise, the bottom-left quadrant comes to the top left.
        EXPECT_TRUE(near(corners(image)[0], bottomLeft)) << corners(image)[0].name().toStdString();
        EXPECT_TRUE(near(corners(image)[3], topRight)) << corners(image)[3].name().toStdString();
    }
}

TEST(ImageCodec, PngInputIsReencodedNotPassedThrough)
{
    const QtImageCodec codec;
    const QImage source = quadrants(QSize(200, 100));
    // Stored without compression: unlike what the codec writes.
    const QByteArray input = qtEncode(source, "png", QImageIOHandler::TransformationNone, 100);
    const std::optional<QByteArray> png = pngData(codec, input);
    ASSERT_TRUE(png);
    EXPECT_LT(png->size(), input.size());
    EXPECT_EQ(*png, codec.pngRepresentation(QtDecodedImage(source)));
    EXPECT_EQ(decodedQImage(codec.imageFromData(*png)).convertToFormat(QImage::Format_RGB32), source);
}

// Pixels that no filter predicts, so that every filter byte and both row edges are exercised.
QImage noise(QSize size, QImage::Format format, quint32 seed = 7)
{
    std::mt19937 random(seed);
    const bool wide = format == QImage::Format_RGBA64 || format == QImage::Format_RGBX64 ||
                      format == QImage::Format_Grayscale16;
    const QImage::Format raw = wide ? (format == QImage::Format_Grayscale16 ? format : QImage::Format_RGBA64)
                                    : (format == QImage::Format_Grayscale8 ? format : QImage::Format_ARGB32);
    QImage image(size, raw);
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (qsizetype i = 0; i < qsizetype(size.width()) * image.depth() / 8; ++i)
            line[i] = uchar(random() >> 7);
    }
    return image.convertToFormat(format);
}

QImage withColourSpace(QImage image, const QColorSpace &colourSpace)
{
    image.setColorSpace(colourSpace);
    return image;
}

struct PngCase
{
    const char *name;
    QImage source;
    QImage::Format readBackAs; // what Qt's reader makes of the PNG
};

// The PNG of every kind of bitmap reads back, through Qt's own reader, as the same pixels.
TEST(ImageCodec, PngReadsBackAsTheSamePixels)
{
    const QtImageCodec codec;
    QImage flatWithStripe = quadrants(QSize(333, 77));
    flatWithStripe.setPixelColor(332, 76, QColor(1, 2, 3));
    const PngCase cases[] = {
        {"rgb", flatWithStripe, QImage::Format_RGB32},
        {"rgb noise, odd size", noise({101, 37}, QImage::Format_RGB32), QImage::Format_RGB32},
        {"rgb888", noise({64, 9}, QImage::Format_RGB888), QImage::Format_RGB32},
        // Rows go to the deflate in batches and its output grows in steps: many of each, and rows
        // longer than a batch.
        {"noise of several batches", noise({700, 500}, QImage::Format_RGB888), QImage::Format_RGB32},
        {"rows longer than a batch", noise({90000, 3}, QImage::Format_RGB32), QImage::Format_RGB32},
        {"rgba8888", noise({63, 9}, QImage::Format_RGBA8888), QImage::Format_ARGB32},
        {"alpha, colour under zero alpha kept", noise({97, 31}, QImage::Format_ARGB32),
         QImage::Format_ARGB32},
        {"premultiplied alpha", noise({40, 20}, QImage::Format_ARGB32_Premultiplied), QImage::Format_ARGB32},
        {"grey", noise({33, 17}, QImage::Format_Grayscale8), QImage::Format_Grayscale8},
        {"grey 16-bit", noise({33, 17}, QImage::Format_Grayscale16), QImage::Format_Grayscale16},
        {"rgba 16-bit", noise({31, 13}, QImage::Format_RGBA64), QImage::Format_RGBA64},
        {"rgb 16-bit", noise({31, 13}, QImage::Format_RGBX64), QImage::Format_RGBX64},
        {"rgb 10-bit", noise({31, 13}, QImage::Format_RGB30), QImage::Format_RGBX64},
        {"indexed", quadrants(QSize(20, 10)).convertToFormat(QImage::Format_Indexed8), QImage::Format_RGB32},
        {"one pixel", noise({1, 1}, QImage::Format_ARGB32), QImage::Format_ARGB32},
        {"one column", noise({1, 50}, QImage::Format_RGB32), QImage::Format_RGB32},
        {"display p3", withColourSpace(noise({16, 16}, QImage::Format_RGB32), QColorSpace::DisplayP3),
         QImage::Format_RGB32},
    };
    for (const PngCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QByteArray> png = codec.pngRepresentation(QtDecodedImage(c.source));
        ASSERT_TRUE(png);
        EXPECT_LE(png->capacity(), png->size() + 64); // no room kept for rows that did not compress
        const QImage back = QImage::fromData(*png, "png");
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.format(), c.readBackAs);
        EXPECT_EQ(back, c.source.convertToFormat(c.readBackAs));
        if (c.source.colorSpace().isValid()) {
            EXPECT_EQ(back.colorSpace(), c.source.colorSpace());
        }
        // Each filter predicts from other neighbours; every one must undo to the same pixels.
        for (const PngFilter filter :
             {PngFilter::none, PngFilter::up, PngFilter::paeth, PngFilter::adaptive}) {
            SCOPED_TRACE(int(filter));
            const std::optional<QByteArray> filtered = writePng(c.source, {2, filter});
            ASSERT_TRUE(filtered);
            EXPECT_EQ(QImage::fromData(*filtered, "png"), c.source.convertToFormat(c.readBackAs));
        }
    }
    EXPECT_EQ(codec.pngRepresentation(QtDecodedImage(QImage())), std::nullopt);
}

// Every kind of PNG decodes to what Qt's own reader makes of it, in pixels and colour space: the
// common kind through the faster reader, the rest through Qt's. A damaged one decodes to nothing.
TEST(ImageCodec, PngDecodesAsQtReadsIt)
{
    const QtImageCodec codec;
    QImage sRgb = noise({45, 21}, QImage::Format_RGB32);
    sRgb.setColorSpace(QColorSpace::SRgb);
    const PngCase cases[] = {
        {"rgb", noise({101, 37}, QImage::Format_RGB32), QImage::Format_RGB32},
        {"alpha", noise({97, 31}, QImage::Format_ARGB32), QImage::Format_ARGB32},
        {"srgb", sRgb, QImage::Format_RGB32},
        {"display p3", withColourSpace(noise({16, 16}, QImage::Format_RGB32), QColorSpace::DisplayP3),
         QImage::Format_RGB32},
        {"grey", noise({33, 17}, QImage::Format_Grayscale8), QImage::Format_Grayscale8},
        {"rgba 16-bit", noise({31, 13}, QImage::Format_RGBA64), QImage::Format_RGBA64},
        {"indexed", quadrants(QSize(20, 10)).convertToFormat(QImage::Format_Indexed8), QImage::Format_RGB32},
    };
    for (const PngCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray png = qtEncode(c.source, "png", QImageIOHandler::TransformationNone, 50);
        const QImage expected = QImage::fromData(png, "png");
        const QImage decoded = decodedQImage(codec.bitmapFromData(png));
        ASSERT_FALSE(decoded.isNull());
        const QImage::Format common =
            expected.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        const bool wide = expected.depth() > 32;
        EXPECT_EQ(decoded.convertToFormat(wide ? expected.format() : common),
                  expected.convertToFormat(wide ? expected.format() : common));
        EXPECT_EQ(decoded.hasAlphaChannel(), expected.hasAlphaChannel());
        if (expected.colorSpace().isValid() && expected.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
            EXPECT_EQ(decoded.colorSpace(), expected.colorSpace());
        }
    }

    // A flipped bit in the picture's data: its checksum no longer matches.
    QByteArray damaged =
        qtEncode(noise({64, 64}, QImage::Format_RGB32), "png", QImageIOHandler::TransformationNone, 50);
    const qsizetype idat = damaged.indexOf("IDAT");
    ASSERT_GT(idat, 0);
    damaged[idat + 40] = char(damaged[idat + 40] ^ 0x10);
    EXPECT_EQ(codec.bitmapFromData(damaged), nullptr);
}

// The bounds leave room for the largest real screens: an image of exactly the pixel bound (more
// than an 8K screenshot) decodes.
TEST(ImageCodec, DecodesAnImageAtThePixelBound)
{
    const QtImageCodec codec;
    QImage source(8192, 8192, QImage::Format_RGB32);
    source.fill(QColor(40, 44, 52));
    // The last pixel of a picture this big is the far end of a buffer mapped for it alone.
    source.setPixel(8191, 8191, qRgb(200, 30, 10));
    const QByteArray png = qtEncode(source, "png");
    EXPECT_EQ(codec.sizeFromData(png), std::optional<QSize>(QSize(8192, 8192)));
    const QImage decoded = decodedQImage(codec.imageFromData(png));
    ASSERT_EQ(decoded.size(), QSize(8192, 8192));
    EXPECT_EQ(decoded.pixel(0, 0), qRgb(40, 44, 52));
    EXPECT_EQ(decoded.pixel(8191, 8191), qRgb(200, 30, 10));
    EXPECT_EQ(decoded.pixel(8190, 8191), qRgb(40, 44, 52));
}

struct BadInput
{
    const char *name;
    QByteArray bytes;
};

std::vector<BadInput> badInputs()
{
    const Fixtures &f = Fixtures::get();
    std::mt19937 random(1234);
    QByteArray noise(4096, '\0');
    for (char &c : noise)
        c = char(random());
    // A header a lenient decoder (WBMP) would take for a 16 x 8 image.
    const QByteArray wbmpLike = QByteArray("\0\0\x10\x08", 4) + QByteArray(16, '\x55');
    return {
        {"empty", {}},
        {"random bytes", noise},
        {"bytes of no listed format", wbmpLike},
        {"png magic only", f.png.left(8)},
        {"truncated png", f.png.left(f.png.size() / 2)},
        {"png without its last byte", f.png.chopped(1)},
        {"truncated jpeg", f.jpeg.left(f.jpeg.size() / 2)},
        {"jpeg without its end marker", f.jpeg.chopped(2)},
        {"truncated heic", f.heic.left(f.heic.size() / 2)},
        {"heic without its last bytes", f.heic.chopped(10)},
        {"truncated webp", f.webp.chopped(10)},
        {"truncated bmp", f.bmp.left(f.bmp.size() / 2)},
        {"truncated tiff", f.tiff.left(f.tiff.size() / 2)},
        {"truncated gif", f.gif.left(f.gif.size() - 6)},
        {"truncated ico", f.ico.left(f.ico.size() / 2)},
        {"png bomb", pngDeclaring(100000, 50000)},
        {"png one row over the pixel bound", pngDeclaring(8192, 8193)},
        {"png over the side bound", pngDeclaring(40000, 2)},
        {"rle bmp bomb", rleBmpDeclaring(100000, 50000)},
        {"rgb bmp bomb", rgbBmpDeclaring(100000, 50000)},
        {"zero-width png", pngDeclaring(0, 100)},
        {"zero-height png", pngDeclaring(200, 0)},
        {"zero-height bmp", rgbBmpDeclaring(200, 0)},
        {"zero-width bmp", rgbBmpDeclaring(0, 100)},
    };
}

TEST(ImageCodec, BadInputIsNoImage)
{
    const QtImageCodec codec;
    for (const BadInput &input : badInputs()) {
        SCOPED_TRACE(input.name);
        EXPECT_EQ(codec.imageFromData(input.bytes), nullptr);
        EXPECT_EQ(codec.bitmapFromData(input.bytes), nullptr);
        EXPECT_EQ(codec.sizeFromData(input.bytes), std::nullopt);
        EXPECT_EQ(pngData(codec, input.bytes), std::nullopt);
        EXPECT_DOUBLE_EQ(ClipboardItem::makeImage(input.bytes, QDateTime()).imageAspectRatio(codec),
                         fallbackRatio);
    }
}

// Under the sanitizer build this is where a shared decoder or encoder state would show.
TEST(ImageCodec, ServesSeveralThreadsAtOnce)
{
    const QtImageCodec codec;
    const Fixtures &f = Fixtures::get();
    const QByteArray expectedPng = *pngData(codec, f.png);
    const QByteArray expectedFromHeic = *pngData(codec, f.heic);
    const QByteArray expectedFromTiff = *pngData(codec, f.tiff);

    std::atomic_int mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 8; ++i) {
                if (pngData(codec, f.png) != expectedPng || pngData(codec, f.heic) != expectedFromHeic ||
                    pngData(codec, f.tiff) != expectedFromTiff ||
                    codec.sizeFromData(f.jpeg) != std::optional<QSize>(QSize(200, 100)) ||
                    codec.sizeFromData(f.heif) != std::optional<QSize>(QSize(200, 100)) ||
                    codec.imageFromData(f.gif) == nullptr || codec.imageFromData(f.webp) == nullptr)
                    ++mismatches;
                if (codec.imageFromData(pngDeclaring(100000, 50000)) != nullptr)
                    ++mismatches;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

} // namespace
