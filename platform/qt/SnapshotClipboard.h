#pragma once

#include "platform/api/Pasteboard.h"

#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

class QMimeData;

namespace tarno {

// What Tarno has put on the clipboard since its last clearContents(): each type's bytes, in the
// order first set, and a picture to offer in the formats Qt can encode.
struct WrittenContent
{
    QList<QPair<QString, QByteArray>> formats;
    QImage image;

    // Replaces the type's bytes, or adds them last.
    void set(const QString &type, const QByteArray &data);
    std::optional<QByteArray> find(const QString &type) const;
    // The formats, and the picture as Qt's image data; the caller owns the result.
    QMimeData *toMimeData() const;
};

// The general pasteboard of a desktop whose clipboard lives in the program that copied: reads answer
// a snapshot of the content, taken once it has arrived in full, and never touch the desktop; writes
// build on one another since the last clearContents() and are readable at once. The desktop's side
// (who watches, how content is fetched and how a write is offered) is the subclass's.
//
// Main thread only.
class SnapshotClipboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    // Turns a snapshot into the reads of this pasteboard; without one, every read answers empty.
    using ReaderFactory =
        std::function<std::shared_ptr<const PasteboardReader>(std::shared_ptr<const QMimeData>)>;

    ~SnapshotClipboard() override;

    // Whether other programs' changes are seen.
    virtual bool isWatching() const = 0;
    // The content for the current change count; null until the content present at construction
    // has been read.
    std::shared_ptr<const QMimeData> snapshot() const;

    QList<PasteboardItemPtr> items() const override;
    QStringList types() const override;
    std::optional<QByteArray> dataForType(const QString &type) const override;
    std::optional<QString> stringForType(const QString &type) const override;
    std::optional<QByteArray> utf8StringForType(const QString &type) const override;
    QList<DecodedImagePtr> imageObjects() const override;
    QList<QUrl> fileURLs() const override;
    QStringList stringObjects() const override;

    qint64 changeCount() const override;
    // While watching: every change is then seen and announced.
    bool announcesChanges() const override;
    void clearContents() override;
    void setString(const QString &text, const QString &type) override;
    void setUtf8String(const QByteArray &utf8, const QString &type) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeImage(const DecodedImagePtr &image) override;
    bool isOrphaned() const override;

Q_SIGNALS:
    // The count moved, and its snapshot is ready; emitted from inside the write for our own writes.
    void changeCountChanged(qint64 changeCount);
    // A snapshot is ready: with each move of the count, and for the content present at
    // construction, which moves nothing.
    void snapshotReady();
    // Another program's content, read in full, has lost its owner; the count stays and reads
    // still answer it.
    void ownerGone();

protected:
    explicit SnapshotClipboard(ReaderFactory readerFactory, QObject *parent);

    // Offers writtenContent() to the other programs; the snapshot follows it once this returns.
    virtual void offerWritten() = 0;

    // Another program's content (or none) arrived: it becomes the snapshot, and the count moves
    // unless it was there before us.
    void showContent(std::shared_ptr<const QMimeData> content, bool isOthers, bool moveCount);
    // The owner of the snapshot went away. Content of another program, read in full, stays and is
    // orphaned (ownerGone); true then. Otherwise nothing happens and the caller goes on.
    bool orphanSnapshot();
    // Another program takes over: nothing of ours or of an orphan is kept.
    void forgetContent();
    WrittenContent &writtenContent();

private:
    void write();
    const PasteboardReader *reader() const;

    ReaderFactory m_factory;
    qint64 m_changeCount = 0;
    std::shared_ptr<const QMimeData> m_snapshot;
    mutable std::shared_ptr<const PasteboardReader> m_snapshotReader;
    // Whether the snapshot is another program's content, read in full, and whether that program
    // has since gone, leaving nobody to serve it.
    bool m_snapshotIsOthers = false;
    bool m_orphaned = false;
    WrittenContent m_written;
};

} // namespace tarno
