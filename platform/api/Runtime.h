#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tarno {

using Milliseconds = std::chrono::milliseconds;
using Task = std::function<void()>;

// Handle to work scheduled for later. Cancelling is idempotent and safe from any thread: a cancelled
// task that has not started yet never runs. A default-constructed handle refers to nothing.
class WorkItem
{
public:
    WorkItem() = default;
    static WorkItem make() { return WorkItem(std::make_shared<std::atomic_bool>(false)); }

    void cancel() const
    {
        if (m_cancelled)
            m_cancelled->store(true);
    }
    bool isCancelled() const { return !m_cancelled || m_cancelled->load(); }
    bool isValid() const { return m_cancelled != nullptr; }

private:
    explicit WorkItem(std::shared_ptr<std::atomic_bool> flag) : m_cancelled(std::move(flag)) {}
    std::shared_ptr<std::atomic_bool> m_cancelled;
};

// A serial queue: tasks run one at a time, in the order they become due (ties in submission order).
class TaskQueue
{
public:
    virtual ~TaskQueue() = default;
    // Runs the task on this queue's next turn, never inside the call.
    virtual void async(Task task) = 0;
    // Runs the task once the delay has passed, unless the handle is cancelled first.
    virtual WorkItem asyncAfter(Milliseconds delay, Task task) = 0;
};

// Time and threads as the logic sees them. Production backs it with Qt's event loop and worker
// threads; tests use a manual fake whose time only moves when the test advances it. Owned by the
// composition root; it outlives everything scheduled on it.
class Runtime
{
public:
    virtual ~Runtime() = default;

    // Wall-clock time, as stored in clips and compared by retention.
    virtual QDateTime now() const = 0;

    // The main thread. Everything that touches stores, views or the pasteboard runs here.
    virtual TaskQueue &mainQueue() = 0;

    // A repeating timer on the main thread; the first tick comes one interval from now. It keeps
    // firing while menus are open or a drag is under way, until the handle is cancelled.
    virtual WorkItem repeating(Milliseconds interval, Task tick) = 0;

    // A new serial queue off the main thread. The label names it for debugging only.
    virtual std::unique_ptr<TaskQueue> makeSerialQueue(const QString &label) = 0;
};

} // namespace tarno
