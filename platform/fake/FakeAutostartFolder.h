#pragma once

#include "platform/api/AutostartFolder.h"

#include <QMap>

namespace tarno {

// Stands in for the autostart folder: entries kept in memory by file name, with a switch that makes
// every change fail, as a read-only or full disk does, and a count of the changes tried.
class FakeAutostartFolder : public AutostartFolder
{
public:
    QMap<QString, QByteArray> entries;
    // While not empty, write and remove change nothing and give this reason.
    QString failure;
    int changesTried = 0;

    QString path() const override { return QStringLiteral("/home/user/.config/autostart"); }
    QString programPath() const override { return program; }
    std::optional<QByteArray> read(const QString &fileName) const override;
    QString write(const QString &fileName, const QByteArray &bytes) override;
    QString remove(const QString &fileName) override;

    QString program = QStringLiteral("/usr/bin/tarno");
};

} // namespace tarno
