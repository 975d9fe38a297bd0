#pragma once

#include <QByteArray>

#include <optional>

class QImage;

namespace tarno {

// How PNG rows are filtered before compression. `sub` (each byte less the one to its left) is
// what suits screenshots best for its cost; `adaptive` tries every filter on every row and keeps
// the one with the smallest sum of magnitudes, as libpng does by default.
enum class PngFilter
{
    none,
    sub,
    up,
    paeth,
    adaptive
};

struct PngWriteOptions
{
    int level = 2; // ISA-L's deflate level, 0 (fastest) to 3
    PngFilter filter = PngFilter::sub;
};

// A PNG of the image, written in one pass with ISA-L's deflate: 8 bits a channel (RGB, RGB with alpha,
// grey) or 16 for images that carry 16 bits a channel, alpha only where the format has it, and the
// image's colour profile when it is not sRGB. Qt reads it back with the same pixels (premultiplied
// and indexed formats come back unpremultiplied and as RGB). Nothing for a null image. Stateless
// and safe on any thread. Needs little transient memory besides the PNG itself: rows are
// compressed as they are filtered.
std::optional<QByteArray> writePng(const QImage &image, PngWriteOptions options = {});

} // namespace tarno
