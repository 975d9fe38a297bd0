#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarno {

// What became of one run of a program.
struct ProcessResult
{
    enum class Outcome
    {
        failedToStart, // missing, not executable, not an absolute path, or no process could be made
        timedOut,      // killed, with everything it started, after the wait bound
        crashed,       // ended by a signal
        exited         // ended on its own; `exitStatus` holds its status
    };

    Outcome outcome = Outcome::failedToStart;
    int exitStatus = -1;
    // What it wrote to standard output: all of it when it ended on its own, what had come when killed.
    QByteArray standardOutput;

    bool launched() const { return outcome != Outcome::failedToStart; }
    bool exited() const { return outcome == Outcome::exited; }
    bool succeeded() const { return exited() && exitStatus == 0; }
};

// Runs other programs: always by absolute path, with the arguments as separate strings (never
// through a shell), standard input empty and standard error discarded. Failures come back as values
// and nothing is printed. Blocking; call from one thread at a time per runner.
class ProcessRunner
{
public:
    virtual ~ProcessRunner() = default;

    // Runs the program to its end, or to the runner's wait bound, and collects its standard output.
    virtual ProcessResult run(const QString &program, const QStringList &arguments) = 0;
    // Starts the program and returns at once; whether it could be started. It is never waited for,
    // and it leaves no zombie behind.
    virtual bool launchDetached(const QString &program, const QStringList &arguments) = 0;
};

} // namespace tarno
