#pragma once

#include <QByteArray>
#include <QSize>

#include <memory>
#include <optional>

namespace tarno {

// A decoded image: the image object a pasteboard can carry and a drag can offer. Immutable once
// made, so it may be shared between threads.
class DecodedImage
{
public:
    virtual ~DecodedImage() = default;
    // Width and height in pixels; only their ratio matters to callers.
    virtual QSize size() const = 0;
    // The image encoded as TIFF, or nothing when it cannot be encoded.
    virtual std::optional<QByteArray> tiffRepresentation() const = 0;
};

using DecodedImagePtr = std::shared_ptr<const DecodedImage>;

// Decoding and encoding of image bytes. Stateless: every call may be made on any thread.
// Accepts PNG, TIFF, JPEG, HEIC, HEIF, GIF, WebP, BMP, ICO and ICNS. Data that declares an
// absurd size fails to decode instead of exhausting memory.
class ImageCodec
{
public:
    virtual ~ImageCodec() = default;

    // An image object from encoded bytes (any supported format), or nothing.
    virtual DecodedImagePtr imageFromData(const QByteArray &data) const = 0;
    // A bitmap straight from encoded bytes (TIFF bytes included), or nothing.
    virtual DecodedImagePtr bitmapFromData(const QByteArray &data) const = 0;
    // The bitmap encoded as PNG with the encoder's defaults, or nothing.
    virtual std::optional<QByteArray> pngRepresentation(const DecodedImage &image) const = 0;
    // The size a full decode would report, read from the header alone where the format allows.
    virtual std::optional<QSize> sizeFromData(const QByteArray &data) const = 0;
};

} // namespace tarno
