#include "platform/fake/ManualRuntime.h"

#include <algorithm>

namespace tarno {

class ManualRuntime::Queue : public TaskQueue
{
public:
    Queue(ManualRuntime &runtime, int id) : m_runtime(runtime), m_id(id), m_alive(runtime.m_alive) {}
    ~Queue() override
    {
        if (*m_alive && m_id != 0)
            m_runtime.dropQueue(m_id);
    }

    void async(Task task) override { m_runtime.schedule(m_id, 0, std::move(task), WorkItem::make(), 0); }
    WorkItem asyncAfter(Milliseconds delay, Task task) override
    {
        WorkItem handle = WorkItem::make();
        m_runtime.schedule(m_id, std::max<std::int64_t>(0, delay.count()), std::move(task), handle, 0);
        return handle;
    }

private:
    ManualRuntime &m_runtime;
    int m_id;
    std::shared_ptr<bool> m_alive;
};

ManualRuntime::ManualRuntime(QDateTime start)
    : m_start(std::move(start)), m_alive(std::make_shared<bool>(true))
{
    m_main = std::make_unique<Queue>(*this, 0);
}

ManualRuntime::~ManualRuntime()
{
    *m_alive = false;
}

QDateTime ManualRuntime::now() const
{
    return m_start.addMSecs(m_nowMs);
}

TaskQueue &ManualRuntime::mainQueue()
{
    return *m_main;
}

WorkItem ManualRuntime::repeating(Milliseconds interval, Task tick)
{
    WorkItem handle = WorkItem::make();
    const std::int64_t ms = std::max<std::int64_t>(1, interval.count());
    schedule(0, ms, std::move(tick), handle, ms);
    return handle;
}

std::unique_ptr<TaskQueue> ManualRuntime::makeSerialQueue(const QString &label)
{
    m_labels.append(label);
    return std::make_unique<Queue>(*this, int(m_labels.size()));
}

void ManualRuntime::schedule(int queueId, std::int64_t delayMs, Task task, WorkItem handle,
                             std::int64_t repeatMs)
{
    m_entries.push_back(
        Entry{m_nowMs + delayMs, m_nextSequence++, queueId, std::move(task), std::move(handle), repeatMs});
}

void ManualRuntime::dropQueue(int queueId)
{
    std::erase_if(m_entries, [queueId](const Entry &e) { return e.queueId == queueId; });
}

bool ManualRuntime::isHeld(int queueId) const
{
    return queueId != 0 && m_heldLabels.contains(labelOf(queueId));
}

QString ManualRuntime::labelOf(int queueId) const
{
    return queueId == 0 ? QStringLiteral("main") : m_labels.value(queueId - 1);
}

void ManualRuntime::advance(Milliseconds delta)
{
    const std::int64_t target = m_nowMs + std::max<std::int64_t>(0, delta.count());
    for (;;) {
        std::erase_if(m_entries, [](const Entry &e) { return e.handle.isCancelled(); });
        auto next = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->dueMs > target || isHeld(it->queueId))
                continue;
            if (next == m_entries.end() || it->dueMs < next->dueMs ||
                (it->dueMs == next->dueMs && it->sequence < next->sequence))
                next = it;
        }
        if (next == m_entries.end())
            break;
        Entry entry = std::move(*next);
        m_entries.erase(next);
        m_nowMs = std::max(m_nowMs, entry.dueMs);
        if (entry.repeatMs > 0)
            schedule(entry.queueId, entry.repeatMs, entry.task, entry.handle, entry.repeatMs);
        entry.task();
    }
    m_nowMs = target;
}

int ManualRuntime::pendingCount(const QString &label) const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) {
        return !e.handle.isCancelled() && labelOf(e.queueId) == label;
    }));
}

void ManualRuntime::setQueueHeld(const QString &label, bool held)
{
    if (held)
        m_heldLabels.insert(label);
    else
        m_heldLabels.remove(label);
}

} // namespace tarno
