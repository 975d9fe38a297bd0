#include "platform/fake/FakeProcessRunner.h"

namespace tarno {

QString FakeProcessRunner::commandLine(const QString &program, const QStringList &arguments)
{
    QStringList parts{program};
    parts.append(arguments);
    return parts.join(u' ');
}

void FakeProcessRunner::scriptExit(const QString &commandLine, int status, const QByteArray &output)
{
    ProcessResult result;
    result.outcome = ProcessResult::Outcome::exited;
    result.exitStatus = status;
    result.standardOutput = output;
    script(commandLine, result);
}

ProcessResult FakeProcessRunner::run(const QString &program, const QStringList &arguments)
{
    const QString line = commandLine(program, arguments);
    callLog << QStringLiteral("run ") + line;
    if (launchFails)
        return {};
    return m_results.value(line);
}

bool FakeProcessRunner::launchDetached(const QString &program, const QStringList &arguments)
{
    const QString line = commandLine(program, arguments);
    callLog << QStringLiteral("launch ") + line;
    return !launchFails && m_launches.value(line, false);
}

} // namespace tarno
