#include "bench/support/ScreenshotImage.h"

#include <QBuffer>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace tarno::bench {

namespace {

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void drawWindow(QPainter &painter, const QRect &frame, int seed)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRoundedRect(frame, 16, 16);
    painter.setBrush(QColor(232, 232, 236));
    painter.drawRect(QRect(frame.topLeft(), QSize(frame.width(), 56)));
    painter.setBrush(QColor(236, 95, 85));
    painter.drawEllipse(frame.topLeft() + QPoint(24, 18), 10, 10);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 48));
    const QStringList words{QStringLiteral("clipboard"), QStringLiteral("history"),
                            QStringLiteral("tray"),      QStringLiteral("screenshot"),
                            QStringLiteral("selection"), QStringLiteral("owner"),
                            QStringLiteral("latency"),   QStringLiteral("convert")};
    quint32 state = quint32(seed) * 2654435761u;
    for (int y = frame.top() + 100; y < frame.bottom() - 30; y += 38) {
        QString line;
        for (int word = 0; word < 12; ++word) {
            state = state * 1664525u + 1013904223u;
            line += words.at(int(state >> 29)) + u' ';
        }
        painter.drawText(QRect(frame.left() + 32, y, frame.width() - 64, 34), Qt::AlignLeft, line);
    }
}

} // namespace

QImage screenshotLikeImage()
{
    QImage image(2880, 1800, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient backdrop(0, 0, 2880, 1800);
    backdrop.setColorAt(0, QColor(38, 70, 120));
    backdrop.setColorAt(1, QColor(150, 90, 140));
    painter.fillRect(image.rect(), backdrop);
    painter.fillRect(QRect(0, 0, 2880, 48), QColor(30, 30, 34));

    drawWindow(painter, QRect(120, 140, 1500, 1100), 1);
    drawWindow(painter, QRect(1300, 520, 1400, 1150), 2);
    painter.end();

    // A photo inside the second window: smooth colour with sensor-like noise, which is what makes
    // real screenshots expensive to compress.
    quint32 state = 12345;
    for (int y = 700; y < 1500; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 1400; x < 2600; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 28) - 8;
            line[x] = qRgb(std::clamp(x / 6 + noise, 0, 255), std::clamp(y / 7 + noise, 0, 255),
                           std::clamp(180 - y / 12 + noise, 0, 255));
        }
    }
    return image;
}

QImage largeScreenshotLikeImage()
{
    const QImage tile = screenshotLikeImage();
    QImage image(7680, 4320, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int y = 0; y < image.height(); y += tile.height()) {
        for (int x = 0; x < image.width(); x += tile.width())
            painter.drawImage(x, y, tile);
    }
    return image;
}

QByteArray largeScreenshotLikePng()
{
    return encode(largeScreenshotLikeImage(), "PNG");
}

QByteArray screenshotLikePng()
{
    return encode(screenshotLikeImage(), "PNG");
}

QByteArray screenshotLikeTiff()
{
    return encode(screenshotLikeImage(), "TIFF");
}

} // namespace tarno::bench
