#include "platform/qt/RuntimeFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tarno {

namespace {

// What Qt itself demands of a runtime folder before it uses it quietly.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 0777) == 0700;
}

} // namespace

QString ensureRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base = QDir::tempPath() + QStringLiteral("/tarno-runtime-");
    QByteArray chosen = QFile::encodeName(base + QString::number(::getuid()));
    if (!((::mkdir(chosen.constData(), 0700) == 0 || errno == EEXIST) && isPrivateFolder(chosen))) {
        chosen = QFile::encodeName(base + QStringLiteral("XXXXXX"));
        if (!::mkdtemp(chosen.data()))
            return {};
    }
    qputenv("XDG_RUNTIME_DIR", chosen);
    return QFile::decodeName(chosen);
}

} // namespace tarno
