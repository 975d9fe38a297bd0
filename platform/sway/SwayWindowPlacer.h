#pragma once

#include <QByteArray>
#include <QHash>
#include <QLocalSocket>
#include <QObject>
#include <QPoint>

#include <memory>
#include <optional>

namespace tarno {

// sway centres every floating X window it maps and ignores where the window asked to be, so a window
// that belongs beside the tray icon is moved there through sway's IPC socket, once sway says it has
// mapped it. Main thread only.
class SwayWindowPlacer : public QObject
{
    Q_OBJECT
public:
    // Over the socket SWAYSOCK names; null outside a sway session.
    static std::unique_ptr<SwayWindowPlacer> fromEnvironment();
    explicit SwayWindowPlacer(const QString &socketPath, QObject *parent = nullptr);

    // The next time sway maps the X window `window`, it is moved to `position` (root coordinates).
    // Replaces an earlier wish for the same window.
    void placeWhenMapped(quint64 window, QPoint position);
    void forget(quint64 window);

    // The message framing of sway's IPC, for its tests.
    struct Message
    {
        quint32 type = 0;
        QByteArray payload;
    };
    static QByteArray frame(quint32 type, const QByteArray &payload);
    // Takes the first whole message off the front of `buffer`; none while it holds only part of one.
    static std::optional<Message> takeMessage(QByteArray &buffer);

private:
    void received(const Message &message);

    QLocalSocket m_socket;
    QByteArray m_buffer;
    QHash<quint64, QPoint> m_wishes;
};

} // namespace tarno
