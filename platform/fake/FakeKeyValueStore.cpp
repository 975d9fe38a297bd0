#include "platform/fake/FakeKeyValueStore.h"

namespace tarno {

std::optional<QString> FakeKeyValueStore::stringValue(const QString &key) const
{
    const QJsonValue value = values.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

void FakeKeyValueStore::setString(const QString &key, const QString &value)
{
    writeLog << QStringLiteral("string %1=%2").arg(key, value);
    if (!failWrites)
        values.insert(key, value);
}

void FakeKeyValueStore::setBool(const QString &key, bool value)
{
    writeLog
        << QStringLiteral("bool %1=%2").arg(key, value ? QStringLiteral("true") : QStringLiteral("false"));
    if (!failWrites)
        values.insert(key, value);
}

} // namespace tarno
