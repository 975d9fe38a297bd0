#pragma once

#include "platform/api/Runtime.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace tarno {

// A running watch. Destroying it ends the watch; no callback runs after the destructor returns.
class FileEventStream
{
public:
    virtual ~FileEventStream() = default;
};

// File-system events below folders, reported per file: creations, writes finished, renames in and
// out, and removals all count alike.
class FileEvents
{
public:
    virtual ~FileEvents() = default;

    using PathsCallback = std::function<void(const QStringList &paths)>;

    // Watches below each folder, recursively, from now on. New subfolders are watched as they
    // appear, and a folder that does not exist yet is watched for and covered as soon as it is
    // created. `onPaths` runs on `queue` with the absolute paths of files that had events, batched
    // over at most `latency`. Returns nothing when no watch can be started at all.
    virtual std::unique_ptr<FileEventStream> watch(const QStringList &folders, Milliseconds latency,
                                                   TaskQueue &queue, PathsCallback onPaths) = 0;
};

} // namespace tarno
