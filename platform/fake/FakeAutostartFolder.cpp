#include "platform/fake/FakeAutostartFolder.h"

namespace tarno {

std::optional<QByteArray> FakeAutostartFolder::read(const QString &fileName) const
{
    const auto found = entries.find(fileName);
    if (found == entries.end())
        return std::nullopt;
    return *found;
}

QString FakeAutostartFolder::write(const QString &fileName, const QByteArray &bytes)
{
    ++changesTried;
    if (!failure.isEmpty())
        return failure;
    entries.insert(fileName, bytes);
    return {};
}

QString FakeAutostartFolder::remove(const QString &fileName)
{
    ++changesTried;
    if (!failure.isEmpty())
        return failure;
    entries.remove(fileName);
    return {};
}

} // namespace tarno
