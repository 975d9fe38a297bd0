#include "platform/qt/QtPlatform.h"

#include "platform/qt/InotifyFileEvents.h"
#include "platform/qt/JsonFileStore.h"
#include "platform/qt/MimeDataPasteboard.h"
#include "platform/qt/PortalAppearance.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/QtRuntime.h"
#include "platform/qt/XdgAutostartFolder.h"
#include "platform/wayland/WaylandClipboard.h"
#include "platform/x11/X11Clipboard.h"

namespace tarno {

namespace {

std::shared_ptr<const PasteboardReader> readerOf(std::shared_ptr<const QMimeData> snapshot)
{
    return std::make_shared<MimeDataPasteboard>(std::move(snapshot));
}

} // namespace

QtPlatform::QtPlatform()
    : m_runtime(std::make_unique<QtRuntime>()), m_codec(std::make_unique<QtImageCodec>()),
      m_fileEvents(std::make_unique<InotifyFileEvents>()),
      m_processRunner(std::make_unique<QtProcessRunner>()),
      m_settingsStore(std::make_unique<JsonFileStore>()),
      m_autostartFolder(std::make_unique<XdgAutostartFolder>()),
      m_appearance(std::make_unique<PortalAppearance>())
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        auto wayland = std::make_unique<WaylandClipboard>(readerOf);
        if (wayland->isWatching()) {
            m_waylandClipboard = std::move(wayland);
            return;
        }
        m_limitedClipboardAccess = true;
        qWarning("clipboard access is limited on this desktop: the compositor offers no data-control "
                 "protocol, so only what X programs copy is seen and clips reach Wayland programs through "
                 "Xwayland");
    }
    m_clipboard = std::make_unique<X11Clipboard>(readerOf);
}

QtPlatform::~QtPlatform() = default;

Platform QtPlatform::platform() const
{
    return Platform{m_runtime.get(),          m_codec.get(),         &pasteboard(),
                    m_fileEvents.get(),       m_processRunner.get(), m_autostartFolder.get(),
                    m_limitedClipboardAccess, m_appearance.get()};
}

Appearance &QtPlatform::appearance() const
{
    return *m_appearance;
}

QtRuntime &QtPlatform::runtime() const
{
    return *m_runtime;
}

Pasteboard &QtPlatform::pasteboard() const
{
    return activeClipboard();
}

X11Clipboard *QtPlatform::x11Clipboard() const
{
    return m_clipboard.get();
}

WaylandClipboard *QtPlatform::waylandClipboard() const
{
    return m_waylandClipboard.get();
}

bool QtPlatform::hasLimitedClipboardAccess() const
{
    return m_limitedClipboardAccess;
}

X11Clipboard &QtPlatform::clipboard() const
{
    Q_ASSERT(m_clipboard);
    return *m_clipboard;
}

KeyValueStore &QtPlatform::settingsStore() const
{
    return *m_settingsStore;
}

SnapshotClipboard &QtPlatform::activeClipboard() const
{
    if (m_waylandClipboard)
        return *m_waylandClipboard;
    return *m_clipboard;
}

void QtPlatform::onPasteboardChanged(std::function<void()> handler) const
{
    // The count moves only with its content in place, so one cue per change is enough; a cue for
    // a change whose content was still on its way would only start read attempts that find nothing.
    SnapshotClipboard &clipboard = activeClipboard();
    QObject::connect(&clipboard, &SnapshotClipboard::changeCountChanged, &clipboard,
                     [handler](qint64) { handler(); });
}

void QtPlatform::onPasteboardOwnerGone(std::function<void()> handler) const
{
    SnapshotClipboard &clipboard = activeClipboard();
    QObject::connect(&clipboard, &SnapshotClipboard::ownerGone, &clipboard, std::move(handler));
}

} // namespace tarno
