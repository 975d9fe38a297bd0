#pragma once

#include "platform/api/TextLimit.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tarno {

// What one read of the CLIPBOARD selection brought back: each format's bytes in the owner's order.
// Text arrives once, as UTF-8 under "text/plain", whichever text target the owner answered.
struct SelectionContent
{
    QList<QPair<QString, QByteArray>> formats;
};

struct X11SelectionLimits
{
    // How long the owner may take to answer one conversion, or to send the next increment.
    std::chrono::milliseconds requestTimeout{3000};
    // The most bytes one read keeps, all formats together; a format that would pass it is dropped.
    qint64 maxTotalBytes = qint64(256) * 1024 * 1024;
    // The most bytes of text one read keeps: of a longer text the start is kept and the rest taken
    // and dropped, so that the owner can finish.
    qint64 maxTextBytes = maxClipTextBytes + 1;
};

// The X client whose windows count as our own: a window id w belongs to it when
// (w & ~mask) == base.
struct X11ClientIds
{
    quint32 base = 0;
    quint32 mask = 0;
};

// Who holds the selection after a change.
enum class SelectionOwner
{
    none,
    ours,
    other
};

// Watches who owns the CLIPBOARD selection and reads the content of each new owner, on a thread and
// an X connection of its own, so that a slow or hung owner never holds up the caller.
//
// Every owner change (a new owner, the owner's window destroyed, the owner's client gone) gets a
// serial. The watcher reports it, then reads the new owner's content unless the owner is one of our
// own windows or there is none; a newer change abandons the read in progress. The content that was
// there when the watcher started is read under serial 0 without an owner change, unless an owner
// change arrives before that read begins: then only the newer content is read.
//
// The callbacks run on the watcher's thread, one at a time, in the order the X server reported the
// events behind them; they must not call back into the watcher's destructor. A read that the owner
// refuses, times out on or overflows the limits still reports, with whatever it got.
//
// It is also the desktop's clipboard manager unless another program already is: it holds
// CLIPBOARD_MANAGER whenever nobody else does, and answers a program that asks it to save the
// clipboard before exiting (SAVE_TARGETS) once the current owner's content has been read, or
// refuses once the owner has taken longer than the request timeout. It never takes the selection
// from another manager.
class X11SelectionWatcher
{
public:
    struct Callbacks
    {
        std::function<void(quint64 serial, SelectionOwner owner)> ownerChanged;
        std::function<void(quint64 serial, SelectionContent content)> contentRead;
        // Answers sync(token): every owner change the server made before the call has been reported.
        std::function<void(quint64 token, bool ownedByUs)> synced;
    };

    // Connects to the display named by $DISPLAY. Without a display, or without the XFixes extension,
    // isConnected() is false and nothing is ever reported.
    X11SelectionWatcher(Callbacks callbacks, std::optional<X11ClientIds> ourClient,
                        X11SelectionLimits limits = {});
    // Stops the thread, abandoning any read, and closes the connection. No callback runs afterwards.
    ~X11SelectionWatcher();

    X11SelectionWatcher(const X11SelectionWatcher &) = delete;
    X11SelectionWatcher &operator=(const X11SelectionWatcher &) = delete;

    bool isConnected() const;
    // Whether we hold CLIPBOARD_MANAGER now. Any thread.
    bool isClipboardManager() const;

    // Asks for `synced(token, ...)` once the server's owner changes up to now have been reported.
    // Any thread.
    void sync(quint64 token);
    // Treats the current owner as a new change: a new serial, reported and read. Any thread.
    void reread();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
