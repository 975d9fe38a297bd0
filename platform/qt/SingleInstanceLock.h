#pragma once

#include <QString>

namespace tarno {

// Keeps a second Tarno on the same display from starting: an exclusive flock on a file in the user's
// runtime folder, named after the display. The kernel releases it when the process ends, however it
// ends, so a crash never leaves a stale lock, and taking it is atomic, so two launches at the same
// moment cannot both win.
class SingleInstanceLock
{
public:
    // The lock's file for the display named by DISPLAY.
    static QString defaultPath();

    explicit SingleInstanceLock(QString path = defaultPath());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    // Whether this process holds the lock now; false when another one does or the file cannot be
    // opened.
    bool tryLock();

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace tarno
