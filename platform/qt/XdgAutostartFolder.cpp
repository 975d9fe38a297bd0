#include "platform/qt/XdgAutostartFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace tarno {

namespace {

constexpr qint64 maxEntryBytes = 64 * 1024;

// The system's own words for the last failure, which name the cause a user can act on ("No space
// left on device", "Read-only file system", "Permission denied").
QString systemReason(int error, const QString &fallback)
{
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : fallback;
}

} // namespace

XdgAutostartFolder::XdgAutostartFolder(QString path) : m_path(std::move(path)) {}

QString XdgAutostartFolder::defaultPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG base directories ignore a relative value.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/autostart"));
}

QString XdgAutostartFolder::programPath() const
{
    return QCoreApplication::applicationFilePath();
}

std::optional<QByteArray> XdgAutostartFolder::read(const QString &fileName) const
{
    QFile file(m_path + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(maxEntryBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

QString XdgAutostartFolder::write(const QString &fileName, const QByteArray &bytes)
{
    errno = 0;
    if (!QDir().mkpath(m_path))
        return systemReason(errno, QStringLiteral("the folder cannot be made"));
    QSaveFile file(m_path + QLatin1Char('/') + fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return systemReason(errno, file.errorString());
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const QString reason = systemReason(errno, file.errorString());
        file.cancelWriting();
        return reason;
    }
    errno = 0;
    if (!file.commit())
        return systemReason(errno, file.errorString());
    return {};
}

QString XdgAutostartFolder::remove(const QString &fileName)
{
    const QString path = m_path + QLatin1Char('/') + fileName;
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return {};
    QFile file(path);
    errno = 0;
    if (!file.remove())
        return systemReason(errno, file.errorString());
    return {};
}

} // namespace tarno
