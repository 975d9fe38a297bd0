#pragma once

#include "platform/api/Runtime.h"

#include <QSet>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace tarno {

// A runtime whose time stands still until the test moves it. Every queue, the main one and the
// serial ones alike, shares one timeline and runs on the test's thread, so a test can advance 0.2 s
// or 60 s instantly and check exactly what ran, in what order. A serial queue can be held to model
// work that has not finished yet; its tasks wait until it is released.
class ManualRuntime : public Runtime
{
public:
    explicit ManualRuntime(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC));
    ~ManualRuntime() override;

    QDateTime now() const override;
    TaskQueue &mainQueue() override;
    WorkItem repeating(Milliseconds interval, Task tick) override;
    std::unique_ptr<TaskQueue> makeSerialQueue(const QString &label) override;

    // Runs, in due order, every task due within the next `delta`, moving the clock to each task's
    // due time as it runs it, and ends with the clock `delta` later than before.
    void advance(Milliseconds delta);
    // Runs every task that is due now, including those that they post for now.
    void runUntilIdle() { advance(Milliseconds(0)); }
    // Time since construction.
    Milliseconds elapsed() const { return Milliseconds(m_nowMs); }

    // Tasks waiting on the queue with that label (the main queue's label is "main").
    int pendingCount(const QString &label) const;
    // Labels of the serial queues made so far, in order of creation.
    QStringList serialQueueLabels() const { return m_labels; }

    // A held queue runs nothing until it is released; its due tasks then run on the next advance.
    void setQueueHeld(const QString &label, bool held);

private:
    class Queue;
    struct Entry
    {
        std::int64_t dueMs;
        std::uint64_t sequence;
        int queueId;
        Task task;
        WorkItem handle;
        std::int64_t repeatMs; // 0 for one-shot work
    };

    void schedule(int queueId, std::int64_t delayMs, Task task, WorkItem handle, std::int64_t repeatMs);
    void dropQueue(int queueId);
    bool isHeld(int queueId) const;
    QString labelOf(int queueId) const;

    QDateTime m_start;
    std::int64_t m_nowMs = 0;
    std::uint64_t m_nextSequence = 0;
    std::vector<Entry> m_entries;
    std::unique_ptr<Queue> m_main;
    QStringList m_labels; // index + 1 is the queue id; 0 is the main queue
    QSet<QString> m_heldLabels;
    std::shared_ptr<bool> m_alive;
};

} // namespace tarno
