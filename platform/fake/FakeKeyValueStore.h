#pragma once

#include "platform/api/KeyValueStore.h"

#include <QJsonObject>
#include <QStringList>

namespace tarno {

// An in-memory store. A test seeds `values` with anything, numbers and other odd types included, to
// stand for what an earlier run or another program left behind. Every write is logged as
// "string <key>=<value>" or "bool <key>=true|false"; with `failWrites` set, writes are logged but
// not stored, as when the disk refuses them.
class FakeKeyValueStore : public KeyValueStore
{
public:
    QJsonObject values;
    QStringList writeLog;
    bool failWrites = false;

    bool contains(const QString &key) const override { return values.contains(key); }
    std::optional<QString> stringValue(const QString &key) const override;
    bool boolValue(const QString &key) const override { return booleanReading(values.value(key)); }
    void setString(const QString &key, const QString &value) override;
    void setBool(const QString &key, bool value) override;
};

} // namespace tarno
