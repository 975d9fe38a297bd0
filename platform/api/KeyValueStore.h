#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

namespace tarno {

// The per-user store of settings that outlive a run: strings and booleans under string keys. Main
// thread only. Reads never fail; a write that cannot be persisted is dropped quietly and the value
// still reads back for the rest of the run.
class KeyValueStore
{
public:
    virtual ~KeyValueStore() = default;

    // Whether anything at all is stored under the key, whatever its type.
    virtual bool contains(const QString &key) const = 0;
    // The stored string; nothing when the key is absent or holds something other than a string.
    virtual std::optional<QString> stringValue(const QString &key) const = 0;
    // The stored object read as a boolean (see `booleanReading`); false when the key is absent.
    virtual bool boolValue(const QString &key) const = 0;

    virtual void setString(const QString &key, const QString &value) = 0;
    virtual void setBool(const QString &key, bool value) = 0;
};

// How a stored object reads as a boolean, the way a defaults database reads one: a boolean as itself;
// a number true when non-zero; a string true when, after leading white space, it starts with "Y", "y",
// "T", "t" or a number whose digits are not all zero (an optional sign, then leading zeros skipped);
// anything else, absence included, false.
bool booleanReading(const QJsonValue &value);

} // namespace tarno
