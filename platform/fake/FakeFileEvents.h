#pragma once

#include "platform/api/FileEvents.h"

#include <QList>

#include <memory>
#include <vector>

namespace tarno {

// Stands in for the file-system watch. Records every watch request, hands out streams that deliver
// whatever the test emits, and can be switched to refuse. Single-threaded, like the manual runtime.
class FakeFileEvents : public FileEvents
{
public:
    struct Request
    {
        QStringList folders;
        Milliseconds latency;
    };

    // Every call of watch, refused ones included, in order.
    QList<Request> requests;
    // While set, watch records the request and returns nothing.
    bool failWatch = false;

    // Streams handed out and not yet destroyed.
    int activeStreamCount() const;
    // The folders of the live streams, in the order they were asked for, without repeats.
    QStringList watchedFolders() const;

    // Posts the paths as one batch to every live stream, on the queue that stream was given; never
    // inside the call. A stream destroyed before the task runs receives nothing. Paths are passed as
    // they are, whether or not they lie below the stream's folders.
    void emitPaths(const QStringList &paths);

    std::unique_ptr<FileEventStream> watch(const QStringList &folders, Milliseconds latency, TaskQueue &queue,
                                           PathsCallback onPaths) override;

private:
    struct StreamState;
    class Stream;
    std::vector<std::weak_ptr<StreamState>> m_streams;
};

} // namespace tarno
