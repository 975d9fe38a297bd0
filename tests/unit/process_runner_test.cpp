#include "platform/qt/QtProcessRunner.h"
#include "tests/support/TestData.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

using namespace tarno;
using namespace std::chrono_literals;
using Outcome = ProcessResult::Outcome;

namespace {

const QString sh = "/bin/sh";

ProcessResult shell(QtProcessRunner &runner, const QString &script, QStringList arguments = {})
{
    return runner.run(sh, QStringList{"-c", script, "sh"} + arguments);
}

// Whether a process of that id still exists, zombies included: a zombie still answers signal 0.
bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

// Zombies cannot be signalled away; only their state in /proc tells them apart from live processes.
bool isLiveProcess(qint64 pid)
{
    const QByteArray line = readFile(QString("/proc/%1/stat").arg(pid));
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

// Every child we started has been waited for.
void expectNoUnreapedChildren()
{
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ProcessRunnerTest, ReportsExitStatusesAndOutputExactly)
{
    QtProcessRunner runner;
    for (const int status : {0, 1, 3, 255}) {
        const ProcessResult result = shell(runner, QString("printf 'out %1\\n'; exit %1").arg(status));
        EXPECT_EQ(result.outcome, Outcome::exited);
        EXPECT_EQ(result.exitStatus, status);
        EXPECT_EQ(result.standardOutput, QString("out %1\n").arg(status).toUtf8());
        EXPECT_EQ(result.succeeded(), status == 0);
    }
    const ProcessResult crashed = shell(runner, "kill -9 $$");
    EXPECT_EQ(crashed.outcome, Outcome::crashed);
    EXPECT_TRUE(crashed.launched());
    EXPECT_FALSE(crashed.succeeded());
    expectNoUnreapedChildren();
}

// Standard input is empty and closed: a child reading it to the end does not wait for the bound.
TEST(ProcessRunnerTest, ArgumentsArriveSeparatelyAndUninterpretedAndStandardInputIsEmpty)
{
    QtProcessRunner runner(2s);
    const ProcessResult result =
        shell(runner, R"(printf '%s|' "$@"; cat)", {"a b", "*", "$HOME", "", "; echo no", "é"});
    EXPECT_EQ(result.outcome, Outcome::exited);
    EXPECT_EQ(result.standardOutput, QString("a b|*|$HOME||; echo no|é|").toUtf8());
}

// Far more than a pipe holds, on both streams at once: a runner that reads neither while it waits
// deadlocks until its bound and reports a timeout.
TEST(ProcessRunnerTest, TalkativeChildCompletes)
{
    QtProcessRunner runner(20s);
    const ProcessResult result =
        shell(runner, "head -c 1048576 /dev/zero | tr '\\0' o; head -c 1048576 /dev/zero >&2; echo end");
    ASSERT_EQ(result.outcome, Outcome::exited);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput.size(), 1048576 + 4);
    EXPECT_TRUE(result.standardOutput.endsWith("ooo\nend\n") || result.standardOutput.endsWith("oooend\n"));
    EXPECT_EQ(result.standardOutput.count('o'), 1048576);
}

TEST(ProcessRunnerTest, ChildPastTheBoundIsKilledWithWhatItStartedAndReaped)
{
    QtProcessRunner runner(300ms);
    QElapsedTimer clock;
    clock.start();
    // The shell prints its own id and its background child's, then waits on it.
    const ProcessResult result = shell(runner, "sleep 30 & echo $$ $!; wait");
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(result.outcome, Outcome::timedOut);
    EXPECT_TRUE(result.launched());
    EXPECT_FALSE(result.succeeded());
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 3000);

    const QList<QByteArray> ids = result.standardOutput.trimmed().split(' ');
    ASSERT_EQ(ids.size(), 2) << result.standardOutput.toStdString();
    EXPECT_FALSE(processExists(ids.at(0).toLongLong())); // killed and reaped, not a zombie
    // The grandchild belongs to init once orphaned; it must at least be dead.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isLiveProcess(ids.at(1).toLongLong()); }, 2000));
    expectNoUnreapedChildren();
}

TEST(ProcessRunnerTest, ProgramsThatCannotRunFailToLaunch)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("plain"), "#!/bin/sh\necho hi\n"); // not executable

    QtProcessRunner runner(2s);
    for (const QString &program : {QString("/nonexistent/tool"), QString("/usr/bin/defaults"),
                                   dir.filePath("plain"), dir.path(), QString("sh"), QString()}) {
        SCOPED_TRACE(program.toStdString());
        const ProcessResult result = runner.run(program, {"-c", "echo hi"});
        EXPECT_EQ(result.outcome, Outcome::failedToStart);
        EXPECT_FALSE(result.launched());
        EXPECT_TRUE(result.standardOutput.isEmpty());
        EXPECT_FALSE(runner.launchDetached(program, {"-c", "echo hi"}));
    }
    expectNoUnreapedChildren();
}

TEST(ProcessRunnerTest, DetachedLaunchReturnsAtOnceAndLeavesNoZombie)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("marker");
    QtProcessRunner runner(300ms);
    QElapsedTimer clock;
    clock.start();
    // Outlives the bound on purpose: a detached launch must not wait for it, nor kill it.
    ASSERT_TRUE(runner.launchDetached(
        sh, {"-c", "echo $$ > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"; sleep 1", "sh", marker}));
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 5000));
    const qint64 pid = readFile(marker).trimmed().toLongLong();
    EXPECT_TRUE(isLiveProcess(pid));
    expectNoUnreapedChildren(); // it is not our child at all
}

} // namespace
