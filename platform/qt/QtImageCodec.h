#pragma once

#include "platform/api/ImageCodec.h"

namespace tarno {

// The image codec over Qt's image I/O (PNG, JPEG, GIF, BMP, ICO from Qt itself; TIFF, WebP, ICNS from
// the image-format plugins) and libheif (HEIC, HEIF). Decodes to QtDecodedImage; encodes PNG with
// writePng() at its defaults (see PngWriter.h). Holds no state, so one instance may serve every thread at
// once.
//
// The format is recognised from the leading bytes, never from what a plugin is willing to guess, so
// bytes of some other kind (or random bytes a lenient decoder would accept) are no image.
//
// Only the first image of a multi-image file (GIF frames, TIFF pages, icon sizes) is decoded.
// EXIF orientation (JPEG, TIFF) and the HEIF rotation, mirror and crop are applied, and the size
// reported by sizeFromData() is the size after them, equal to what a decode yields.
//
// Truncated data is no image: for the formats whose size is read from the header alone (PNG, JPEG,
// BMP, WebP, HEIF) the codec first checks that the data is complete (PNG up to IEND, JPEG up to the
// end-of-image marker after the first scan, BMP holding its pixel array, WebP its whole RIFF chunk,
// HEIF every extent it points to), so a header never vouches for data that cannot decode. The other
// formats (TIFF, GIF, ICO, ICNS) report the size of a full decode.
class QtImageCodec : public ImageCodec
{
public:
    // Decompression-bomb bounds, checked on the declared size before any pixel is decoded and again
    // on the decoded image. 8192 x 8192 pixels (67 megapixels, 256 MiB at 4 bytes a pixel) is twice
    // an 8K screen (7680 x 4320) and thirteen 2880 x 1800 screenshots, yet far below what would
    // exhaust memory; a side may reach 32768 (a wide multi-monitor strip) within that area.
    static constexpr long long maxImagePixels = 8192LL * 8192LL;
    static constexpr int maxImageSide = 32768;
    // What any one decoder may allocate for its image: the pixel bound at 8 bytes a pixel, so that
    // 16-bit-per-channel images up to the bound decode too.
    static constexpr int allocationLimitMiB = int(maxImagePixels * 8 / (1024 * 1024));

    DecodedImagePtr imageFromData(const QByteArray &data) const override;
    DecodedImagePtr bitmapFromData(const QByteArray &data) const override;
    std::optional<QByteArray> pngRepresentation(const DecodedImage &image) const override;
    std::optional<QSize> sizeFromData(const QByteArray &data) const override;
};

} // namespace tarno
