#pragma once

#include "platform/api/Pasteboard.h"
#include "platform/x11/X11SelectionWatcher.h"

#include <QObject>

#include <functional>
#include <memory>

class QMimeData;

namespace tarno {

// The general pasteboard on X11: the CLIPBOARD selection (never PRIMARY).
//
// Every change of the selection's owner moves the change count: a copy made in another program, the
// owner's window or program going away, and each write made here. A watcher thread with an X
// connection of its own learns of the changes and reads each new owner's content into a snapshot,
// which it hands to the main thread; a slow or hung owner therefore never freezes the program, and a
// newer change abandons the read in progress. Another program's change moves the count only once
// its content has arrived (or its owner has failed to answer within the limits): the count and the
// snapshot always go together, so whoever looks when the count moves finds the new content at once,
// and until then every read answers the previous content. Reads of a snapshot never touch X. What
// was on the clipboard at construction is read too but does not move the count.
//
// When the owner of content read in full goes away, the content stays (the count does not move)
// and is orphaned until someone adopts it or the clipboard changes again.
//
// Writes go through QClipboard, which then serves the other programs; each write builds on the
// previous ones since the last clearContents(), moves the count and is readable here at once.
//
// Main thread only. Construct after the application object, destroy before it. Off X (no display,
// or a Qt platform other than xcb) only the writes move the count.
class X11Clipboard : public QObject, public Pasteboard
{
    Q_OBJECT

public:
    // Turns a snapshot into the reads of this pasteboard; without one, every read answers empty.
    using ReaderFactory =
        std::function<std::shared_ptr<const PasteboardReader>(std::shared_ptr<const QMimeData>)>;

    explicit X11Clipboard(ReaderFactory readerFactory = {}, X11SelectionLimits limits = {},
                          QObject *parent = nullptr);
    ~X11Clipboard() override;

    // Whether owner changes made by other programs are seen.
    bool isWatching() const;
    // Whether we are the desktop's clipboard manager now (see X11SelectionWatcher).
    bool isClipboardManager() const;

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
    // While watching: every change is then seen by the watcher and announced.
    bool announcesChanges() const override;
    void clearContents() override;
    void setString(const QString &text, const QString &type) override;
    void setUtf8String(const QByteArray &utf8, const QString &type) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeImage(const DecodedImagePtr &image) override;
    bool isOrphaned() const override;
    void adoptOrphanedContent() override;

Q_SIGNALS:
    // The count moved, and its snapshot is ready; emitted from inside the write for our own writes.
    void changeCountChanged(qint64 changeCount);
    // A snapshot is ready: with each move of the count, and for the content present at
    // construction, which moves nothing.
    void snapshotReady();
    // Another program's content, read in full, has lost its owner; the count stays and reads
    // still answer it.
    void ownerGone();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
