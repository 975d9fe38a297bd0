#include "platform/x11/X11Clipboard.h"

#include "platform/qt/QtDecodedImage.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <xcb/xcb.h>

namespace tarno {

namespace {

// What Tarno has put on the clipboard since its last clearContents().
struct Written
{
    QList<QPair<QString, QByteArray>> formats;
    QImage image;

    void set(const QString &type, const QByteArray &data)
    {
        for (auto &format : formats) {
            if (format.first == type) {
                format.second = data;
                return;
            }
        }
        formats.append({type, data});
    }

    QMimeData *toMimeData() const
    {
        auto *mime = new QMimeData;
        for (const auto &[type, data] : formats)
            mime->setData(type, data);
        // Qt then offers the image in each format it can encode, besides the bytes set above.
        if (!image.isNull())
            mime->setImageData(image);
        return mime;
    }
};

QImage imageOf(const DecodedImage &image)
{
    if (const auto *qtImage = dynamic_cast<const QtDecodedImage *>(&image))
        return qtImage->image();
    if (std::optional<QByteArray> tiff = image.tiffRepresentation())
        return QImage::fromData(*tiff);
    return {};
}

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
    Private(X11Clipboard *q, ReaderFactory factory) : q(q), factory(std::move(factory)) {}

    void startWatching(X11SelectionLimits limits);
    void write();
    void offerToQt() const;
    void bump();
    void ownerChanged(quint64 serial, SelectionOwner owner);
    void contentRead(quint64 serial, const SelectionContent &content);
    void synced(quint64 token, bool ours);
    const PasteboardReader *reader() const;

    X11Clipboard *q;
    ReaderFactory factory;

    qint64 changeCount = 0;
    std::shared_ptr<const QMimeData> snapshot;
    // The watcher's serial whose content becomes the snapshot; none while the snapshot is ours.
    std::optional<quint64> awaitedSerial = 0;
    // Whether the snapshot is another program's content, read in full, and whether that program
    // has since gone, leaving nobody to serve it.
    bool snapshotIsOthers = false;
    bool orphaned = false;
    mutable std::shared_ptr<const PasteboardReader> snapshotReader;
    Written written;

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

void X11Clipboard::Private::write()
{
    snapshotIsOthers = false;
    orphaned = false;
    offerToQt();
    snapshot.reset(written.toMimeData());
    snapshotReader.reset();
    awaitedSerial.reset();
    ++writesIssued;
    otherOwnerSinceWrite = false;
    writeRetries = 0;
    if (watcher)
        watcher->sync(writesIssued);
    else
        writesSeen = writesIssued;
    bump();
    Q_EMIT q->snapshotReady();
}

void X11Clipboard::Private::offerToQt() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    QMimeData *mime = written.toMimeData();
    // Qt offers the usual X text targets for plain text, but not this name of it.
    if (mime->hasFormat(QStringLiteral("text/plain")))
        mime->setData(QStringLiteral("text/plain;charset=utf-8"), mime->data(QStringLiteral("text/plain")));
    clipboard->setMimeData(mime, QClipboard::Clipboard);
}

void X11Clipboard::Private::bump()
{
    ++changeCount;
    Q_EMIT q->changeCountChanged(changeCount);
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
    // The content stays what it was when its owner leaves: it is what the user copied last, which
    // may be read yet, and which whoever keeps the clipboard alive may serve.
    if (owner == SelectionOwner::none && snapshotIsOthers && !orphaned && snapshot &&
        !snapshot->formats().isEmpty()) {
        orphaned = true;
        Q_EMIT q->ownerGone();
        return;
    }
    orphaned = false;
    snapshotIsOthers = false;
    written = {};
    // The count moves once the content is here (contentRead), not now: a reader woken by the move
    // then finds the content at once instead of an empty clipboard it would have to come back to.
    awaitedSerial = serial;
}

void X11Clipboard::Private::contentRead(quint64 serial, const SelectionContent &content)
{
    if (awaitedSerial != serial)
        return;
    auto *mime = new QMimeData;
    for (const auto &[type, data] : content.formats)
        mime->setData(type, data);
    snapshot.reset(mime);
    snapshotReader.reset();
    awaitedSerial.reset();
    snapshotIsOthers = !content.formats.isEmpty();
    // Serial 0 is what was there at construction: read, but no change.
    if (serial != 0)
        bump();
    Q_EMIT q->snapshotReady();
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

const PasteboardReader *X11Clipboard::Private::reader() const
{
    if (!snapshot)
        return nullptr;
    if (!snapshotReader && factory)
        snapshotReader = factory(snapshot);
    return snapshotReader.get();
}

X11Clipboard::X11Clipboard(ReaderFactory readerFactory, X11SelectionLimits limits, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(this, std::move(readerFactory)))
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

std::shared_ptr<const QMimeData> X11Clipboard::snapshot() const
{
    return d->snapshot;
}

QList<PasteboardItemPtr> X11Clipboard::items() const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->items() : QList<PasteboardItemPtr>();
}

QStringList X11Clipboard::types() const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->types() : QStringList();
}

std::optional<QByteArray> X11Clipboard::dataForType(const QString &type) const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->dataForType(type) : std::nullopt;
}

std::optional<QString> X11Clipboard::stringForType(const QString &type) const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->stringForType(type) : std::nullopt;
}

std::optional<QByteArray> X11Clipboard::utf8StringForType(const QString &type) const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->utf8StringForType(type) : std::nullopt;
}

QList<DecodedImagePtr> X11Clipboard::imageObjects() const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->imageObjects() : QList<DecodedImagePtr>();
}

QList<QUrl> X11Clipboard::fileURLs() const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->fileURLs() : QList<QUrl>();
}

QStringList X11Clipboard::stringObjects() const
{
    const PasteboardReader *reader = d->reader();
    return reader ? reader->stringObjects() : QStringList();
}

qint64 X11Clipboard::changeCount() const
{
    return d->changeCount;
}

bool X11Clipboard::announcesChanges() const
{
    return isWatching();
}

bool X11Clipboard::isOrphaned() const
{
    return d->orphaned;
}

void X11Clipboard::adoptOrphanedContent()
{
    if (!d->orphaned)
        return;
    d->orphaned = false;
    d->snapshotIsOthers = false;
    d->written = {};
    QByteArray picture;
    for (const QString &type : d->snapshot->formats()) {
        const QByteArray data = d->snapshot->data(type);
        d->written.set(type, data);
        if (picture.isEmpty() && type.contains(QLatin1String("image"), Qt::CaseInsensitive))
            picture = data;
    }
    if (!picture.isEmpty()) {
        // Qt then also offers the picture in each format it can encode, on demand; a PNG read under
        // some other name (Qt programs offer theirs as their own image type first) goes out as it
        // came, not encoded anew.
        d->written.image = QImage::fromData(picture);
        if (picture.startsWith("\x89PNG\r\n\x1a\n"))
            d->written.set(QStringLiteral("image/png"), picture);
    }
    // The same content, so the count stays; only who serves it changes.
    d->offerToQt();
    ++d->writesIssued;
    d->otherOwnerSinceWrite = false;
    d->writeRetries = 0;
    if (d->watcher)
        d->watcher->sync(d->writesIssued);
    else
        d->writesSeen = d->writesIssued;
}

void X11Clipboard::clearContents()
{
    // An owner with nothing to offer, rather than no owner: the change is then plainly ours.
    d->written = {};
    d->write();
}

void X11Clipboard::setString(const QString &text, const QString &type)
{
    d->written.set(type, text.toUtf8());
    d->write();
}

void X11Clipboard::setUtf8String(const QByteArray &utf8, const QString &type)
{
    d->written.set(type, utf8);
    d->write();
}

void X11Clipboard::setData(const QByteArray &data, const QString &type)
{
    d->written.set(type, data);
    d->write();
}

void X11Clipboard::writeImage(const DecodedImagePtr &image)
{
    const QImage decoded = image ? imageOf(*image) : QImage();
    if (decoded.isNull())
        return;
    d->written.image = decoded;
    d->write();
}

} // namespace tarno
