#include "ui/ShadowImageProvider.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace tarno {

namespace {

// One box-blur pass of radius `r` over the alpha channel, horizontally then vertically.
void boxBlur(std::vector<float> &alpha, int width, int height, int r)
{
    if (r <= 0)
        return;
    std::vector<float> line(std::max(width, height));
    const auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            float sum = 0;
            for (int k = -r; k <= r; ++k)
                sum += at(i, std::clamp(k, 0, length - 1));
            for (int j = 0; j < length; ++j) {
                line[j] = sum / float(2 * r + 1);
                sum += at(i, std::min(j + r + 1, length - 1)) - at(i, std::max(j - r, 0));
            }
            for (int j = 0; j < length; ++j)
                at(i, j) = line[j];
        }
    };
    pass(height, width, [&](int y, int x) -> float & { return alpha[y * width + x]; });
    pass(width, height, [&](int x, int y) -> float & { return alpha[y * width + x]; });
}

} // namespace

QImage makeShadowImage(int blur, int corner, int offset, bool hollow, int scale)
{
    blur = std::clamp(blur, 0, 64) * scale;
    corner = std::clamp(corner, 0, 64) * scale;
    offset = std::clamp(offset, 0, 64) * scale;
    const int width = (blur + corner) * 2 + 2 * scale;
    const int height = width + 2 * offset;
    QImage shape(width, height, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    // The shape where the content is, and its shadow `offset` below it.
    QPainterPath path;
    path.addRoundedRect(QRectF(blur, blur, width - 2 * blur, height - 2 * blur - offset), corner, corner);
    QPainterPath shadow;
    shadow.addRoundedRect(QRectF(blur, blur + offset, width - 2 * blur, height - 2 * blur - offset), corner,
                          corner);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(shadow, Qt::black);
    }
    std::vector<float> alpha(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(shape.constScanLine(y));
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * width + x] = qAlpha(row[x]) / 255.0f;
    }
    // Three box passes of a third of the blur each approach a Gaussian that fades out over `blur`.
    for (int i = 0; i < 3; ++i)
        boxBlur(alpha, width, height, blur / 3);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qPremultiply(
                qRgba(0, 0, 0, qRound(std::clamp(alpha[size_t(y) * width + x], 0.0f, 1.0f) * 255)));
    }
    if (hollow) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(path, Qt::black);
    }
    return image;
}

ShadowImageProvider::ShadowImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage ShadowImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QStringList parts = id.split(QLatin1Char('/'));
    const int blur = parts.value(0).toInt();
    const int corner = parts.value(1).toInt();
    const int offset = parts.value(2).toInt();
    const bool hollow = parts.value(3) == QStringLiteral("hollow");
    const int logicalSide = (blur + corner) * 2 + 2;
    const int scale = requestedSize.isValid() && requestedSize.width() > logicalSide ? 2 : 1;
    QImage image = makeShadowImage(blur, corner, offset, hollow, scale);
    if (size)
        *size = image.size();
    return image;
}

} // namespace tarno
