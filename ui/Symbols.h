#pragma once

#include <QQuickImageProvider>
#include <QString>

namespace tarno {

// Where the glyph of a named symbol comes from: a freedesktop symbolic icon, looked up in the user's
// theme and then in Adwaita, or one of the module's own SVGs.
struct SymbolGlyph
{
    QString themeIcon;    // empty when the module's own SVG always stands in
    QString resourcePath; // ":/Tarno/Ui/icons/<file>.svg"; the glyph when no theme has the icon
};

// The glyph standing for a symbol name of the views ("doc.on.doc", "gearshape.fill", ...). Unknown
// names yield an empty glyph.
SymbolGlyph symbolGlyph(const QString &symbol);
// Every symbol name the views use.
QStringList knownSymbols();

// Draws symbols for `Image` as "image://symbols/<symbol>/<rrggbb>": the glyph at the requested size,
// every pixel tinted with the colour so that monochrome icons take the views' ink. Alpha is left to
// the item's opacity, so fading ink never redraws the glyph. Main thread only (icon themes are not
// thread-safe), which is why it is a synchronous provider; glyphs are small.
class SymbolImageProvider : public QQuickImageProvider
{
public:
    SymbolImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

} // namespace tarno
