#include "platform/qt/JsonFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace tarno {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours and is not worth reading.
constexpr qint64 maxFileSize = 1 << 20;

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxFileSize || !file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.read(maxFileSize));
    return document.isObject() ? document.object() : QJsonObject();
}

} // namespace

JsonFileStore::JsonFileStore(QString path) : m_path(std::move(path)), m_values(readObject(m_path)) {}

JsonFileStore::~JsonFileStore() = default;

QString JsonFileStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid by the base-directory rules and must be ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/tarno/settings.json");
}

bool JsonFileStore::contains(const QString &key) const
{
    return m_values.contains(key);
}

std::optional<QString> JsonFileStore::stringValue(const QString &key) const
{
    const QJsonValue value = m_values.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

bool JsonFileStore::boolValue(const QString &key) const
{
    return booleanReading(m_values.value(key));
}

void JsonFileStore::setString(const QString &key, const QString &value)
{
    write(key, value);
}

void JsonFileStore::setBool(const QString &key, bool value)
{
    write(key, value);
}

void JsonFileStore::write(const QString &key, const QJsonValue &value)
{
    m_values.insert(key, value);
    save(); // unchecked: a failed write keeps the old file and the value lives on in memory
}

bool JsonFileStore::save() const
{
    const QFileInfo info(m_path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return false;
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QSaveFile file(m_path);
    // Unbuffered, so that a short write (a full disk) shows in write()'s count: a buffered device
    // drops it and commit() would then rename a truncated file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Tighten the temporary file before any content reaches it; the rename keeps its mode.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    const QByteArray bytes = QJsonDocument(m_values).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tarno
