#pragma once

#include <QQuickImageProvider>

namespace tarno {

// Soft shadows as nine-patch images for `BorderImage`: "image://shadows/<blur>/<corner>[/hollow]" is
// a black rounded rectangle of that corner radius, blurred over `blur` points on every side (a
// three-pass box blur, close to a Gaussian), with the shape itself cut out when hollow, for content
// that is not opaque. The image is (blur + corner) × 2 + 2 pixels square at the requested scale; its
// borders are blur + corner. Cheap enough for any thread, and the engine caches what it made.
class ShadowImageProvider : public QQuickImageProvider
{
public:
    ShadowImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

// The image for the given parameters at `scale` device pixels per point.
QImage makeShadowImage(int blur, int corner, bool hollow, int scale = 1);

} // namespace tarno
