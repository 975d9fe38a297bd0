#include "platform/wayland/WaylandClipboard.h"

#include "platform/qt/QtDecodedImage.h"
#include "platform/qt/SelectionPlan.h"
#include "platform/wayland/DataControl.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QSocketNotifier>
#include <QThreadPool>

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarno {

namespace {

using Clock = std::chrono::steady_clock;

const QString plainText = QStringLiteral("text/plain");
// Every name under which programs ask for text, best first.
const QStringList textTypes = {QStringLiteral("text/plain;charset=utf-8"), plainText,
                               QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"),
                               QStringLiteral("TEXT")};
// The picture formats offered besides the bytes a write gave, when Qt can write them.
const QStringList imageTypes = {QStringLiteral("image/png"), QStringLiteral("image/bmp"),
                                QStringLiteral("image/tiff")};
// Marks our own selection, with the number of the write behind it, so that the compositor's report
// of it is never read back.
const QString ownMarkPrefix = QStringLiteral("application/x-tarno-selection;write=");

// Wakes a worker blocked on a pipe when its transfer is no longer wanted.
class CancelToken
{
public:
    CancelToken() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~CancelToken()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CancelToken(const CancelToken &) = delete;
    CancelToken &operator=(const CancelToken &) = delete;

    void cancel()
    {
        m_cancelled = true;
        const uint64_t one = 1;
        if (m_fd >= 0)
            (void)!write(m_fd, &one, sizeof one);
    }
    bool isCancelled() const { return m_cancelled; }
    int fd() const { return m_fd; }

private:
    int m_fd;
    std::atomic<bool> m_cancelled = false;
};

// Waits until `fd` is ready for `events`, the deadline passes or the transfer is cancelled.
bool waitFor(int fd, short events, Clock::time_point deadline, const CancelToken &cancel)
{
    for (;;) {
        if (cancel.isCancelled())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{fd, events, 0}, {cancel.fd(), POLLIN, 0}};
        const int ready = poll(fds, cancel.fd() >= 0 ? 2 : 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds[1].revents & POLLIN))
            return false;
        return true;
    }
}

struct PipeRead
{
    QByteArray data;
    // Whether the source closed its end before the deadline, within the bound or past a text's.
    bool complete = false;
};

// Reads a pipe to its end. Past `keep` bytes the rest is read and dropped (a text keeps its start)
// or, with `dropPast` set, the whole read fails at once.
PipeRead readPipe(int fd, qint64 keep, bool dropPast, Clock::time_point deadline, const CancelToken &cancel)
{
    PipeRead result;
    char buffer[65536];
    for (;;) {
        if (!waitFor(fd, POLLIN, deadline, cancel))
            break;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            result.complete = got == 0;
            break;
        }
        const qint64 room = keep - result.data.size();
        if (got > room && dropPast)
            break;
        result.data.append(buffer, qsizetype(std::clamp<qint64>(room, 0, got)));
    }
    close(fd);
    if (!result.complete)
        result.data.clear();
    return result;
}

// Writes all of `data` into a reader's fd, giving up at the deadline or when the reader leaves.
void writePipe(int fd, const QByteArray &data, Clock::time_point deadline, const CancelToken &cancel)
{
    // A reader that closes its end early would otherwise end the whole program.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    qsizetype done = 0;
    while (done < data.size()) {
        if (!waitFor(fd, POLLOUT, deadline, cancel))
            break;
        const ssize_t put = write(fd, data.constData() + done, size_t(data.size() - done));
        if (put < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (put < 0) {
            if (errno == EPIPE) {
                const timespec now{};
                sigtimedwait(&pipeSignal, nullptr, &now);
            }
            break;
        }
        done += put;
    }
    close(fd);
}

// Every type the content can be had in, best first.
QStringList offeredTypes(const WrittenContent &written)
{
    QStringList types;
    for (const auto &format : written.formats) {
        const QStringList names = format.first == plainText ? textTypes : QStringList{format.first};
        for (const QString &name : names) {
            if (!types.contains(name))
                types.append(name);
        }
    }
    if (!written.image.isNull()) {
        const QList<QByteArray> writable = QImageWriter::supportedMimeTypes();
        for (const QString &type : imageTypes) {
            if (!types.contains(type) && writable.contains(type.toLatin1()))
                types.append(type);
        }
    }
    return types;
}

// The bytes for one of the offered types; images not given as bytes are encoded here, which is why
// this runs on a worker.
QByteArray bytesFor(const WrittenContent &written, const QString &type)
{
    if (textTypes.contains(type)) {
        const QByteArray utf8 = written.find(plainText).value_or(QByteArray());
        return type == QLatin1String("STRING") ? QString::fromUtf8(utf8).toLatin1() : utf8;
    }
    if (std::optional<QByteArray> data = written.find(type))
        return *data;
    if (written.image.isNull() || !imageTypes.contains(type))
        return {};
    const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(type.toLatin1());
    if (formats.isEmpty())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, formats.first());
    return writer.write(written.image) ? bytes : QByteArray();
}

// One read of a selection offer, type after type.
struct Read
{
    void *offer = nullptr;
    bool initial = false;
    QStringList types;
    QList<TypeGroup> plan;
    qsizetype group = 0;
    qsizetype candidate = 0;
    QList<QPair<QString, QByteArray>> formats;
    qint64 bytes = 0;
    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();
};

} // namespace

class WaylandClipboard::Private : public DataControl::Events
{
public:
    Private(WaylandClipboard *q, WaylandReadLimits limits) : q(q), limits(limits)
    {
        // Reads and sends each hold a thread while their peer takes its time; a few at once is
        // plenty, as a newer selection cancels the older read.
        pool.setMaxThreadCount(4);
    }
    ~Private() override;

    bool connect();
    void disconnect();
    void dispatch();
    void flush();
    bool checkConnection();

    void offerCreated(void *offer) override;
    void offerType(void *offer, const char *type) override;
    void selection(void *offer) override;
    void primarySelection(void *offer) override;
    void finished() override;
    void send(void *source, const char *type, int fd) override;
    void cancelled(void *source) override;

    void startRead(void *offer, QStringList types, bool initial);
    void requestNext();
    void typeRead(const std::shared_ptr<CancelToken> &token, PipeRead result);
    void finishRead();
    void abandonRead();
    void showEmpty();

    void offer();

    WaylandClipboard *q;
    WaylandReadLimits limits;

    wl_display *display = nullptr;
    std::unique_ptr<DataControl> control;
    std::unique_ptr<QSocketNotifier> notifier;
    QThreadPool pool;
    // Ends sends still in progress when we go.
    std::shared_ptr<CancelToken> sendsCancel = std::make_shared<CancelToken>();

    // Offers announced, with their types so far, until they are named as a selection.
    QHash<void *, QStringList> offers;
    void *selectionOffer = nullptr;
    std::optional<Read> read;
    bool sawFirstSelection = false;

    // Each source we make, with the content it serves; the newest is the selection we asked for.
    QHash<void *, std::shared_ptr<const WrittenContent>> sources;
    // A selection made by another program before our latest write reached the compositor is
    // reported before our own and is already overwritten: it must not count.
    quint64 writesIssued = 0;
    quint64 writesSeen = 0;
};

WaylandClipboard::Private::~Private()
{
    abandonRead();
    sendsCancel->cancel();
    pool.waitForDone();
    disconnect();
}

bool WaylandClipboard::Private::connect()
{
    display = wl_display_connect(nullptr);
    if (!display)
        return false;
    control = DataControl::connect(display, this);
    if (!control || !checkConnection()) {
        disconnect();
        return false;
    }
    notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, q, [this] { dispatch(); });
    // The requests above are still to be sent, and events may already wait in the queue, which the
    // notifier cannot see.
    QMetaObject::invokeMethod(
        q, [this] { dispatch(); }, Qt::QueuedConnection);
    flush();
    return true;
}

void WaylandClipboard::Private::disconnect()
{
    notifier.reset();
    if (!display)
        return;
    for (auto it = offers.cbegin(); it != offers.cend(); ++it) {
        if (control)
            control->destroyOffer(it.key());
    }
    offers.clear();
    if (selectionOffer && control)
        control->destroyOffer(selectionOffer);
    selectionOffer = nullptr;
    if (control) {
        for (auto it = sources.cbegin(); it != sources.cend(); ++it)
            control->destroySource(it.key());
    }
    sources.clear();
    control.reset();
    wl_display_flush(display);
    wl_display_disconnect(display);
    display = nullptr;
}

void WaylandClipboard::Private::dispatch()
{
    if (!display)
        return;
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            break;
    }
    // The notifier said there is something to read; reading never waits.
    wl_display_read_events(display);
    wl_display_dispatch_pending(display);
    flush();
}

void WaylandClipboard::Private::flush()
{
    if (display && checkConnection())
        wl_display_flush(display);
}

bool WaylandClipboard::Private::checkConnection()
{
    const int error = wl_display_get_error(display);
    if (error == 0)
        return true;
    // A protocol error is the compositor saying we broke its rules: nothing to retry.
    quint32 id = 0;
    const wl_interface *interface = nullptr;
    const quint32 code = wl_display_get_protocol_error(display, &interface, &id);
    if (error == EPROTO)
        qWarning("Wayland clipboard stopped: protocol error %u on %s", code,
                 interface ? interface->name : "?");
    else
        qWarning("Wayland clipboard stopped: the connection to the compositor failed (%s)",
                 std::strerror(error));
    notifier.reset();
    return false;
}

void WaylandClipboard::Private::offerCreated(void *offer)
{
    offers.insert(offer, {});
}

void WaylandClipboard::Private::offerType(void *offer, const char *type)
{
    const auto found = offers.find(offer);
    if (found != offers.end())
        found->append(QString::fromUtf8(type));
}

void WaylandClipboard::Private::primarySelection(void *offer)
{
    if (offer && offers.remove(offer))
        control->destroyOffer(offer);
}

void WaylandClipboard::Private::finished()
{
    qWarning("Wayland clipboard stopped: the compositor withdrew the seat");
    abandonRead();
    notifier.reset();
}

void WaylandClipboard::Private::selection(void *offer)
{
    const bool initial = !sawFirstSelection;
    sawFirstSelection = true;
    const QStringList types = offer ? offers.take(offer) : QStringList();
    // The offer named before is replaced, and with it any read of it.
    abandonRead();
    if (selectionOffer)
        control->destroyOffer(selectionOffer);
    selectionOffer = offer;

    const auto mark = std::find_if(types.cbegin(), types.cend(),
                                   [](const QString &type) { return type.startsWith(ownMarkPrefix); });
    if (mark != types.cend()) {
        writesSeen = std::max(writesSeen, mark->mid(ownMarkPrefix.size()).toULongLong());
        return;
    }
    if (writesSeen < writesIssued)
        return;
    if (!offer && q->orphanSnapshot())
        return;
    q->forgetContent();
    if (!offer) {
        showEmpty();
        return;
    }
    startRead(offer, types, initial);
}

void WaylandClipboard::Private::showEmpty()
{
    q->showContent(std::make_shared<QMimeData>(), false, true);
}

void WaylandClipboard::Private::startRead(void *offer, QStringList types, bool initial)
{
    read.emplace();
    read->offer = offer;
    read->initial = initial;
    read->plan = planReads(types);
    read->types = std::move(types);
    requestNext();
}

void WaylandClipboard::Private::requestNext()
{
    while (read->group < read->plan.size()) {
        const TypeGroup &group = read->plan.at(read->group);
        if (read->candidate >= group.candidates.size()) {
            ++read->group;
            read->candidate = 0;
            continue;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            finishRead();
            return;
        }
        // Only our end: the source's writes may block as it likes.
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        const QString &type = read->types.at(group.candidates.at(read->candidate));
        control->receive(read->offer, type.toUtf8(), fds[1]);
        close(fds[1]);
        flush();
        const bool text = group.kind == TypeGroup::Text;
        const qint64 budget = limits.maxTotalBytes - read->bytes;
        const qint64 keep = text ? std::min(budget, limits.maxTextBytes) : budget;
        const Clock::time_point deadline = Clock::now() + limits.requestTimeout;
        std::shared_ptr<CancelToken> token = read->cancel;
        const int fd = fds[0];
        pool.start([this, token, fd, keep, text, deadline] {
            PipeRead result = readPipe(fd, keep, !text, deadline, *token);
            if (token->isCancelled())
                return;
            // Posted to `q`, so a result still queued when the clipboard goes is dropped with it; the
            // pool is joined before then.
            QMetaObject::invokeMethod(
                q, [this, token, result = std::move(result)] { typeRead(token, result); },
                Qt::QueuedConnection);
        });
        return;
    }
    finishRead();
}

void WaylandClipboard::Private::typeRead(const std::shared_ptr<CancelToken> &token, PipeRead result)
{
    if (!read || read->cancel != token)
        return;
    const TypeGroup &group = read->plan.at(read->group);
    const QString &type = read->types.at(group.candidates.at(read->candidate));
    QByteArray &data = result.data;
    bool added = false;
    if (group.kind == TypeGroup::Text) {
        if (data.endsWith('\0'))
            data.chop(1);
        // Only X programs across the bridge answer STRING, and in Latin-1.
        if (textType(type) == TextType::String)
            data = QString::fromLatin1(data).toUtf8();
        if (result.complete) {
            read->bytes += data.size();
            read->formats.append({plainText, std::move(data)});
            added = true;
        }
    } else if (!data.isEmpty()) {
        read->bytes += data.size();
        read->formats.append({type, data});
        added = true;
        if (type == PasteboardType::passwordManagerHint && data.trimmed() == "secret")
            read->plan.resize(read->group + 1); // nothing more is asked of the source
    }
    if (added) {
        ++read->group;
        read->candidate = 0;
    } else {
        ++read->candidate;
    }
    requestNext();
}

void WaylandClipboard::Private::finishRead()
{
    Read done = std::move(*read);
    read.reset();
    auto mime = std::make_shared<QMimeData>();
    for (const auto &[type, data] : std::as_const(done.formats))
        mime->setData(type, data);
    q->showContent(std::move(mime), !done.formats.isEmpty(), !done.initial);
}

void WaylandClipboard::Private::abandonRead()
{
    if (!read)
        return;
    read->cancel->cancel();
    read.reset();
}

void WaylandClipboard::Private::send(void *source, const char *type, int fd)
{
    const std::shared_ptr<const WrittenContent> content = sources.value(source);
    if (!content) {
        close(fd);
        return;
    }
    const QString name = QString::fromUtf8(type);
    const Clock::time_point deadline = Clock::now() + limits.requestTimeout;
    std::shared_ptr<CancelToken> cancel = sendsCancel;
    pool.start([content, name, fd, deadline, cancel] {
        writePipe(fd, bytesFor(*content, name), deadline, *cancel);
    });
}

void WaylandClipboard::Private::cancelled(void *source)
{
    if (sources.remove(source))
        control->destroySource(source);
    flush();
}

void WaylandClipboard::offerWritten()
{
    d->abandonRead();
    d->offer();
}

void WaylandClipboard::Private::offer()
{
    if (!control || !notifier)
        return;
    ++writesIssued;
    const WrittenContent &written = q->writtenContent();
    QStringList types = offeredTypes(written);
    types.append(ownMarkPrefix + QString::number(writesIssued));
    void *source = control->createSource(types);
    sources.insert(source, std::make_shared<const WrittenContent>(written));
    control->setSelection(source);
    flush();
}

WaylandClipboard::WaylandClipboard(ReaderFactory readerFactory, WaylandReadLimits limits, QObject *parent)
    : SnapshotClipboard(std::move(readerFactory), parent), d(std::make_unique<Private>(this, limits))
{
    d->connect();
}

WaylandClipboard::~WaylandClipboard() = default;

bool WaylandClipboard::isWatching() const
{
    return d->notifier != nullptr;
}

QString WaylandClipboard::protocolName() const
{
    return isWatching() ? QString::fromLatin1(d->control->interfaceName()) : QString();
}

void WaylandClipboard::adoptOrphanedContent()
{
    if (!isOrphaned())
        return;
    forgetContent();
    WrittenContent &written = writtenContent();
    const std::shared_ptr<const QMimeData> orphan = snapshot();
    for (const QString &type : orphan->formats()) {
        const QByteArray data = orphan->data(type);
        written.set(type, data);
        // Offered again in the other picture formats too, encoded on demand.
        if (written.image.isNull() && type.startsWith(QLatin1String("image/")))
            written.image = QImage::fromData(data);
    }
    // The same content, so the count stays; only who serves it changes.
    d->offer();
}

} // namespace tarno
