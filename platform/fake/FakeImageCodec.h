#pragma once

#include "platform/api/ImageCodec.h"

#include <QSize>

#include <atomic>

namespace tarno {

// A codec over a made-up format, so logic tests need no real pixels. An "image" is the bytes
// "FAKEIMG <width>x<height> <format>;" followed by anything; its PNG encoding is the same header with
// format "png" and the payload, its TIFF encoding the same with format "tiff". Format "vector" decodes
// as an image object but not as a bitmap. Anything else does not decode. Switches make each operation fail,
// and counters record the calls.
class FakeImageCodec : public ImageCodec
{
public:
    static QByteArray makeImage(QSize size, const QByteArray &format, const QByteArray &payload = {});

    DecodedImagePtr imageFromData(const QByteArray &data) const override;
    DecodedImagePtr bitmapFromData(const QByteArray &data) const override;
    std::optional<QByteArray> pngRepresentation(const DecodedImage &image) const override;
    std::optional<QSize> sizeFromData(const QByteArray &data) const override;

    bool failBitmaps = false;
    bool failImages = false;
    bool failPng = false;
    bool failTiff = false;
    mutable std::atomic_int pngEncodes{0};
    mutable std::atomic_int decodes{0}; // imageFromData and bitmapFromData calls
};

} // namespace tarno
