#pragma once

#include "platform/api/AutostartFolder.h"

namespace tarno {

// The XDG autostart folder: "autostart" under $XDG_CONFIG_HOME (when
// set to an absolute path) or ~/.config. Entries are written through QSaveFile, unbuffered so that a
// full disk shows before the rename, and never follow a link out of the folder.
class XdgAutostartFolder : public AutostartFolder
{
public:
    explicit XdgAutostartFolder(QString path = defaultPath());

    static QString defaultPath();

    QString path() const override { return m_path; }
    QString programPath() const override;
    std::optional<QByteArray> read(const QString &fileName) const override;
    QString write(const QString &fileName, const QByteArray &bytes) override;
    QString remove(const QString &fileName) override;

private:
    QString m_path;
};

} // namespace tarno
