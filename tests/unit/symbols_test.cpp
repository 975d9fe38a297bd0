#include "ui/ShadowImageProvider.h"
#include "ui/Symbols.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

// Pixels that carry ink, and whether every one of them has the given hue.
std::pair<int, bool> inked(const QImage &premultiplied, QColor hue)
{
    const QImage image = premultiplied.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    bool allHue = true;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = QColor::fromRgba(image.pixel(x, y));
            if (pixel.alpha() < 128)
                continue;
            ++count;
            allHue = allHue && qAbs(pixel.red() - hue.red()) <= 4 && qAbs(pixel.green() - hue.green()) <= 4 &&
                     qAbs(pixel.blue() - hue.blue()) <= 4;
        }
    }
    return {count, allHue};
}

TEST(SymbolsTest, EverySymbolOfTheViewsDrawsAGlyphInTheInkColourAndAnUnknownOneNothing)
{
    const QStringList used =
        QStringLiteral(
            "tray text.alignleft camera.viewfinder square.grid.2x2 gearshape gearshape.fill text.quote "
            "doc.on.doc arrow.up.forward.circle sun.horizon calendar infinity power "
            "checkmark.circle.fill exclamationmark.circle circle trash arrow.uturn.backward "
            "arrow.up.arrow.down magnifyingglass keyboard")
            .split(u' ');
    SymbolImageProvider provider;
    for (const QString &symbol : used) {
        const SymbolGlyph glyph = symbolGlyph(symbol);
        // The module's own drawing exists for every symbol, so no theme is needed to show it.
        EXPECT_TRUE(QFile::exists(glyph.resourcePath)) << symbol.toStdString();
        QSize size;
        const QImage image = provider.requestImage(symbol + "/3366cc", &size, QSize(32, 32));
        EXPECT_EQ(size, QSize(32, 32));
        const auto [count, allHue] = inked(image, QColor(0x33, 0x66, 0xcc));
        EXPECT_GT(count, 20) << symbol.toStdString();
        EXPECT_TRUE(allHue) << symbol.toStdString();
    }
    EXPECT_EQ(knownSymbols().size(), used.size());
    QSize size;
    EXPECT_EQ(inked(provider.requestImage("no.such.symbol/000000", &size, QSize(16, 16)), Qt::black).first, 0)
        << "an unknown symbol drew something";
}

TEST(ShadowImageTest, FadesOutwardsFromTheShapeAndIsHollowWhenAsked)
{
    const QImage solid = makeShadowImage(8, 12, 0, false);
    const QImage hollow = makeShadowImage(8, 12, 0, true);
    ASSERT_EQ(solid.size(), QSize(42, 42));
    const int middle = solid.height() / 2;
    // Along the middle row: opaque inside, falling off across the blur, clear at the rim.
    EXPECT_GT(qAlpha(solid.pixel(middle, middle)), 240);
    EXPECT_LT(qAlpha(solid.pixel(0, middle)), 10);
    int previous = -1;
    for (int x = 0; x <= 14; ++x) {
        EXPECT_GE(qAlpha(solid.pixel(x, middle)), previous);
        previous = qAlpha(solid.pixel(x, middle));
    }
    EXPECT_EQ(qAlpha(hollow.pixel(middle, middle)), 0);
    EXPECT_EQ(qAlpha(hollow.pixel(2, middle)), qAlpha(solid.pixel(2, middle)));
}

TEST(ShadowImageTest, HollowShadowBelowItsShapeIsCutWhereTheShapeIsAndShadesRightUnderIt)
{
    // Blur 8, corner 12, 3 down: the shape's rows are 8 to 36 of 48, the shadow's 11 to 39.
    const QImage image = makeShadowImage(8, 12, 3, true);
    ASSERT_EQ(image.size(), QSize(42, 48));
    const int middle = image.width() / 2;
    for (int y = 8; y < 37; ++y)
        EXPECT_EQ(qAlpha(image.pixel(middle, y)), 0) << "row " << y;
    // Right under the shape the shadow is at its fullest, with no unshaded line between.
    EXPECT_GT(qAlpha(image.pixel(middle, 37)), 160);
    EXPECT_GT(qAlpha(image.pixel(middle, 37)), qAlpha(image.pixel(middle, 7)));
}

} // namespace
