#include "platform/qt/QtPlatform.h"

#include "platform/qt/InotifyFileEvents.h"
#include "platform/qt/JsonFileStore.h"
#include "platform/qt/MimeDataPasteboard.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/QtRuntime.h"
#include "platform/qt/XdgAutostartFolder.h"
#include "platform/x11/X11Clipboard.h"

namespace tarno {

QtPlatform::QtPlatform()
    : m_runtime(std::make_unique<QtRuntime>()), m_codec(std::make_unique<QtImageCodec>()),
      m_clipboard(std::make_unique<X11Clipboard>([](std::shared_ptr<const QMimeData> snapshot) {
          return std::make_shared<MimeDataPasteboard>(std::move(snapshot));
      })),
      m_fileEvents(std::make_unique<InotifyFileEvents>()),
      m_processRunner(std::make_unique<QtProcessRunner>()),
      m_settingsStore(std::make_unique<JsonFileStore>()),
      m_autostartFolder(std::make_unique<XdgAutostartFolder>())
{}

QtPlatform::~QtPlatform() = default;

Platform QtPlatform::platform() const
{
    return Platform{m_runtime.get(),    m_codec.get(),         m_clipboard.get(),
                    m_fileEvents.get(), m_processRunner.get(), m_autostartFolder.get()};
}

QtRuntime &QtPlatform::runtime() const
{
    return *m_runtime;
}

X11Clipboard &QtPlatform::clipboard() const
{
    return *m_clipboard;
}

KeyValueStore &QtPlatform::settingsStore() const
{
    return *m_settingsStore;
}

void QtPlatform::onPasteboardChanged(std::function<void()> handler) const
{
    // The count moves only with its content in place, so one cue per change is enough; a cue for
    // a change whose content was still on its way would only start read attempts that find nothing.
    QObject::connect(m_clipboard.get(), &X11Clipboard::changeCountChanged, m_clipboard.get(),
                     [handler](qint64) { handler(); });
}

void QtPlatform::onPasteboardOwnerGone(std::function<void()> handler) const
{
    QObject::connect(m_clipboard.get(), &X11Clipboard::ownerGone, m_clipboard.get(), std::move(handler));
}

} // namespace tarno
