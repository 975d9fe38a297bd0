#include "platform/qt/QtRuntime.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace tarno {

namespace {

// Runs `task` on the thread of `context`, on its next turn; safe from any thread.
void post(QObject *context, Task task)
{
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
}

WorkItem postAfter(QObject *context, Milliseconds delay, Task task)
{
    WorkItem handle = WorkItem::make();
    auto fire = [handle, task = std::move(task)] {
        if (!handle.isCancelled())
            task();
    };
    const auto start = [context, delay, fire = std::move(fire)] {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, fire);
    };
    // Timers belong to the thread that starts them, so start them on the queue's own thread.
    if (QThread::currentThread() == context->thread())
        start();
    else
        post(context, start);
    return handle;
}

class ContextQueue : public TaskQueue
{
public:
    explicit ContextQueue(QObject *context) : m_context(context) {}
    void async(Task task) override { post(m_context, std::move(task)); }
    WorkItem asyncAfter(Milliseconds delay, Task task) override
    {
        return postAfter(m_context, delay, std::move(task));
    }

private:
    QObject *m_context;
};

} // namespace

// A serial queue on a thread of its own. Destroying it stops the thread after the task that is
// running, if any; tasks not yet started are dropped.
class QtRuntime::ThreadQueue : public TaskQueue
{
public:
    explicit ThreadQueue(const QString &label)
    {
        m_thread.setObjectName(label);
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~ThreadQueue() override
    {
        m_thread.quit();
        m_thread.wait();
    }
    void async(Task task) override { post(&m_context, std::move(task)); }
    WorkItem asyncAfter(Milliseconds delay, Task task) override
    {
        return postAfter(&m_context, delay, std::move(task));
    }

private:
    QThread m_thread;
    QObject m_context;
};

QtRuntime::QtRuntime() : m_context(std::make_unique<QObject>())
{
    m_main = std::make_unique<ContextQueue>(m_context.get());
}

QtRuntime::~QtRuntime() = default;

QDateTime QtRuntime::now() const
{
    return QDateTime::currentDateTimeUtc();
}

TaskQueue &QtRuntime::mainQueue()
{
    return *m_main;
}

WorkItem QtRuntime::repeating(Milliseconds interval, Task tick)
{
    WorkItem handle = WorkItem::make();
    auto *timer = new QTimer(m_context.get());
    timer->setInterval(interval);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, handle, tick = std::move(tick)] {
        if (handle.isCancelled()) {
            timer->deleteLater();
            return;
        }
        tick();
    });
    timer->start();
    return handle;
}

std::unique_ptr<TaskQueue> QtRuntime::makeSerialQueue(const QString &label)
{
    return std::make_unique<ThreadQueue>(label);
}

} // namespace tarno
