#pragma once

#include "platform/api/KeyValueStore.h"

#include <QJsonObject>

namespace tarno {

// Settings kept as one JSON object in a file, by default "tarno/settings.json" under the user's
// configuration folder. The file is read once, at construction; anything unusable there (no file,
// no permission, empty, not JSON, not an object, absurdly large) reads as an empty store. Every write
// replaces the whole file atomically with owner-only permissions, so a crash or a full disk leaves
// either the old file or the new one, never a mix. Keys this program does not know are kept.
class JsonFileStore : public KeyValueStore
{
public:
    explicit JsonFileStore(QString path = defaultPath());
    ~JsonFileStore() override;

    // $XDG_CONFIG_HOME (when set to an absolute path) or ~/.config, then "tarno/settings.json".
    static QString defaultPath();

    QString path() const { return m_path; }

    bool contains(const QString &key) const override;
    std::optional<QString> stringValue(const QString &key) const override;
    bool boolValue(const QString &key) const override;
    void setString(const QString &key, const QString &value) override;
    void setBool(const QString &key, bool value) override;

private:
    void write(const QString &key, const QJsonValue &value);
    bool save() const;

    QString m_path;
    QJsonObject m_values;
};

} // namespace tarno
