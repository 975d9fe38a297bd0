#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace tarno {

// A fast decoder for the PNGs screenshots and this program's own writer make: 8 bits a channel,
// RGB, RGB with alpha or grey, not interlaced, with no chunks beyond IHDR, IDAT, IEND, sRGB, pHYs,
// tIME and text. The image comes out as Qt's PNG reader makes it (RGB32, ARGB32 or Grayscale8,
// the same pixels, sRGB and resolution kept; texts are dropped). Anything else, including data
// this decoder finds damaged, is nothing, and the caller decodes it the general way. The data
// must already be known to be a complete PNG within the size bounds. Stateless; any thread.
// Needs the unpacked rows in transient memory (about three quarters of the image's size).
std::optional<QImage> readPng(const QByteArray &data);

} // namespace tarno
