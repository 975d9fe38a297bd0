#pragma once

#include "platform/api/Runtime.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace tarno {

class AutostartFolder;
class FileEvents;
class FileEventStream;

// Whether Tarno starts at login, as the autostart folder says: the one truth is the entry on disk,
// read again at `refresh` and whenever a file in the folder changes, so an entry removed or edited by
// hand shows at once. Turning it on writes the entry whole, turning it off removes it; a change that
// fails leaves the disk and the state as they were and says why in `status`, which the next change
// that succeeds clears. Main thread only; everything given must outlive this object.
class LoginItem : public QObject
{
    Q_OBJECT

public:
    // The entry's file name: the application id, as XDG autostart expects.
    static const QString entryFileName;
    // How long the folder's events are gathered before the entry is read again.
    static constexpr Milliseconds eventLatency{100};

    // Without file events, the state is read only at construction and at `refresh`.
    LoginItem(AutostartFolder &folder, FileEvents *events, TaskQueue &mainQueue, QObject *parent = nullptr);
    ~LoginItem() override;

    bool isEnabled() const { return m_enabled; }
    // Writes or removes the entry; asking for the state already on disk changes nothing.
    void setEnabled(bool enabled);
    // The last failure, one line, empty when the last change took.
    QString status() const { return m_status; }
    void refresh();

Q_SIGNALS:
    void enabledChanged();
    void statusChanged();

private:
    void setStatus(const QString &status);

    AutostartFolder &m_folder;
    std::unique_ptr<FileEventStream> m_watch;
    bool m_enabled = false;
    QString m_status;
};

// The autostart entry that starts `program` at login, in the desktop entry format.
QByteArray autostartEntry(const QString &program);

// Whether an autostart entry starts its program: it must be a desktop entry of type Application
// that is neither hidden nor switched off by the desktop's own key.
bool entryStartsAtLogin(const QByteArray &entry);

} // namespace tarno
