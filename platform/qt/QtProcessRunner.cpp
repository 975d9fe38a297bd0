#include "platform/qt/QtProcessRunner.h"

#include <QDir>
#include <QProcess>

#include <signal.h>
#include <unistd.h>

namespace tarno {

namespace {

// Once killed, a child is gone within moments; this only guards against one stuck in the kernel.
constexpr int reapBoundMs = 2000;

void configure(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
}

} // namespace

QtProcessRunner::QtProcessRunner(std::chrono::milliseconds waitBound) : m_waitBound(waitBound) {}

QtProcessRunner::~QtProcessRunner() = default;

ProcessResult QtProcessRunner::run(const QString &program, const QStringList &arguments)
{
    ProcessResult result;
    // A bare name would be looked up on PATH; only the program asked for may run.
    if (!QDir::isAbsolutePath(program))
        return result;

    QProcess process;
    configure(process, program, arguments);
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(int(m_waitBound.count()))) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(reapBoundMs);
        }
        return result;
    }

    const qint64 group = process.processId();
    if (!process.waitForFinished(int(m_waitBound.count()))) {
        if (process.state() != QProcess::NotRunning && group > 0)
            ::kill(pid_t(-group), SIGKILL);
        process.kill();
        process.waitForFinished(reapBoundMs);
        result.outcome = ProcessResult::Outcome::timedOut;
        result.standardOutput = process.readAllStandardOutput();
        return result;
    }

    result.standardOutput = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.outcome = ProcessResult::Outcome::crashed;
    } else {
        result.outcome = ProcessResult::Outcome::exited;
        result.exitStatus = process.exitCode();
    }
    return result;
}

bool QtProcessRunner::launchDetached(const QString &program, const QStringList &arguments)
{
    if (!QDir::isAbsolutePath(program))
        return false;
    // Detached children are double-forked by Qt, so nothing here has to reap them.
    QProcess process;
    configure(process, program, arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace tarno
