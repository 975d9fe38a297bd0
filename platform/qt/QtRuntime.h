#pragma once

#include "platform/api/Runtime.h"

#include <QObject>

#include <memory>

namespace tarno {

// The runtime over Qt's event loop: the main queue is the thread that constructs it (the GUI
// thread), and each serial queue is a thread of its own with an event loop. Must be constructed
// after the application object and destroyed before it.
class QtRuntime : public Runtime
{
public:
    QtRuntime();
    ~QtRuntime() override;

    QDateTime now() const override;
    TaskQueue &mainQueue() override;
    WorkItem repeating(Milliseconds interval, Task tick) override;
    std::unique_ptr<TaskQueue> makeSerialQueue(const QString &label) override;

private:
    class ThreadQueue;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<TaskQueue> m_main;
};

} // namespace tarno
