#pragma once

#include <QByteArray>
#include <QImage>

namespace tarno::bench {

// A 2880 × 1800 picture that compresses the way a desktop screenshot does: flat window chrome,
// rows of text, a soft backdrop gradient and one photo-like region of fine noise. The same pixels
// on every call. Needs a QGuiApplication (it draws text).
QImage screenshotLikeImage();

// 7680 × 4320 (33 megapixels, an 8K screen): the picture above tiled.
QImage largeScreenshotLikeImage();

// The picture encoded as PNG and as TIFF by Qt's default writers.
QByteArray screenshotLikePng();
QByteArray screenshotLikeTiff();
QByteArray largeScreenshotLikePng();

} // namespace tarno::bench
