#include "ui/Symbols.h"

#include <QColor>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QStandardPaths>
#include <QSvgRenderer>

namespace tarno {

namespace {

QString own(const QString &file)
{
    return QStringLiteral(":/Tarno/Ui/icons/") + file + QStringLiteral(".svg");
}

// The table from symbol names to glyphs. A theme icon is named only where its drawing means the
// same thing; the rest are drawn by us.
const QHash<QString, SymbolGlyph> &symbolTable()
{
    static const QHash<QString, SymbolGlyph> table{
        {QStringLiteral("tray"), {{}, own(QStringLiteral("tray"))}},
        {QStringLiteral("text.alignleft"),
         {QStringLiteral("format-justify-left-symbolic"), own(QStringLiteral("text-alignleft"))}},
        {QStringLiteral("camera.viewfinder"),
         {QStringLiteral("camera-photo-symbolic"), own(QStringLiteral("camera-viewfinder"))}},
        {QStringLiteral("square.grid.2x2"), {{}, own(QStringLiteral("square-grid-2x2"))}},
        {QStringLiteral("gearshape"), {{}, own(QStringLiteral("gearshape"))}},
        {QStringLiteral("gearshape.fill"), {{}, own(QStringLiteral("gearshape-fill"))}},
        {QStringLiteral("text.quote"), {{}, own(QStringLiteral("text-quote"))}},
        {QStringLiteral("doc.on.doc"),
         {QStringLiteral("edit-copy-symbolic"), own(QStringLiteral("doc-on-doc"))}},
        {QStringLiteral("arrow.up.forward.circle"), {{}, own(QStringLiteral("arrow-up-forward-circle"))}},
        {QStringLiteral("sun.horizon"),
         {QStringLiteral("daytime-sunset-symbolic"), own(QStringLiteral("sun-horizon"))}},
        {QStringLiteral("calendar"),
         {QStringLiteral("x-office-calendar-symbolic"), own(QStringLiteral("calendar"))}},
        {QStringLiteral("infinity"), {{}, own(QStringLiteral("infinity"))}},
        {QStringLiteral("power"), {{}, own(QStringLiteral("power"))}},
        {QStringLiteral("keyboard"),
         {QStringLiteral("input-keyboard-symbolic"), own(QStringLiteral("keyboard"))}},
        {QStringLiteral("checkmark.circle.fill"), {{}, own(QStringLiteral("checkmark-circle-fill"))}},
        {QStringLiteral("exclamationmark.circle"), {{}, own(QStringLiteral("exclamationmark-circle"))}},
        {QStringLiteral("circle"), {{}, own(QStringLiteral("circle"))}},
        {QStringLiteral("trash"), {QStringLiteral("user-trash-symbolic"), own(QStringLiteral("trash"))}},
        {QStringLiteral("arrow.uturn.backward"),
         {QStringLiteral("edit-undo-symbolic"), own(QStringLiteral("arrow-uturn-backward"))}},
        {QStringLiteral("arrow.up.arrow.down"), {{}, own(QStringLiteral("arrow-up-arrow-down"))}},
        {QStringLiteral("magnifyingglass"),
         {QStringLiteral("system-search-symbolic"), own(QStringLiteral("magnifyingglass"))}},
    };
    return table;
}

// The icon's SVG in Adwaita, the fallback theme installed with the program, when the user's own
// theme lacks it.
QString adwaitaFile(const QString &iconName)
{
    const QString relative = QStringLiteral("icons/Adwaita/scalable");
    for (const QString &base : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, relative,
                                                         QStandardPaths::LocateDirectory)) {
        QDirIterator it(base, {iconName + QStringLiteral(".svg")}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext())
            return it.next();
    }
    return {};
}

QImage renderSvg(const QString &path, QSize size)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QSizeF drawn = renderer.defaultSize().scaled(size, Qt::KeepAspectRatio);
    renderer.render(
        &painter,
        QRectF(QPointF((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2), drawn));
    return image;
}

QImage glyphImage(const SymbolGlyph &glyph, QSize size)
{
    if (!glyph.themeIcon.isEmpty()) {
        if (QIcon::hasThemeIcon(glyph.themeIcon)) {
            const QImage image = QIcon::fromTheme(glyph.themeIcon).pixmap(size).toImage();
            if (!image.isNull())
                return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        static QHash<QString, QString> adwaitaPaths;
        auto found = adwaitaPaths.find(glyph.themeIcon);
        if (found == adwaitaPaths.end())
            found = adwaitaPaths.insert(glyph.themeIcon, adwaitaFile(glyph.themeIcon));
        if (!found->isEmpty()) {
            QImage image = renderSvg(*found, size);
            if (!image.isNull())
                return image;
        }
    }
    return glyph.resourcePath.isEmpty() ? QImage() : renderSvg(glyph.resourcePath, size);
}

} // namespace

SymbolGlyph symbolGlyph(const QString &symbol)
{
    return symbolTable().value(symbol);
}

QStringList knownSymbols()
{
    return symbolTable().keys();
}

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SymbolImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString symbol = slash < 0 ? id : id.left(slash);
    const QColor ink(slash < 0 ? QStringLiteral("#000000") : QLatin1Char('#') + id.mid(slash + 1));
    const QSize target = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(16, 16);

    QImage image = glyphImage(symbolGlyph(symbol), target);
    if (image.isNull()) {
        image = QImage(target, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), ink.isValid() ? ink : QColor(Qt::black));
    }
    if (size)
        *size = image.size();
    return image;
}

} // namespace tarno
