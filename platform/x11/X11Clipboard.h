#pragma once

#include "platform/qt/SnapshotClipboard.h"
#include "platform/x11/X11SelectionWatcher.h"

#include <memory>

namespace tarno {

// The general pasteboard on X11: the CLIPBOARD selection (never PRIMARY).
//
// Every change of the selection's owner moves the change count: a copy made in another program, the
// owner's window or program going away, and each write made here. A watcher thread with an X
// connection of its own learns of the changes and reads each new owner's content into a snapshot,
// which it hands to the main thread; a slow or hung owner therefore never freezes the program, and a
// newer change abandons the read in progress. Another program's change moves the count only once
// its content has arrived (or its owner has failed to answer within the limits): the count and the
// snapshot always go together, so whoever looks when the count moves finds the new content at once,
// and until then every read answers the previous content. Reads of a snapshot never touch X. What
// was on the clipboard at construction is read too but does not move the count.
//
// When the owner of content read in full goes away, the content stays (the count does not move)
// and is orphaned until someone adopts it or the clipboard changes again.
//
// Writes go through QClipboard, which then serves the other programs; each write builds on the
// previous ones since the last clearContents(), moves the count and is readable here at once.
//
// Main thread only. Construct after the application object, destroy before it. Off X (no display,
// or a Qt platform other than xcb) only the writes move the count.
class X11Clipboard : public SnapshotClipboard
{
    Q_OBJECT

public:
    explicit X11Clipboard(ReaderFactory readerFactory = {}, X11SelectionLimits limits = {},
                          QObject *parent = nullptr);
    ~X11Clipboard() override;

    // Whether owner changes made by other programs are seen.
    bool isWatching() const override;
    // Whether we are the desktop's clipboard manager now (see X11SelectionWatcher).
    bool isClipboardManager() const;

    void adoptOrphanedContent() override;

protected:
    void offerWritten() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
