#include "platform/qt/SingleInstanceLock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarno {

QString SingleInstanceLock::pathFor(const QString &displayKey)
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!folder.isEmpty())
        return folder + QStringLiteral("/tarno-") + displayKey + QStringLiteral(".lock");
    // Without a runtime folder, the shared temporary folder, with the user in the name. Another user
    // who made that file first only makes the lock unavailable, which never stops Tarno.
    return QDir::tempPath() + QStringLiteral("/tarno-") + QString::number(::getuid()) + QLatin1Char('-') +
           displayKey + QStringLiteral(".lock");
}

SingleInstanceLock::SingleInstanceLock(QString path) : m_path(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

SingleInstanceLock::Result SingleInstanceLock::tryLock()
{
    if (m_fd >= 0)
        return Result::acquired;
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Result::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Result::heldElsewhere : Result::unavailable;
    }
    m_fd = fd;
    return Result::acquired;
}

} // namespace tarno
