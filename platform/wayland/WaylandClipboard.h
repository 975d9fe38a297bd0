#pragma once

#include "platform/api/TextLimit.h"
#include "platform/qt/SnapshotClipboard.h"

#include <chrono>
#include <memory>

namespace tarno {

struct WaylandReadLimits
{
    // How long a source may take to deliver one type in full, and a reader to take what we send.
    std::chrono::milliseconds requestTimeout{3000};
    // The most bytes one read keeps, all types together; a type that would pass it is dropped.
    qint64 maxTotalBytes = qint64(256) * 1024 * 1024;
    // The most bytes of text one read keeps: of a longer text the start is kept and the rest taken
    // and dropped, so that the source can finish.
    qint64 maxTextBytes = maxClipTextBytes + 1;
};

// The general pasteboard in a Wayland session: the seat's selection, seen and set through the
// compositor's data-control protocol (ext-data-control-v1, or wlroots' version of it when that is
// all there is), on a Wayland connection of its own that needs no window or keyboard focus.
//
// The connection is served from the main thread's event loop: a socket notifier on the display's
// fd, nothing that polls. Each type of a new selection is read through a pipe by a worker thread,
// with a size bound and a timeout, so a slow or hung source never holds up the event loop; a newer
// selection abandons the read in progress. Another program's selection moves the change count once
// its content has arrived (or its source has failed to deliver within the limits); until then every
// read answers the previous content. What was selected at construction is read too but moves
// nothing.
//
// When the source of content read in full goes away, leaving the selection empty, the content stays
// (the count does not move) and is orphaned until someone adopts it or the selection changes.
//
// Writes become the seat's selection at once, offered under every type Tarno can produce for them;
// each write builds on the previous ones since the last clearContents(), moves the count and is
// readable here at once. Other programs' requests for it are answered by worker threads. Our own
// selection, when the compositor reports it back, is recognised and never read.
//
// Main thread only. Without a compositor, or one without a data-control protocol, isWatching() is
// false and only the writes move the count (they then reach nobody).
class WaylandClipboard : public SnapshotClipboard
{
    Q_OBJECT

public:
    // Connects to the compositor named by $WAYLAND_DISPLAY.
    explicit WaylandClipboard(ReaderFactory readerFactory = {}, WaylandReadLimits limits = {},
                              QObject *parent = nullptr);
    // Abandons reads and sends in progress, waits for their threads, then disconnects.
    ~WaylandClipboard() override;

    // Whether the compositor offered a data-control protocol and the connection is still sound.
    bool isWatching() const override;
    // The data-control interface in use ("ext_data_control_manager_v1" or the wlroots one); empty
    // when not watching.
    QString protocolName() const;

    void adoptOrphanedContent() override;

protected:
    void offerWritten() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
