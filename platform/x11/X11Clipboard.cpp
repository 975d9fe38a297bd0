#include "platform/x11/X11Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <xcb/xcb.h>

namespace tarno {

namespace {

// Qt's own X client, whose windows hold the clipboard after our writes. Null when Qt is not on X.
std::optional<X11ClientIds> qtClientIds()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return std::nullopt;
    const xcb_setup_t *setup = xcb_get_setup(x11->connection());
    return X11ClientIds{setup->resource_id_base, setup->resource_id_mask};
}

// How often a write that the X server ignored is made again before the other owner is accepted.
constexpr int maxWriteRetries = 3;

} // namespace

class X11Clipboard::Private
{
public:
    explicit Private(X11Clipboard *q) : q(q) {}

    void startWatching(X11SelectionLimits limits);
    void offerToQt() const;
    void issueWrite();
    void ownerChanged(quint64 serial, SelectionOwner owner);
    void contentRead(quint64 serial, const SelectionContent &content);
    void synced(quint64 token, bool ours);

    X11Clipboard *q;

    // The watcher's serial whose content becomes the snapshot; none while the snapshot is ours.
    std::optional<quint64> awaitedSerial = 0;

    // The watcher reports owner changes a little late. One made by another program before our
    // latest write reached the server is already overwritten and must not count; the order of the
    // watcher's reports tells: it comes before the owner change of that write.
    quint64 writesIssued = 0;
    quint64 writesSeen = 0;
    bool otherOwnerSinceWrite = false;
    int writeRetries = 0;

    std::unique_ptr<X11SelectionWatcher> watcher;
};

void X11Clipboard::Private::startWatching(X11SelectionLimits limits)
{
    const std::optional<X11ClientIds> qtClient = qtClientIds();
    if (!qtClient)
        return; // Qt's clipboard is not the X one: what X has would not be what we write.

    // Each report goes to the main thread in the order the watcher made it. Posted to `q`, so a
    // report still in the queue when the clipboard is destroyed is dropped with it.
    X11SelectionWatcher::Callbacks callbacks;
    callbacks.ownerChanged = [this](quint64 serial, SelectionOwner owner) {
        QMetaObject::invokeMethod(
            q, [this, serial, owner] { ownerChanged(serial, owner); }, Qt::QueuedConnection);
    };
    callbacks.contentRead = [this](quint64 serial, SelectionContent content) {
        QMetaObject::invokeMethod(
            q, [this, serial, content = std::move(content)] { contentRead(serial, content); },
            Qt::QueuedConnection);
    };
    callbacks.synced = [this](quint64 token, bool ours) {
        QMetaObject::invokeMethod(
            q, [this, token, ours] { synced(token, ours); }, Qt::QueuedConnection);
    };
    watcher = std::make_unique<X11SelectionWatcher>(std::move(callbacks), qtClient, limits);
    if (!watcher->isConnected())
        watcher.reset();
}

void X11Clipboard::offerWritten()
{
    d->offerToQt();
    d->awaitedSerial.reset();
    d->issueWrite();
}

// Asks the watcher to say when what was just offered has reached the server.
void X11Clipboard::Private::issueWrite()
{
    ++writesIssued;
    otherOwnerSinceWrite = false;
    writeRetries = 0;
    if (watcher)
        watcher->sync(writesIssued);
    else
        writesSeen = writesIssued;
}

void X11Clipboard::Private::offerToQt() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    QMimeData *mime = q->writtenContent().toMimeData();
    // Qt offers the usual X text targets for plain text, but not this name of it.
    if (mime->hasFormat(QStringLiteral("text/plain")))
        mime->setData(QStringLiteral("text/plain;charset=utf-8"), mime->data(QStringLiteral("text/plain")));
    clipboard->setMimeData(mime, QClipboard::Clipboard);
}

void X11Clipboard::Private::ownerChanged(quint64 serial, SelectionOwner owner)
{
    if (owner == SelectionOwner::ours) {
        // Our writes were counted when they were made.
        if (writesSeen < writesIssued)
            ++writesSeen;
        return;
    }
    if (writesSeen < writesIssued)
        return;
    otherOwnerSinceWrite = true;
    if (owner == SelectionOwner::none && q->orphanSnapshot())
        return;
    q->forgetContent();
    // The count moves once the content is here (contentRead), not now: a reader woken by the move
    // then finds the content at once instead of an empty clipboard it would have to come back to.
    awaitedSerial = serial;
}

void X11Clipboard::Private::contentRead(quint64 serial, const SelectionContent &content)
{
    if (awaitedSerial != serial)
        return;
    auto mime = std::make_shared<QMimeData>();
    for (const auto &[type, data] : content.formats)
        mime->setData(type, data);
    awaitedSerial.reset();
    // Serial 0 is what was there at construction: read, but no change.
    q->showContent(std::move(mime), !content.formats.isEmpty(), serial != 0);
}

void X11Clipboard::Private::synced(quint64 token, bool ours)
{
    // Every owner change up to this write has been reported; one of ours that never came was
    // dropped by the server.
    writesSeen = std::max(writesSeen, token);
    if (token != writesIssued || ours || otherOwnerSinceWrite)
        return;
    // The server ignores an owner change stamped earlier than the current owner's, and Qt stamps
    // with the last server time it has seen, which lags behind a copy made just before ours. By
    // now Qt has seen that copy, so the same write made again takes.
    if (writeRetries < maxWriteRetries) {
        ++writeRetries;
        offerToQt();
        ++writesIssued;
        watcher->sync(writesIssued);
        return;
    }
    writeRetries = 0;
    watcher->reread();
}

X11Clipboard::X11Clipboard(ReaderFactory readerFactory, X11SelectionLimits limits, QObject *parent)
    : SnapshotClipboard(std::move(readerFactory), parent), d(std::make_unique<Private>(this))
{
    d->startWatching(limits);
}

X11Clipboard::~X11Clipboard()
{
    // Joins the watcher's thread before anything its reports would touch goes away.
    d->watcher.reset();
}

bool X11Clipboard::isWatching() const
{
    return d->watcher != nullptr;
}

bool X11Clipboard::isClipboardManager() const
{
    return d->watcher && d->watcher->isClipboardManager();
}

void X11Clipboard::adoptOrphanedContent()
{
    if (!isOrphaned())
        return;
    forgetContent();
    WrittenContent &written = writtenContent();
    const std::shared_ptr<const QMimeData> orphan = snapshot();
    QByteArray picture;
    for (const QString &type : orphan->formats()) {
        const QByteArray data = orphan->data(type);
        written.set(type, data);
        if (picture.isEmpty() && type.contains(QLatin1String("image"), Qt::CaseInsensitive))
            picture = data;
    }
    if (!picture.isEmpty()) {
        // Qt then also offers the picture in each format it can encode, on demand; a PNG read under
        // some other name (Qt programs offer theirs as their own image type first) goes out as it
        // came, not encoded anew.
        written.image = QImage::fromData(picture);
        if (picture.startsWith("\x89PNG\r\n\x1a\n"))
            written.set(QStringLiteral("image/png"), picture);
    }
    // The same content, so the count stays; only who serves it changes.
    d->offerToQt();
    d->issueWrite();
}

} // namespace tarno
