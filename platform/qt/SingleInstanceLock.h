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
    // The lock's file for the display with that key (letters, digits and underscores).
    static QString pathFor(const QString &displayKey);

    explicit SingleInstanceLock(QString path);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    enum class Result
    {
        acquired,
        // Another process holds it: that one is in charge.
        heldElsewhere,
        // The file cannot be opened; nothing is known about other instances.
        unavailable
    };

    // Takes the lock if nobody holds it; asking again while holding it gives acquired.
    Result tryLock();

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace tarno
