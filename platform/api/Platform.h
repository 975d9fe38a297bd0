#pragma once

namespace tarno {

class Appearance;
class AutostartFolder;
class FileEvents;
class ImageCodec;
class Pasteboard;
class ProcessRunner;
class Runtime;

// What the process-wide services (each reached as `shared()`) are built over. The composition root
// installs it once, before the first service is used, and keeps everything it points at alive for the
// whole run. Test binaries install fakes; a test that needs its own fakes builds its own instances
// instead of using `shared()`.
struct Platform
{
    Runtime *runtime = nullptr;
    const ImageCodec *codec = nullptr;
    Pasteboard *generalPasteboard = nullptr;
    FileEvents *fileEvents = nullptr;
    ProcessRunner *processRunner = nullptr;
    AutostartFolder *autostartFolder = nullptr;
    // The desktop lets the general pasteboard see only part of what is copied (a Wayland session
    // whose compositor has no data-control protocol); the user is told so.
    bool isClipboardAccessLimited = false;
    // Whether the desktop looks dark; without one the views follow the application's palette.
    Appearance *appearance = nullptr;

    static const Platform &current();
    static void install(const Platform &platform);
};

} // namespace tarno
