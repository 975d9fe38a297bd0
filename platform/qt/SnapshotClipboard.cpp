#include "platform/qt/SnapshotClipboard.h"

#include "platform/qt/QtDecodedImage.h"

#include <QMimeData>

namespace tarno {

void WrittenContent::set(const QString &type, const QByteArray &data)
{
    for (auto &format : formats) {
        if (format.first == type) {
            format.second = data;
            return;
        }
    }
    formats.append({type, data});
}

std::optional<QByteArray> WrittenContent::find(const QString &type) const
{
    for (const auto &[name, data] : formats) {
        if (name == type)
            return data;
    }
    return std::nullopt;
}

QMimeData *WrittenContent::toMimeData() const
{
    auto *mime = new QMimeData;
    for (const auto &[type, data] : formats)
        mime->setData(type, data);
    if (!image.isNull())
        mime->setImageData(image);
    return mime;
}

SnapshotClipboard::SnapshotClipboard(ReaderFactory readerFactory, QObject *parent)
    : QObject(parent), m_factory(std::move(readerFactory))
{}

SnapshotClipboard::~SnapshotClipboard() = default;

std::shared_ptr<const QMimeData> SnapshotClipboard::snapshot() const
{
    return m_snapshot;
}

const PasteboardReader *SnapshotClipboard::reader() const
{
    if (!m_snapshot)
        return nullptr;
    if (!m_snapshotReader && m_factory)
        m_snapshotReader = m_factory(m_snapshot);
    return m_snapshotReader.get();
}

QList<PasteboardItemPtr> SnapshotClipboard::items() const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->items() : QList<PasteboardItemPtr>();
}

QStringList SnapshotClipboard::types() const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->types() : QStringList();
}

std::optional<QByteArray> SnapshotClipboard::dataForType(const QString &type) const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->dataForType(type) : std::nullopt;
}

std::optional<QString> SnapshotClipboard::stringForType(const QString &type) const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->stringForType(type) : std::nullopt;
}

std::optional<QByteArray> SnapshotClipboard::utf8StringForType(const QString &type) const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->utf8StringForType(type) : std::nullopt;
}

QList<DecodedImagePtr> SnapshotClipboard::imageObjects() const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->imageObjects() : QList<DecodedImagePtr>();
}

QList<QUrl> SnapshotClipboard::fileURLs() const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->fileURLs() : QList<QUrl>();
}

QStringList SnapshotClipboard::stringObjects() const
{
    const PasteboardReader *snapshotReader = reader();
    return snapshotReader ? snapshotReader->stringObjects() : QStringList();
}

qint64 SnapshotClipboard::changeCount() const
{
    return m_changeCount;
}

bool SnapshotClipboard::announcesChanges() const
{
    return isWatching();
}

bool SnapshotClipboard::isOrphaned() const
{
    return m_orphaned;
}

void SnapshotClipboard::clearContents()
{
    // An owner with nothing to offer, rather than no owner: the change is then plainly ours.
    m_written = {};
    write();
}

void SnapshotClipboard::setString(const QString &text, const QString &type)
{
    m_written.set(type, text.toUtf8());
    write();
}

void SnapshotClipboard::setUtf8String(const QByteArray &utf8, const QString &type)
{
    m_written.set(type, utf8);
    write();
}

void SnapshotClipboard::setData(const QByteArray &data, const QString &type)
{
    m_written.set(type, data);
    write();
}

void SnapshotClipboard::writeImage(const DecodedImagePtr &image)
{
    const QImage decoded = image ? QtDecodedImage::toQImage(*image) : QImage();
    if (decoded.isNull())
        return;
    m_written.image = decoded;
    write();
}

void SnapshotClipboard::write()
{
    m_snapshotIsOthers = false;
    m_orphaned = false;
    offerWritten();
    m_snapshot.reset(m_written.toMimeData());
    m_snapshotReader.reset();
    ++m_changeCount;
    Q_EMIT changeCountChanged(m_changeCount);
    Q_EMIT snapshotReady();
}

void SnapshotClipboard::showContent(std::shared_ptr<const QMimeData> content, bool isOthers, bool moveCount)
{
    m_snapshot = std::move(content);
    m_snapshotReader.reset();
    m_snapshotIsOthers = isOthers;
    if (moveCount) {
        ++m_changeCount;
        Q_EMIT changeCountChanged(m_changeCount);
    }
    Q_EMIT snapshotReady();
}

bool SnapshotClipboard::orphanSnapshot()
{
    // The content stays what it was when its owner leaves: it is what the user copied last, which
    // may be read yet, and which whoever keeps the clipboard alive may serve.
    if (!m_snapshotIsOthers || m_orphaned || !m_snapshot || m_snapshot->formats().isEmpty())
        return false;
    m_orphaned = true;
    Q_EMIT ownerGone();
    return true;
}

void SnapshotClipboard::forgetContent()
{
    m_orphaned = false;
    m_snapshotIsOthers = false;
    m_written = {};
}

WrittenContent &SnapshotClipboard::writtenContent()
{
    return m_written;
}

} // namespace tarno
