#include "platform/sway/SwayWindowPlacer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace tarno {

namespace {

// i3's IPC, which sway speaks: a magic string, then the payload's length and the message's type, both
// in the machine's byte order, then the payload.
constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype headerSize = sizeof magic + 2 * sizeof(quint32);
constexpr quint32 runCommand = 0;
constexpr quint32 subscribe = 2;
// Events carry the high bit; the window event is the fourth kind.
constexpr quint32 windowEvent = 0x80000003;
// Far beyond any event about one window; a longer one means the stream is not what we think it is.
constexpr quint32 maxPayload = 64 * 1024 * 1024;

} // namespace

std::unique_ptr<SwayWindowPlacer> SwayWindowPlacer::fromEnvironment()
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    if (path.isEmpty())
        return nullptr;
    return std::make_unique<SwayWindowPlacer>(path);
}

SwayWindowPlacer::SwayWindowPlacer(const QString &socketPath, QObject *parent) : QObject(parent)
{
    connect(&m_socket, &QLocalSocket::connected, this,
            [this] { m_socket.write(frame(subscribe, QByteArrayLiteral(R"(["window"])"))); });
    connect(&m_socket, &QLocalSocket::readyRead, this, [this] {
        m_buffer += m_socket.readAll();
        while (const std::optional<Message> message = takeMessage(m_buffer))
            received(*message);
        if (m_buffer.size() >= headerSize && !m_buffer.startsWith(QByteArray(magic, sizeof magic)))
            m_socket.abort();
    });
    m_socket.connectToServer(socketPath);
}

void SwayWindowPlacer::placeWhenMapped(quint64 window, QPoint position)
{
    m_wishes.insert(window, position);
}

void SwayWindowPlacer::forget(quint64 window)
{
    m_wishes.remove(window);
}

QByteArray SwayWindowPlacer::frame(quint32 type, const QByteArray &payload)
{
    QByteArray message(magic, sizeof magic);
    const quint32 length = quint32(payload.size());
    message.append(reinterpret_cast<const char *>(&length), sizeof length);
    message.append(reinterpret_cast<const char *>(&type), sizeof type);
    message.append(payload);
    return message;
}

std::optional<SwayWindowPlacer::Message> SwayWindowPlacer::takeMessage(QByteArray &buffer)
{
    if (buffer.size() < headerSize || !buffer.startsWith(QByteArray(magic, sizeof magic)))
        return std::nullopt;
    quint32 length = 0;
    Message message;
    std::memcpy(&length, buffer.constData() + sizeof magic, sizeof length);
    std::memcpy(&message.type, buffer.constData() + sizeof magic + sizeof length, sizeof message.type);
    if (length > maxPayload) {
        buffer.clear();
        return std::nullopt;
    }
    if (buffer.size() - headerSize < qsizetype(length))
        return std::nullopt;
    message.payload = buffer.mid(headerSize, length);
    buffer.remove(0, headerSize + length);
    return message;
}

void SwayWindowPlacer::received(const Message &message)
{
    // Replies to our subscription and commands say nothing we act on.
    if (message.type != windowEvent || m_wishes.isEmpty())
        return;
    const QJsonObject event = QJsonDocument::fromJson(message.payload).object();
    if (event.value(QLatin1String("change")).toString() != QLatin1String("new"))
        return;
    const QJsonObject container = event.value(QLatin1String("container")).toObject();
    // An X window's id; Wayland windows have none.
    const QJsonValue window = container.value(QLatin1String("window"));
    if (!window.isDouble())
        return;
    const auto wish = m_wishes.find(quint64(window.toDouble()));
    if (wish == m_wishes.end())
        return;
    const QPoint position = *wish;
    m_wishes.erase(wish);
    const QString command = QStringLiteral("[con_id=%1] move absolute position %2 %3")
                                .arg(qint64(container.value(QLatin1String("id")).toDouble()))
                                .arg(position.x())
                                .arg(position.y());
    m_socket.write(frame(runCommand, command.toUtf8()));
}

} // namespace tarno
