#include "platform/qt/InotifyFileEvents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tarno {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kFileEvents =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
// Masks only ever grow (IN_MASK_ADD): one folder can be both covered and the ancestor of a missing one.
constexpr std::uint32_t kCoveredMask =
    kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK | IN_MASK_ADD;
// An ancestor of a missing folder only needs to hear of the next path component appearing.
constexpr std::uint32_t kAncestorMask =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// Guards against pathological trees (bind-mount loops); real screenshot folders are shallow.
constexpr int kMaxDepth = 64;

QString joinPath(const QString &dir, const QString &name)
{
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

// Whether `path` is `dir` or lies below it.
bool isAtOrBelow(const QString &path, const QString &dir)
{
    if (path == dir)
        return true;
    return path.startsWith(dir.endsWith(u'/') ? dir : dir + u'/');
}

QString parentOf(const QString &path)
{
    if (path == u"/")
        return {};
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool isDirectory(const QString &path)
{
    return QFileInfo(path).isDir();
}

QString nearestExistingAncestor(const QString &path)
{
    QString dir = parentOf(path);
    while (!dir.isEmpty() && !isDirectory(dir))
        dir = parentOf(dir);
    return dir;
}

// What queued deliveries share with their stream. Once `alive` is false no callback starts; the
// mutex makes the destructor wait for one that is running. Recursive, so that a callback may end its
// own stream.
struct Delivery
{
    std::recursive_mutex mutex;
    bool alive = true;
    FileEvents::PathsCallback onPaths;
};

class InotifyStream : public FileEventStream
{
public:
    InotifyStream(Milliseconds latency, TaskQueue &queue, FileEvents::PathsCallback onPaths);
    ~InotifyStream() override;

    // Sets up the watches on the calling thread and starts the reader; false when nothing is watched.
    bool start(const QStringList &folders);

private:
    struct Watch
    {
        QString path;
        bool covered = false;  // below a listed folder: its files are reported
        bool ancestor = false; // nearest existing ancestor of a listed folder that is missing
    };

    void run();
    void readEvents();
    void handle(const inotify_event &event);
    void report(const QString &path);
    void flush();

    int addWatch(const QString &path, std::uint32_t mask);
    void discard(int wd);
    void forget(int wd);
    bool isCovered(const QString &path) const;
    void coverTree(const QString &dir, bool reportFiles, bool isListed, int depth = 0);
    void uncoverTree(const QString &dir);
    void resolveRoots(bool reportFiles);
    void resolveRoot(const QString &root, bool reportFiles);
    bool hasMissingRootAtOrBelow(const QString &dir) const;
    void rescan();

    const Milliseconds m_latency;
    TaskQueue &m_queue;
    std::shared_ptr<Delivery> m_delivery;
    int m_inotify = -1;
    int m_wake = -1;
    std::thread m_reader;

    // Everything below is touched only by the reader thread once it runs.
    QStringList m_roots;
    QHash<QString, QString> m_rootAncestors; // missing listed folder -> the ancestor watched for it
    QHash<int, Watch> m_watches;
    QHash<QString, int> m_byPath;
    QStringList m_batch;
    QSet<QString> m_batchSet;
    Clock::time_point m_deadline;
};

InotifyStream::InotifyStream(Milliseconds latency, TaskQueue &queue, FileEvents::PathsCallback onPaths)
    : m_latency(std::max(latency, Milliseconds(0))), m_queue(queue), m_delivery(std::make_shared<Delivery>())
{
    m_delivery->onPaths = std::move(onPaths);
}

InotifyStream::~InotifyStream()
{
    {
        std::lock_guard lock(m_delivery->mutex);
        m_delivery->alive = false;
        m_delivery->onPaths = nullptr;
    }
    if (m_reader.joinable()) {
        const std::uint64_t one = 1;
        // An eventfd write only fails when the counter is saturated, which still wakes the reader.
        if (::write(m_wake, &one, sizeof one) < 0) {
        }
        m_reader.join();
    }
    if (m_wake >= 0)
        ::close(m_wake);
    if (m_inotify >= 0)
        ::close(m_inotify);
}

bool InotifyStream::start(const QStringList &folders)
{
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotify < 0 || m_wake < 0)
        return false;
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
        if (!m_roots.contains(root))
            m_roots.append(root);
    }
    resolveRoots(false);
    if (m_watches.isEmpty())
        return false;
    m_reader = std::thread([this] { run(); });
    return true;
}

void InotifyStream::run()
{
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
    for (;;) {
        int timeout = -1; // nothing pending: sleep until the kernel has something
        if (!m_batch.isEmpty()) {
            const auto left = std::chrono::ceil<Milliseconds>(m_deadline - Clock::now()).count();
            timeout = int(std::clamp<std::int64_t>(left, 0, 60'000));
        }
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents & POLLIN)
            readEvents();
        else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return;
        if (!m_batch.isEmpty() && Clock::now() >= m_deadline)
            flush();
    }
}

void InotifyStream::readEvents()
{
    alignas(inotify_event) char buffer[32 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return; // drained (EAGAIN)
        for (const char *at = buffer; at < buffer + length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            handle(*event);
            at += sizeof(inotify_event) + event->len;
        }
    }
}

void InotifyStream::handle(const inotify_event &event)
{
    if (event.mask & IN_Q_OVERFLOW) {
        rescan();
        return;
    }
    const auto found = m_watches.constFind(event.wd);
    if (found == m_watches.constEnd())
        return; // a watch already dropped
    const Watch watch = *found;

    if (event.mask & IN_IGNORED) {
        // The folder is gone; a listed folder among it is watched for again.
        forget(event.wd);
        resolveRoots(true);
        return;
    }
    if (event.mask & IN_MOVE_SELF) {
        // A covered subfolder that moves is handled through its parent's event. A listed folder or a
        // watched ancestor that moves takes its watch along to a path we no longer know.
        if (watch.ancestor || m_roots.contains(watch.path)) {
            uncoverTree(watch.path);
            if (m_watches.contains(event.wd))
                discard(event.wd);
            resolveRoots(true);
        }
        return;
    }
    if (event.len == 0)
        return;

    const QString path = joinPath(watch.path, QFile::decodeName(event.name));
    if (event.mask & IN_ISDIR) {
        const bool appeared = event.mask & (IN_CREATE | IN_MOVED_TO);
        const bool left = event.mask & IN_MOVED_FROM;
        if (watch.covered) {
            if (appeared)
                coverTree(path, true, false);
            else if (left)
                uncoverTree(path);
        }
        // A listed folder nested in another one may have just appeared or moved away.
        if ((appeared || left) && hasMissingRootAtOrBelow(path))
            resolveRoots(true);
        return;
    }
    if (watch.covered && (event.mask & kFileEvents))
        report(path);
}

void InotifyStream::report(const QString &path)
{
    if (m_batchSet.contains(path))
        return;
    if (m_batch.isEmpty())
        m_deadline = Clock::now() + m_latency;
    m_batch.append(path);
    m_batchSet.insert(path);
}

void InotifyStream::flush()
{
    QStringList paths = std::move(m_batch);
    m_batch.clear();
    m_batchSet.clear();
    m_queue.async([delivery = m_delivery, paths = std::move(paths)] {
        std::lock_guard lock(delivery->mutex);
        if (!delivery->alive)
            return;
        // A copy: the callback may end the stream, which drops the stored one.
        const FileEvents::PathsCallback onPaths = delivery->onPaths;
        onPaths(paths);
    });
}

int InotifyStream::addWatch(const QString &path, std::uint32_t mask)
{
    const int wd = ::inotify_add_watch(m_inotify, QFile::encodeName(path).constData(), mask);
    if (wd < 0)
        return -1; // gone meanwhile, not a folder, no permission, or out of watches
    auto it = m_watches.find(wd);
    if (it == m_watches.end())
        m_watches.insert(wd, Watch{path});
    m_byPath.insert(path, wd);
    return wd;
}

void InotifyStream::discard(int wd)
{
    ::inotify_rm_watch(m_inotify, wd);
    forget(wd);
}

void InotifyStream::forget(int wd)
{
    m_watches.remove(wd);
    m_byPath.removeIf([wd](const QHash<QString, int>::iterator &it) { return it.value() == wd; });
}

bool InotifyStream::isCovered(const QString &path) const
{
    const auto it = m_byPath.constFind(path);
    return it != m_byPath.constEnd() && m_watches.value(*it).covered;
}

void InotifyStream::coverTree(const QString &dir, bool reportFiles, bool isListed, int depth)
{
    if (depth > kMaxDepth)
        return;
    // A listed folder may be a symbolic link to the real one; below it, links are not followed.
    const int wd = addWatch(dir, kCoveredMask | (isListed ? 0 : IN_DONT_FOLLOW));
    if (wd < 0)
        return;
    m_watches[wd].covered = true;
    // Scanned only now that the watch is in place, so whatever arrives in between is seen one way
    // or the other.
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString path = joinPath(dir, entry.fileName());
        if (entry.isDir()) {
            if (!entry.isSymLink())
                coverTree(path, reportFiles, false, depth + 1);
        } else if (reportFiles) {
            report(path);
        }
    }
}

void InotifyStream::uncoverTree(const QString &dir)
{
    QList<int> below;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (it->covered && isAtOrBelow(it->path, dir))
            below.append(it.key());
    }
    for (int wd : below) {
        Watch &watch = m_watches[wd];
        watch.covered = false;
        if (!watch.ancestor)
            discard(wd);
    }
}

void InotifyStream::resolveRoots(bool reportFiles)
{
    for (const QString &root : std::as_const(m_roots)) {
        if (!isCovered(root))
            resolveRoot(root, reportFiles);
    }
    // Ancestor watches no missing folder relies on any more are dropped.
    QSet<QString> needed;
    for (const QString &root : std::as_const(m_roots)) {
        if (!isCovered(root) && m_rootAncestors.contains(root))
            needed.insert(m_rootAncestors.value(root));
    }
    QList<int> unneeded;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (it->ancestor && !needed.contains(it->path))
            unneeded.append(it.key());
    }
    for (int wd : unneeded) {
        Watch &watch = m_watches[wd];
        watch.ancestor = false;
        if (!watch.covered)
            discard(wd);
    }
}

void InotifyStream::resolveRoot(const QString &root, bool reportFiles)
{
    // Bounded: a folder that keeps appearing and vanishing must not hold the reader forever.
    for (int attempt = 0; attempt < 32; ++attempt) {
        if (isDirectory(root)) {
            coverTree(root, reportFiles, true);
            if (isCovered(root)) {
                m_rootAncestors.remove(root);
                return;
            }
        }
        const QString ancestor = nearestExistingAncestor(root);
        if (ancestor.isEmpty())
            return;
        const int wd = addWatch(ancestor, kAncestorMask);
        if (wd < 0)
            return;
        m_watches[wd].ancestor = true;
        m_rootAncestors.insert(root, ancestor);
        // The next component may have appeared before the watch was in place; then go deeper.
        if (!isDirectory(root) && nearestExistingAncestor(root) == ancestor)
            return;
    }
}

bool InotifyStream::hasMissingRootAtOrBelow(const QString &dir) const
{
    return std::any_of(m_roots.cbegin(), m_roots.cend(),
                       [&](const QString &root) { return isAtOrBelow(root, dir) && !isCovered(root); });
}

void InotifyStream::rescan()
{
    // The events that would have told of removals may be among those lost.
    QList<int> gone;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (!isDirectory(it->path))
            gone.append(it.key());
    }
    for (int wd : gone)
        discard(wd);
    for (const QString &root : std::as_const(m_roots)) {
        if (isCovered(root))
            coverTree(root, false, true);
    }
    resolveRoots(false);
}

} // namespace

std::unique_ptr<FileEventStream> InotifyFileEvents::watch(const QStringList &folders, Milliseconds latency,
                                                          TaskQueue &queue, PathsCallback onPaths)
{
    auto stream = std::make_unique<InotifyStream>(latency, queue, std::move(onPaths));
    if (!stream->start(folders))
        return nullptr;
    return stream;
}

} // namespace tarno
