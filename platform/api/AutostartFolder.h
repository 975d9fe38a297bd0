#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarno {

// The user's autostart folder, where the session looks for the programs to start at login, as the
// login item reaches it: entries read, replaced whole or removed by file name. Failures come back as
// a short reason fit to show the user, never thrown. Main thread only.
class AutostartFolder
{
public:
    virtual ~AutostartFolder() = default;

    // The folder's absolute path; it need not exist.
    virtual QString path() const = 0;
    // The program a login should start: this one, by its absolute path.
    virtual QString programPath() const = 0;
    // The entry's bytes; none when it is missing or cannot be read.
    virtual std::optional<QByteArray> read(const QString &fileName) const = 0;
    // Replaces or creates the entry in one step, making the folder when missing, so that a failure
    // leaves the old entry (or none) whole. Empty on success, else why not.
    virtual QString write(const QString &fileName, const QByteArray &bytes) = 0;
    // Removes the entry; one already missing counts as removed. Empty on success, else why not.
    virtual QString remove(const QString &fileName) = 0;
};

} // namespace tarno
