#include "platform/qt/MimeDataPasteboard.h"

#include "platform/api/Utf8Text.h"
#include "platform/qt/QtDecodedImage.h"

#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QSet>
#include <QStringDecoder>

namespace tarno {

namespace {

// Qt's own name for the image a QMimeData carries as an object rather than as bytes.
const QString qtImageFormat = QStringLiteral("application/x-qt-image");

// MIME types compare without regard to case; the data's own spelling is what QMimeData answers to.
std::optional<QString> findType(const QStringList &types, const QString &type)
{
    if (types.contains(type))
        return type;
    for (const QString &candidate : types) {
        if (candidate.compare(type, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

bool isPlainTextFormat(const QString &format)
{
    return format.section(u';', 0, 0).trimmed().compare(PasteboardType::plainText, Qt::CaseInsensitive) == 0;
}

QByteArray charsetOf(const QString &format)
{
    const QStringList parameters = format.split(u';');
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        const QString parameter = parameters.at(i).trimmed();
        const qsizetype equals = parameter.indexOf(u'=');
        if (equals < 0 || parameter.left(equals).trimmed().compare(u"charset", Qt::CaseInsensitive) != 0)
            continue;
        QString value = parameter.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        return value.toLatin1();
    }
    return {};
}

// The text of a plain-text format as valid UTF-8, or nothing when its charset is one Qt cannot
// decode. UTF-8 that is already valid is shared, not copied: it may be a very large text.
std::optional<QByteArray> decodePlainText(const QByteArray &bytes, const QString &format)
{
    const QByteArray charset = charsetOf(format);
    const bool utf8 = charset.isEmpty() || charset.compare("utf-8", Qt::CaseInsensitive) == 0 ||
                      charset.compare("utf8", Qt::CaseInsensitive) == 0;
    // A byte order mark is dropped, as the decoder drops it.
    if (utf8 && bytes.isValidUtf8() && !bytes.startsWith("\xef\xbb\xbf"))
        return bytes;
    // Stateless: a sequence cut short at the end is replaced, not held back for bytes that never come.
    QStringDecoder decoder = utf8 ? QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless)
                                  : QStringDecoder(charset.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    // Qt's own decoders drop the mark; one that Qt finds only through ICU, by a name such as
    // "unicode-1-1-utf-8", keeps it as a character.
    if (!utf8 && !QStringConverter::encodingForName(charset.constData()) &&
        text.startsWith(QChar::ByteOrderMark))
        text.remove(0, 1);
    return text.toUtf8();
}

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// The local path a file URL names, or nothing for any other URL. A host other than "localhost"
// names another machine; an encoded slash would decode into a different path; a path that does not
// decode to UTF-8 names no file Qt can open. Extra leading slashes ("file:////tmp/a") name the same
// file here, and are dropped: QUrl::fromLocalFile() would read two as the start of a host name
// ("file://tmp/a") and three or more as no path at all.
std::optional<QString> localPath(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != u"file")
        return std::nullopt;
    if (!url.host().isEmpty() && url.host().compare(u"localhost", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QString encoded = url.path(QUrl::FullyEncoded);
    if (!encoded.startsWith(u'/') || encoded.contains(u"%2f", Qt::CaseInsensitive) ||
        !isValidUtf8(QByteArray::fromPercentEncoding(encoded.toLatin1())))
        return std::nullopt;
    const QString path = url.path(QUrl::FullyDecoded);
    qsizetype extra = 0;
    while (extra + 1 < path.size() && path.at(extra + 1) == u'/')
        ++extra;
    return path.mid(extra);
}

QList<QUrl> fileURLsFromUriList(const QByteArray &bytes)
{
    QList<QUrl> urls;
    for (const QByteArray &rawLine : bytes.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (const std::optional<QString> path = localPath(QUrl::fromEncoded(line, QUrl::StrictMode)))
            urls.append(QUrl::fromLocalFile(*path));
    }
    return urls;
}

// Whether every line of the text is the path or the file URI of one of the files, as file managers
// write them next to the file list.
bool onlyNamesFiles(const QString &text, const QList<QUrl> &urls)
{
    QSet<QString> paths;
    for (const QUrl &url : urls)
        paths.insert(QDir::cleanPath(url.toLocalFile()));
    bool namedAny = false;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        std::optional<QString> path;
        if (line.startsWith(u'/'))
            path = line;
        else if (line.startsWith(u"file:", Qt::CaseInsensitive))
            path = localPath(QUrl::fromEncoded(line.toUtf8(), QUrl::TolerantMode));
        if (!path || !paths.contains(QDir::cleanPath(*path)))
            return false;
        namedAny = true;
    }
    return namedAny;
}

class MimeDataItem : public PasteboardItem
{
public:
    MimeDataItem(std::shared_ptr<const QMimeData> data, QStringList types)
        : m_data(std::move(data)), m_types(std::move(types))
    {}

    QStringList types() const override { return m_types; }
    std::optional<QByteArray> dataForType(const QString &type) const override
    {
        const std::optional<QString> offered = findType(m_types, type);
        if (!offered)
            return std::nullopt;
        return m_data->data(*offered);
    }

private:
    std::shared_ptr<const QMimeData> m_data;
    QStringList m_types;
};

} // namespace

MimeDataPasteboard::MimeDataPasteboard(std::shared_ptr<const QMimeData> data) : m_data(std::move(data))
{
    if (!m_data)
        return;
    for (const QString &format : m_data->formats()) {
        if (format == qtImageFormat)
            m_hasImage = true;
        else if (!format.isEmpty() && !m_types.contains(format))
            m_types.append(format);
    }
    if (const std::optional<QString> uriList = findType(m_types, PasteboardType::uriList))
        m_fileURLs = fileURLsFromUriList(m_data->data(*uriList));
    for (const QString &format : std::as_const(m_types)) {
        if (!isPlainTextFormat(format))
            continue;
        m_text = decodePlainText(m_data->data(format), format);
        if (m_text)
            break;
    }
    if (m_text && !m_fileURLs.isEmpty() && onlyNamesFiles(decodedUtf8(*m_text), m_fileURLs)) {
        m_text.reset();
        m_types.removeIf(isPlainTextFormat);
    }
}

MimeDataPasteboard MimeDataPasteboard::borrowing(const QMimeData &data)
{
    // An empty owner: the pointer is used, never deleted.
    return MimeDataPasteboard(std::shared_ptr<const QMimeData>(std::shared_ptr<const QMimeData>(), &data));
}

std::optional<QString> MimeDataPasteboard::offeredType(const QString &type) const
{
    return findType(m_types, type);
}

QList<PasteboardItemPtr> MimeDataPasteboard::items() const
{
    if (m_types.isEmpty())
        return {};
    return {std::make_shared<MimeDataItem>(m_data, m_types)};
}

QStringList MimeDataPasteboard::types() const
{
    return m_types;
}

std::optional<QByteArray> MimeDataPasteboard::dataForType(const QString &type) const
{
    const std::optional<QString> offered = offeredType(type);
    if (!offered)
        return std::nullopt;
    return m_data->data(*offered);
}

std::optional<QString> MimeDataPasteboard::stringForType(const QString &type) const
{
    if (isPlainTextFormat(type))
        return m_text ? std::optional<QString>(decodedUtf8(*m_text)) : std::nullopt;
    const std::optional<QByteArray> bytes = dataForType(type);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

std::optional<QByteArray> MimeDataPasteboard::utf8StringForType(const QString &type) const
{
    if (isPlainTextFormat(type))
        return m_text;
    const std::optional<QString> text = stringForType(type);
    return text ? std::optional<QByteArray>(text->toUtf8()) : std::nullopt;
}

QList<DecodedImagePtr> MimeDataPasteboard::imageObjects() const
{
    if (!m_hasImage)
        return {};
    const QImage image = qvariant_cast<QImage>(m_data->imageData());
    if (image.isNull())
        return {};
    return {std::make_shared<QtDecodedImage>(image)};
}

QList<QUrl> MimeDataPasteboard::fileURLs() const
{
    return m_fileURLs;
}

QStringList MimeDataPasteboard::stringObjects() const
{
    if (!m_text)
        return {};
    return {decodedUtf8(*m_text)};
}

} // namespace tarno
