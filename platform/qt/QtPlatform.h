#pragma once

#include "platform/api/Platform.h"

#include <functional>
#include <memory>

namespace tarno {

class Appearance;
class InotifyFileEvents;
class JsonFileStore;
class KeyValueStore;
class QtImageCodec;
class QtProcessRunner;
class QtRuntime;
class Pasteboard;
class SnapshotClipboard;
class WaylandClipboard;
class X11Clipboard;
class XdgAutostartFolder;

// Every real adapter the logic reaches the system through, made once by the composition root:
// Qt's event loop and threads, the codec, the clipboard, inotify, the process runner, the
// settings file, the autostart folder and the desktop's appearance.
//
// The clipboard is the compositor's in a Wayland session ($WAYLAND_DISPLAY set) that offers a
// data-control protocol, whatever Qt itself runs on (the popover stays on Xwayland, where it can be
// placed); otherwise it is the X11 CLIPBOARD, which in a Wayland session without data-control is
// only what the Xwayland bridge passes on. That case is said once on standard error. Construct after the
// application object and destroy before it; everything handed out lives as long as this object.
class QtPlatform
{
public:
    QtPlatform();
    ~QtPlatform();
    QtPlatform(const QtPlatform &) = delete;
    QtPlatform &operator=(const QtPlatform &) = delete;

    // The adapters as the services see them; install it before the first service is used.
    Platform platform() const;

    QtRuntime &runtime() const;
    // The clipboard in use, as the services see it.
    Pasteboard &pasteboard() const;
    // The X11 clipboard; null when the Wayland one is in use.
    X11Clipboard *x11Clipboard() const;
    // The Wayland clipboard; null when the X11 one is in use.
    WaylandClipboard *waylandClipboard() const;
    // Whether this is a Wayland session whose compositor lets us see only what the bridge passes.
    bool hasLimitedClipboardAccess() const;
    // The X11 clipboard, for code that knows it is on X.
    X11Clipboard &clipboard() const;
    KeyValueStore &settingsStore() const;
    Appearance &appearance() const;

    // Runs `handler` on the main thread each time the clipboard's change count moves, which for
    // another program's copy is once its content has been read: the clipboard monitor's cue to
    // look, besides its poll.
    void onPasteboardChanged(std::function<void()> handler) const;
    // Runs `handler` on the main thread each time the owner of the clipboard's content goes away.
    void onPasteboardOwnerGone(std::function<void()> handler) const;

private:
    SnapshotClipboard &activeClipboard() const;

    std::unique_ptr<QtRuntime> m_runtime;
    std::unique_ptr<QtImageCodec> m_codec;
    std::unique_ptr<WaylandClipboard> m_waylandClipboard;
    std::unique_ptr<X11Clipboard> m_clipboard;
    bool m_limitedClipboardAccess = false;
    std::unique_ptr<InotifyFileEvents> m_fileEvents;
    std::unique_ptr<QtProcessRunner> m_processRunner;
    std::unique_ptr<JsonFileStore> m_settingsStore;
    std::unique_ptr<XdgAutostartFolder> m_autostartFolder;
    std::unique_ptr<Appearance> m_appearance;
};

} // namespace tarno
