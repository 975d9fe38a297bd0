#pragma once

#include <QQuickImageProvider>

namespace tarno {

// Soft shadows as nine-patch images for `BorderImage`: "image://shadows/<blur>/<corner>/<offset>[/hollow]"
// is a black rounded rectangle of that corner radius, `offset` points below the shape it belongs to,
// blurred over `blur` points on every side (a three-pass box blur, close to a Gaussian). When hollow,
// the shape itself is cut out where the content lies, not where its shadow lies, for content that is
// not opaque. The image is (blur + corner) × 2 + 2 pixels wide and 2 × offset higher than wide at
// the requested scale; its left and right borders are blur + corner, its top and bottom borders
// blur + corner + offset, and it is placed blur points up and left of the shape. Cheap enough for
// any thread, and the engine caches what it made.
class ShadowImageProvider : public QQuickImageProvider
{
public:
    ShadowImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

// The image for the given parameters at `scale` device pixels per point.
QImage makeShadowImage(int blur, int corner, int offset, bool hollow, int scale = 1);

} // namespace tarno
