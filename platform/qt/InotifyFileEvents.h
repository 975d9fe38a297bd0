#pragma once

#include "platform/api/FileEvents.h"

namespace tarno {

// File events over Linux inotify. Each stream owns one inotify instance and one reader thread that
// sleeps in poll() until the kernel has events or the stream is destroyed, so an idle watch costs
// nothing.
//
// Reported: files created, written to, finished writing, renamed in or out, and removed, below the
// folders; folders themselves are not reported. A folder that appears below a watched one (created
// or moved in), or a listed folder that appears later, is scanned once its watch is in place, and the
// files already in it are reported as well, so nothing written into a brand-new folder is lost.
// The initial watch and the recovery from a kernel queue overflow report nothing; events lost in an
// overflow stay lost. Folders beyond the system's watch limit stay unwatched, quietly.
//
// Paths are reported below the folder as given (made absolute and clean, symbolic links not
// resolved). The initial watches are set up inside `watch`, so events right after it returns count.
//
// The queue is posted to from the reader thread, so it must accept tasks from any thread (the
// runtime's queues do) and outlive the stream. Destroying the stream waits for a callback that is
// running on another thread, so that callback must not wait for the destroying thread; a callback may
// destroy its own stream.
class InotifyFileEvents : public FileEvents
{
public:
    std::unique_ptr<FileEventStream> watch(const QStringList &folders, Milliseconds latency, TaskQueue &queue,
                                           PathsCallback onPaths) override;
};

} // namespace tarno
