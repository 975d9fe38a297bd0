#pragma once

#include "platform/api/ProcessRunner.h"

#include <QHash>

namespace tarno {

// A process runner that runs nothing. Results are scripted per command line ("program arg1 arg2",
// joined by single spaces); an unscripted command fails to start, as every system tool does on a
// machine that lacks it. `launchFails` makes every command fail to start, scripted or not. Each call
// is logged as "run <command line>" or "launch <command line>", in call order.
class FakeProcessRunner : public ProcessRunner
{
public:
    QStringList callLog;
    bool launchFails = false;

    static QString commandLine(const QString &program, const QStringList &arguments);

    // What `run` gives for that command line from now on.
    void script(const QString &commandLine, ProcessResult result) { m_results.insert(commandLine, result); }
    // Shorthand for a command that exits with the status after printing the output.
    void scriptExit(const QString &commandLine, int status, const QByteArray &output = {});
    // Whether `launchDetached` of that command line starts; unscripted ones do not.
    void scriptLaunch(const QString &commandLine, bool starts) { m_launches.insert(commandLine, starts); }

    ProcessResult run(const QString &program, const QStringList &arguments) override;
    bool launchDetached(const QString &program, const QStringList &arguments) override;

private:
    QHash<QString, ProcessResult> m_results;
    QHash<QString, bool> m_launches;
};

} // namespace tarno
