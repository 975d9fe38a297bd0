#include "ui/ClipImageProvider.h"

#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/ImageCodec.h"
#include "platform/qt/QtDecodedImage.h"

#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QQuickTextureFactory>
#include <QRecursiveMutex>
#include <QSet>
#include <QThreadPool>
#include <QUuid>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace tarno {

namespace {

class ClipImageResponse;

// The one link between a response and the work answering it. The response may be deleted by the
// engine on its own thread while the work runs on another; the lock makes finishing and deleting
// exclusive. It is recursive because a response finished on its own thread may be deleted from
// within its finished signal.
struct ResponseGuard
{
    QRecursiveMutex mutex;
    ClipImageResponse *response = nullptr;
    std::atomic_bool cancelled{false};

    void finish(QImage image);
};

class ClipImageResponse : public QQuickImageResponse
{
public:
    explicit ClipImageResponse(std::shared_ptr<ResponseGuard> guard) : m_guard(std::move(guard))
    {
        m_guard->response = this;
    }

    ~ClipImageResponse() override
    {
        QMutexLocker locker(&m_guard->mutex);
        m_guard->response = nullptr;
    }

    QQuickTextureFactory *textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }

    // Finished at once: the engine deletes a response only once it has finished, and forgets a
    // cancelled one, so one that finished only when its decode ended could find the engine's loader
    // thread gone, never be deleted, and keep the provider (which Qt ties to every response) and its
    // worker running past the engine, the store, the codec and the application.
    void cancel() override
    {
        m_guard->cancelled = true;
        m_guard->finish(QImage());
    }

    // Called once, with the guard's lock held.
    void complete(QImage image)
    {
        m_image = std::move(image);
        Q_EMIT finished();
    }

private:
    std::shared_ptr<ResponseGuard> m_guard;
    QImage m_image;
};

void ResponseGuard::finish(QImage image)
{
    QMutexLocker locker(&mutex);
    if (ClipImageResponse *target = std::exchange(response, nullptr))
        target->complete(std::move(image));
}

// What the work for one request holds. Whichever way the work ends (answered, skipped, or dropped
// unrun with its queue), the response finishes exactly once; unanswered, with an empty image.
class PendingResponse
{
public:
    explicit PendingResponse(std::shared_ptr<ResponseGuard> guard) : m_guard(std::move(guard)) {}
    ~PendingResponse() { m_guard->finish(QImage()); }
    PendingResponse(const PendingResponse &) = delete;
    PendingResponse &operator=(const PendingResponse &) = delete;

    void finish(QImage image) const { m_guard->finish(std::move(image)); }
    bool isCancelled() const { return m_guard->cancelled; }

private:
    std::shared_ptr<ResponseGuard> m_guard;
};

using PendingResponsePtr = std::shared_ptr<PendingResponse>;

// The corners made transparent, as a rounded clip would; the popover's renderer has no shader
// effects to mask with. `radius` is in pixels of the requested size.
QImage withRoundedCorners(const QImage &image, QSize requestedSize, qreal radius)
{
    const qreal scale = requestedSize.width() > 0 ? qreal(image.width()) / requestedSize.width() : 1.0;
    const qreal r = radius * std::min<qreal>(1.0, scale);
    QImage rounded(image.size(), QImage::Format_ARGB32_Premultiplied);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rounded.rect()), r, r);
    painter.setClipPath(path);
    painter.drawImage(0, 0, image);
    return rounded;
}

// Decodes the bytes and keeps only the scaled copy; the full bitmap lives only for this call.
QImage thumbnail(const ImageCodec &codec, const QByteArray &bytes, QSize requestedSize, qreal cornerRadius)
{
    const DecodedImagePtr decoded = codec.imageFromData(bytes);
    if (!decoded)
        return {};
    QImage image = QtDecodedImage::toQImage(*decoded);
    if (image.isNull())
        return {};
    const QSize size = ClipImageProvider::thumbnailSize(image.size(), requestedSize);
    if (size.isEmpty())
        return {};
    if (size != image.size())
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return cornerRadius > 0 ? withRoundedCorners(image, requestedSize, cornerRadius) : image;
}

struct CacheKey
{
    QString id;
    QSize size;
    qreal cornerRadius = 0;
    friend bool operator==(const CacheKey &, const CacheKey &) = default;
};

size_t qHash(const CacheKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.id, key.size.width(), key.size.height(), key.cornerRadius);
}

std::optional<QByteArray> imageBytesOf(const ClipboardHistoryViewModel &history, const QUuid &uuid)
{
    for (const ClipboardItem &item : history.items()) {
        if (item.id == uuid)
            return item.imageData;
    }
    return std::nullopt;
}

bool holdsClip(const ClipboardHistoryViewModel &history, const QString &id)
{
    const QUuid uuid = QUuid::fromString(id);
    const QList<ClipboardItem> &items = history.items();
    return std::any_of(items.begin(), items.end(),
                       [&](const ClipboardItem &item) { return item.id == uuid; });
}

} // namespace

// Everything here but the pool is touched on the main thread only.
struct ClipImageProvider::State : std::enable_shared_from_this<ClipImageProvider::State>
{
    State(ClipboardHistoryViewModel &history, const ImageCodec &codec) : history(history), codec(codec)
    {
        // One worker: decoding a screenshot briefly takes its full bitmap, and one at a time keeps
        // that to one bitmap while leaving the other core to the interface.
        pool.setMaxThreadCount(1);
    }

    ~State()
    {
        // Work not yet started is dropped, and its responses finish empty; work under way ends
        // before the codec can go away.
        pool.clear();
        pool.waitForDone();
    }

    void serve(const QString &id, QSize requestedSize, PendingResponsePtr pending)
    {
        // "<clip id>" or "<clip id>/rounded/<corner radius in pixels of the requested size>".
        const QStringList parts = id.split(QLatin1Char('/'));
        qreal cornerRadius = 0;
        if (parts.size() == 3 && parts[1] == QLatin1String("rounded"))
            cornerRadius = std::max(0.0, parts[2].toDouble());
        else if (parts.size() != 1)
            return;
        // Keyed by the id's canonical spelling, the one the store's ids are compared in.
        const QUuid uuid = QUuid::fromString(parts[0]);
        if (uuid.isNull())
            return;
        const CacheKey key{uuid.toString(QUuid::WithoutBraces), requestedSize, cornerRadius};
        if (const auto cached = cache.constFind(key); cached != cache.cend()) {
            pending->finish(*cached);
            return;
        }
        const std::optional<QByteArray> bytes = imageBytesOf(history, uuid);
        if (!bytes)
            return;
        pool.start(
            [bytes = *bytes, key, pending = std::move(pending), codec = &codec, weak = weak_from_this()] {
                if (pending->isCancelled())
                    return;
                QImage image = thumbnail(*codec, bytes, key.size, key.cornerRadius);
#ifdef __GLIBC__
                // The full bitmap just freed is as large as glibc's raised mmap threshold lets it
                // stay in this thread's arena; hand it back rather than keep tens of megabytes for
                // the next thumbnail.
                malloc_trim(0);
#endif
                // Filed before it is answered, so that whoever hears the answer on the main thread
                // finds the thumbnail cached.
                if (!image.isNull()) {
                    QMetaObject::invokeMethod(
                        QCoreApplication::instance(),
                        [weak, key, image] {
                            if (const std::shared_ptr<State> state = weak.lock())
                                state->store(key, image);
                        },
                        Qt::QueuedConnection);
                }
                pending->finish(std::move(image));
            });
    }

    // A thumbnail is kept only while its clip is in the store; one that left while it was being
    // made is not cached.
    void store(const CacheKey &key, const QImage &image)
    {
        if (holdsClip(history, key.id))
            cache.insert(key, image);
    }

    void dropRemovedClips()
    {
        if (cache.isEmpty())
            return;
        QSet<QString> present;
        for (const ClipboardItem &item : history.items())
            present.insert(item.id.toString(QUuid::WithoutBraces));
        cache.removeIf([&](const QHash<CacheKey, QImage>::iterator &entry) {
            return !present.contains(entry.key().id);
        });
    }

    ClipboardHistoryViewModel &history;
    const ImageCodec &codec;
    QHash<CacheKey, QImage> cache;
    QThreadPool pool;
    QMetaObject::Connection itemsConnection;
};

ClipImageProvider::ClipImageProvider(ClipboardHistoryViewModel &history, const ImageCodec &codec)
    : m_state(std::make_shared<State>(history, codec))
{
    m_state->itemsConnection = QObject::connect(&history, &ClipboardHistoryViewModel::itemsChanged,
                                                [weak = std::weak_ptr<State>(m_state)] {
                                                    if (const std::shared_ptr<State> state = weak.lock())
                                                        state->dropRemovedClips();
                                                });
}

ClipImageProvider::~ClipImageProvider()
{
    QObject::disconnect(m_state->itemsConnection);
}

QQuickImageResponse *ClipImageProvider::requestImageResponse(const QString &id, const QSize &requestedSize)
{
    auto guard = std::make_shared<ResponseGuard>();
    auto *response = new ClipImageResponse(guard);
    auto pending = std::make_shared<PendingResponse>(std::move(guard));
    // The store is read on the main thread; requests come from the engine's loader thread.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak = std::weak_ptr<State>(m_state), id, requestedSize, pending = std::move(pending)]() mutable {
            if (const std::shared_ptr<State> state = weak.lock())
                state->serve(id, requestedSize, std::move(pending));
        },
        Qt::QueuedConnection);
    return response;
}

qsizetype ClipImageProvider::cachedImageCount() const
{
    return m_state->cache.size();
}

QImage ClipImageProvider::cachedThumbnail(const QUuid &clipId) const
{
    const QString id = clipId.toString(QUuid::WithoutBraces);
    QImage largest;
    for (auto entry = m_state->cache.cbegin(); entry != m_state->cache.cend(); ++entry) {
        if (entry.key().id == id && entry.value().width() > largest.width())
            largest = entry.value();
    }
    return largest;
}

QSize ClipImageProvider::thumbnailSize(QSize imageSize, QSize requestedSize)
{
    if (imageSize.isEmpty())
        return {};
    QSize bound = requestedSize;
    if (bound.width() <= 0 && bound.height() <= 0)
        bound = defaultMaximumSize;
    constexpr int unbounded = std::numeric_limits<int>::max() / 2;
    if (bound.width() <= 0)
        bound.setWidth(unbounded);
    if (bound.height() <= 0)
        bound.setHeight(unbounded);
    if (imageSize.width() <= bound.width() && imageSize.height() <= bound.height())
        return imageSize;
    const double scale =
        std::min(double(bound.width()) / imageSize.width(), double(bound.height()) / imageSize.height());
    return QSize(std::max(1, int(std::lround(imageSize.width() * scale))),
                 std::max(1, int(std::lround(imageSize.height() * scale))));
}

} // namespace tarno
