#include "platform/qt/InotifyFileEvents.h"
#include "platform/qt/QtRuntime.h"
#include "tests/support/TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

// Generous: the reader reacts within milliseconds, but a loaded machine may stall a while.
constexpr auto kPatience = 10s;

// Batches as delivered on the queue's thread, waited for from the test's thread.
class Recorder
{
public:
    FileEvents::PathsCallback callback()
    {
        return [this](const QStringList &paths) {
            std::lock_guard lock(m_mutex);
            m_batches.append(paths);
            m_changed.notify_all();
        };
    }

    QList<QStringList> batches() const
    {
        std::lock_guard lock(m_mutex);
        return m_batches;
    }
    QStringList paths() const
    {
        QStringList all;
        for (const QStringList &batch : batches())
            all += batch;
        return all;
    }
    // Waits until a batch from index `from` on holds `path`.
    bool waitFor(const QString &path, qsizetype from = 0)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] {
            for (qsizetype i = from; i < m_batches.size(); ++i) {
                if (m_batches.at(i).contains(path))
                    return true;
            }
            return false;
        });
    }
    qsizetype count() const
    {
        std::lock_guard lock(m_mutex);
        return m_batches.size();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QStringList> m_batches;
};

// A queue that only keeps what it is given, so a test decides when (and whether) deliveries run.
class HoldingQueue : public TaskQueue
{
public:
    void async(Task task) override
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        m_changed.notify_all();
    }
    WorkItem asyncAfter(Milliseconds, Task task) override
    {
        async(std::move(task));
        return WorkItem::make();
    }
    bool waitForTask()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return !m_tasks.empty(); });
    }
    std::size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_tasks.size();
    }
    void runAll()
    {
        std::deque<Task> tasks;
        {
            std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
        }
        for (Task &task : tasks)
            task();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task> m_tasks;
};

// For callbacks that report through atomics rather than the recorder.
bool waitUntil(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return done();
}

void makePath(const QString &path)
{
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

class InotifyFileEventsTest : public ::testing::Test
{
protected:
    QtRuntime runtime;
    std::unique_ptr<TaskQueue> queue = runtime.makeSerialQueue(QStringLiteral("file-events-test"));
    InotifyFileEvents events;
    QTemporaryDir tmp;
    QTemporaryDir outside;
    Recorder recorder;
    std::unique_ptr<FileEventStream> stream; // declared last: ends before everything it reports to

    QString at(const QString &relative) const { return tmp.filePath(relative); }

    void start(const QStringList &folders, Milliseconds latency = 30ms)
    {
        ASSERT_TRUE(tmp.isValid() && outside.isValid());
        stream = events.watch(folders, latency, *queue, recorder.callback());
        ASSERT_NE(stream, nullptr);
    }
};

TEST_F(InotifyFileEventsTest, FileWrittenInPiecesIsReportedByItsCleanAbsolutePath)
{
    // The folder as a caller might spell it: a trailing slash and a detour.
    start({tmp.path() + "/sub/../"});
    QFile file(at("Screenshot 1.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first part");
    file.flush();
    ASSERT_TRUE(recorder.waitFor(at("Screenshot 1.png")));
    const qsizetype seen = recorder.count();
    file.write("second part");
    file.close();
    // The later writes and the close count as events of their own.
    EXPECT_TRUE(recorder.waitFor(at("Screenshot 1.png"), seen));
    for (const QString &path : recorder.paths())
        EXPECT_EQ(path, at("Screenshot 1.png"));
}

TEST_F(InotifyFileEventsTest, RenamesInAndOutAndRemovalsAreReported)
{
    writeFile(outside.filePath("incoming.png"));
    writeFile(at("leaving.png"));
    writeFile(at("doomed.png"));
    start({tmp.path()});

    ASSERT_TRUE(QFile::rename(outside.filePath("incoming.png"), at("incoming.png")));
    EXPECT_TRUE(recorder.waitFor(at("incoming.png")));
    ASSERT_TRUE(QFile::rename(at("leaving.png"), outside.filePath("left.png")));
    EXPECT_TRUE(recorder.waitFor(at("leaving.png")));
    ASSERT_TRUE(QFile::remove(at("doomed.png")));
    EXPECT_TRUE(recorder.waitFor(at("doomed.png")));

    for (const QString &path : recorder.paths())
        EXPECT_TRUE(path.startsWith(tmp.path() + "/")) << path.toStdString();
}

TEST_F(InotifyFileEventsTest, FilesInExistingAndNewSubfoldersAreReported)
{
    makePath(at("old/deeper"));
    makePath(outside.filePath("moved"));
    writeFile(outside.filePath("moved/inside.png"));
    start({tmp.path()});

    writeFile(at("old/deeper/a.png"));
    // Created and filled at once, faster than the reader can add watches: the scan must find them.
    makePath(at("new/inner/most"));
    writeFile(at("new/inner/most/b.png"));
    writeFile(at("new/c.png"));
    for (const QString &path : {at("old/deeper/a.png"), at("new/inner/most/b.png"), at("new/c.png")})
        EXPECT_TRUE(recorder.waitFor(path)) << path.toStdString();

    // A folder moved in is watched too; a file made in it right away is seen by event or by scan.
    ASSERT_TRUE(QDir().rename(outside.filePath("moved"), at("moved")));
    writeFile(at("moved/later.png"));
    EXPECT_TRUE(recorder.waitFor(at("moved/later.png")));

    // Still watched after being renamed within the tree.
    ASSERT_TRUE(QDir().rename(at("new"), at("renamed")));
    const qsizetype seen = recorder.count();
    writeFile(at("renamed/inner/d.png"));
    EXPECT_TRUE(recorder.waitFor(at("renamed/inner/d.png"), seen));
    EXPECT_FALSE(recorder.paths().contains(at("new/inner/d.png")));
}

enum class Arrival
{
    StepByStep,
    DeepMkpath,
    MovedIn,
    Recreated
};

class MissingFolderTest : public InotifyFileEventsTest, public ::testing::WithParamInterface<Arrival>
{};

TEST_P(MissingFolderTest, ListedFolderIsCoveredOnceItExists)
{
    const QString shots = at("later/shots");
    if (GetParam() == Arrival::Recreated)
        makePath(shots);
    start({shots, tmp.path() + "/also-missing"});

    switch (GetParam()) {
    case Arrival::StepByStep:
        ASSERT_TRUE(QDir().mkdir(at("later")));
        ASSERT_TRUE(QDir().mkdir(shots));
        break;
    case Arrival::DeepMkpath:
        makePath(shots + "/inner/most");
        writeFile(shots + "/inner/most/deep.png");
        break;
    case Arrival::MovedIn:
        makePath(outside.filePath("prepared/shots"));
        ASSERT_TRUE(QDir().rename(outside.filePath("prepared"), at("later")));
        break;
    case Arrival::Recreated:
        ASSERT_TRUE(QDir(shots).removeRecursively());
        makePath(shots);
        break;
    }
    writeFile(shots + "/Screenshot.png");
    EXPECT_TRUE(recorder.waitFor(shots + "/Screenshot.png"));
    if (GetParam() == Arrival::DeepMkpath) {
        EXPECT_TRUE(recorder.waitFor(shots + "/inner/most/deep.png"));
    }

    // Covered for good, subfolders included.
    makePath(shots + "/sub");
    writeFile(shots + "/sub/again.png");
    EXPECT_TRUE(recorder.waitFor(shots + "/sub/again.png"));
}

INSTANTIATE_TEST_SUITE_P(Arrivals, MissingFolderTest,
                         ::testing::Values(Arrival::StepByStep, Arrival::DeepMkpath, Arrival::MovedIn,
                                           Arrival::Recreated));

TEST_F(InotifyFileEventsTest, EventsOutsideTheFoldersAndFilesThereAtStartAreNotReported)
{
    makePath(at("watched/sub"));
    makePath(at("watchedX"));
    makePath(at("pending"));
    writeFile(at("watched/before.png"));
    writeFile(at("watched/sub/before.png"));
    start({at("watched"), at("pending/shots")});

    writeFile(at("beside.png"));
    writeFile(at("watchedX/lookalike.png"));
    // The ancestor watched for a missing folder reports nothing of its own.
    writeFile(at("pending/ancestor.png"));
    makePath(at("pending/shotsX/deeper"));
    writeFile(at("pending/shotsX/deeper/lookalike.png"));
    writeFile(outside.filePath("elsewhere.png"));
    // Events of one inotify instance arrive in order, so anything wrongly reported comes no later.
    writeFile(at("watched/sentinel.png"));
    ASSERT_TRUE(recorder.waitFor(at("watched/sentinel.png")));
    EXPECT_EQ(recorder.paths(), QStringList{at("watched/sentinel.png")});
}

TEST_F(InotifyFileEventsTest, EventsWithinTheLatencyArriveAsOneBatchInFirstSeenOrder)
{
    start({tmp.path()}, 400ms);
    QFile a(at("a.png"));
    ASSERT_TRUE(a.open(QIODevice::WriteOnly));
    for (int i = 0; i < 200; ++i) {
        a.write("chunk");
        a.flush();
    }
    writeFile(at("b.png"));
    a.write("tail");
    a.close();
    ASSERT_TRUE(recorder.waitFor(at("a.png")));
    writeFile(at("sentinel.png"));
    ASSERT_TRUE(recorder.waitFor(at("sentinel.png")));
    EXPECT_EQ(recorder.batches(), (QList<QStringList>{{at("a.png"), at("b.png")}, {at("sentinel.png")}}));
}

TEST_F(InotifyFileEventsTest, NothingIsDeliveredAfterTheStreamIsDestroyed)
{
    HoldingQueue held;
    std::atomic_int late{0};
    auto doomed = events.watch({tmp.path()}, 0ms, held, [&](const QStringList &) { ++late; });
    ASSERT_NE(doomed, nullptr);
    start({tmp.path()});

    writeFile(at("one.png"));
    ASSERT_TRUE(held.waitForTask()); // a delivery is queued but has not run
    doomed.reset();
    held.runAll();
    EXPECT_EQ(late.load(), 0);

    // The ended stream no longer reads: what the surviving one sees, it does not queue.
    writeFile(at("two.png"));
    ASSERT_TRUE(recorder.waitFor(at("two.png")));
    EXPECT_EQ(held.size(), 0u);
}

TEST_F(InotifyFileEventsTest, DestructorWaitsForACallbackRunningElsewhere)
{
    std::atomic_bool entered{false};
    std::atomic_bool release{false};
    std::atomic_bool finished{false};
    stream = events.watch({tmp.path()}, 0ms, *queue, [&](const QStringList &) {
        entered = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        finished = true;
    });
    ASSERT_NE(stream, nullptr);
    writeFile(at("one.png"));
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));

    std::atomic_bool destroyed{false};
    bool finishedFirst = false;
    std::thread destroyer([&] {
        stream.reset();
        finishedFirst = finished;
        destroyed = true;
    });
    // Time for the destroyer to get stuck in the destructor; it cannot make the test pass wrongly.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(destroyed);
    release = true;
    destroyer.join();
    EXPECT_TRUE(finishedFirst);
}

TEST_F(InotifyFileEventsTest, CallbackMayEndItsOwnStream)
{
    std::unique_ptr<FileEventStream> own;
    std::atomic_int calls{0};
    own = events.watch({tmp.path()}, 0ms, *queue, [&](const QStringList &) {
        own.reset();
        ++calls; // after the reset, so that the test thread sees the reset once it sees the call
    });
    ASSERT_NE(own, nullptr);
    start({tmp.path()});
    writeFile(at("one.png"));
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
    ASSERT_EQ(calls.load(), 1);
    EXPECT_EQ(own, nullptr);
    writeFile(at("two.png"));
    ASSERT_TRUE(recorder.waitFor(at("two.png")));
    // Both streams deliver on the same serial queue, so the ended one has had its chance.
    EXPECT_EQ(calls.load(), 1);
}

} // namespace
