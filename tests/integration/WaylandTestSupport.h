#pragma once

// What the Wayland tests share: a headless sway of their own, wl-copy and wl-paste as the other
// programs, and a selection source whose answers a test decides.
#include "tests/integration/DataControlThread.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <wayland-client.h>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace tarno::integration {

// A sway on the headless backend with a private runtime folder and session bus, its one output
// 1920 × 1080, and `config` for the rest of its configuration. sway refuses to run as root, so as
// root it runs as a system user of its own, made here when it is missing.
class HeadlessSway
{
public:
    static constexpr const char *userName = "tarno-sway";

    explicit HeadlessSway(QByteArray config = "xwayland disable\n") : m_config(std::move(config))
    {
        m_ready = start();
    }
    ~HeadlessSway()
    {
        if (m_process.state() != QProcess::NotRunning) {
            // The whole session: the session bus, sway and whatever it started.
            ::kill(-pid_t(m_process.processId()), SIGTERM);
            if (!m_process.waitForFinished(5000))
                ::kill(-pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(5000);
        }
        // sway may still be removing its sockets after the session's first process has gone.
        QDir folder(m_runtimeDir);
        QElapsedTimer waited;
        waited.start();
        while (!m_runtimeDir.isEmpty() && folder.exists() && !folder.removeRecursively() &&
               waited.elapsed() < 5000)
            QThread::msleep(20);
    }
    HeadlessSway(const HeadlessSway &) = delete;
    HeadlessSway &operator=(const HeadlessSway &) = delete;

    bool isReady() const { return m_ready; }
    // Why it is not ready, for the skip message.
    QString problem() const { return m_problem; }
    // What WAYLAND_DISPLAY must be for a client of this compositor, as any user.
    QString socketPath() const { return m_runtimeDir + "/wayland-1"; }
    QString runtimeDir() const { return m_runtimeDir; }
    QString log() const
    {
        QFile file(m_runtimeDir + "/sway.log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Runs a shell command inside the session, as sway's user and with sway's environment (the
    // DISPLAY of its Xwayland and the session bus among it), without waiting for it.
    bool exec(const QString &command) const
    {
        const QStringList sockets = QDir(m_runtimeDir).entryList({"sway-ipc.*.sock"}, QDir::System);
        if (sockets.isEmpty())
            return false;
        // From a script: sway would take a ';' or ',' in the command as the end of its own.
        QTemporaryFile script(m_runtimeDir + "/exec.XXXXXX");
        script.setAutoRemove(false);
        if (!script.open())
            return false;
        script.write(command.toLocal8Bit());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        QProcess swaymsg;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SWAYSOCK", m_runtimeDir + "/" + sockets.first());
        swaymsg.setProcessEnvironment(environment);
        swaymsg.start("swaymsg", {"exec", "sh " + script.fileName()});
        return swaymsg.waitForFinished(10000) && swaymsg.exitCode() == 0;
    }

    // Points this process and the programs it starts at the compositor.
    void enter() const
    {
        qputenv("WAYLAND_DISPLAY", socketPath().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_runtimeDir.toLocal8Bit());
    }

private:
    bool fail(const QString &problem)
    {
        m_problem = problem;
        return false;
    }

    bool start()
    {
        for (const char *program : {"sway", "swaymsg", "dbus-run-session", "wl-copy", "wl-paste"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                return fail(QString("%1 is not installed").arg(program));
        }
        uid_t uid = geteuid();
        gid_t gid = getegid();
        if (uid == 0) {
            if (!getpwnam(userName)) {
                QProcess useradd;
                useradd.start("useradd", {"--system", "--user-group", "--no-create-home", "--shell",
                                          "/usr/sbin/nologin", userName});
                if (!useradd.waitForFinished(30000) || useradd.exitCode() != 0 || !getpwnam(userName))
                    return fail("no user to run sway as, and useradd failed: " +
                                QString::fromLocal8Bit(useradd.readAllStandardError()).trimmed());
            }
            const passwd *user = getpwnam(userName);
            uid = user->pw_uid;
            gid = user->pw_gid;
            // Xwayland, as sway's user, would make the folder of the X sockets its own were it
            // missing, and X servers started as root later would find it so.
            if (mkdir("/tmp/.X11-unix", 01777) == 0)
                chmod("/tmp/.X11-unix", 01777);
        }
        QByteArray folder = QDir::tempPath().toLocal8Bit() + "/tarno-sway.XXXXXX";
        if (!mkdtemp(folder.data()))
            return fail("no runtime folder");
        m_runtimeDir = QString::fromLocal8Bit(folder);
        QFile config(m_runtimeDir + "/config");
        if (!config.open(QIODevice::WriteOnly))
            return fail("cannot write sway's config");
        config.write("output HEADLESS-1 resolution 1920x1080\n" + m_config);
        config.close();
        if (chown(folder.constData(), uid, gid) != 0 ||
            chown(QFile::encodeName(config.fileName()).constData(), uid, gid) != 0 ||
            chmod(folder.constData(), 0700) != 0)
            return fail("cannot hand the runtime folder to sway's user");

        QStringList arguments;
        if (uid != geteuid())
            arguments << "setpriv" << QString("--reuid=%1").arg(uid) << QString("--regid=%1").arg(gid)
                      << "--init-groups";
        arguments << "env"
                  << "-i"
                  << "PATH=/usr/bin:/bin"
                  << "HOME=" + m_runtimeDir << "XDG_RUNTIME_DIR=" + m_runtimeDir << "WLR_BACKENDS=headless"
                  << "WLR_LIBINPUT_NO_DEVICES=1"
                  << "WLR_RENDERER=pixman"
                  << "dbus-run-session"
                  << "--"
                  << "sway"
                  << "-c" << config.fileName();
        m_process.setProgram(arguments.takeFirst());
        m_process.setArguments(arguments);
        m_process.setWorkingDirectory("/");
        m_process.setStandardOutputFile(m_runtimeDir + "/sway.log");
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // A process group of its own, so that the session ends as a whole.
        m_process.setChildProcessModifier([] { setsid(); });
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return fail("sway could not be started: " + m_process.errorString());
        const bool up = QTest::qWaitFor(
            [this] { return QFile::exists(socketPath()) || m_process.state() == QProcess::NotRunning; },
            10000);
        if (!up || m_process.state() == QProcess::NotRunning)
            return fail("sway did not come up: " + log().right(400));
        return true;
    }

    QByteArray m_config;
    QProcess m_process;
    QString m_runtimeDir;
    QString m_problem;
    bool m_ready = false;
};

// Another program's selection, on a Wayland connection and a thread of its own: it offers the
// formats given, in their order, and answers each request with the format's bytes, or with
// `answers` false takes every request and never writes (nor closes the pipe until it goes).
class ScriptedSource final : private DataControl::Events
{
public:
    using Formats = QList<QPair<QByteArray, QByteArray>>;

    ScriptedSource(Formats formats, bool answers) : m_formats(std::move(formats)), m_answers(answers)
    {
        DataControl *control = m_client.control();
        if (!control)
            return;
        QStringList types;
        for (const auto &format : m_formats)
            types << QString::fromUtf8(format.first);
        control->setSelection(control->createSource(types));
        m_selected = wl_display_roundtrip(m_client.display()) >= 0 && m_client.serve();
    }
    ~ScriptedSource() override
    {
        m_client.stop();
        for (const int fd : m_kept)
            close(fd);
    }
    ScriptedSource(const ScriptedSource &) = delete;
    ScriptedSource &operator=(const ScriptedSource &) = delete;

    // Whether it became the selection (the compositor accepted it without an error).
    bool isSelection() const { return m_selected; }
    // The types asked for so far, in order.
    QStringList asked() const
    {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    void offerCreated(void *) override {}
    void offerType(void *, const char *) override {}
    void selection(void *) override {}
    void primarySelection(void *) override {}
    void finished() override {}
    void send(void *, const char *type, int fd) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_asked << QString::fromUtf8(type);
        }
        if (!m_answers) {
            m_kept << fd;
            return;
        }
        for (const auto &[name, data] : std::as_const(m_formats)) {
            if (name == type) {
                (void)!write(fd, data.constData(), size_t(data.size()));
                break;
            }
        }
        close(fd);
    }
    void cancelled(void *) override {}

    Formats m_formats;
    bool m_answers;
    bool m_selected = false;
    mutable std::mutex m_mutex;
    QStringList m_asked;
    QList<int> m_kept;
    DataControlThread m_client{*this};
};

// Waits for a program while the event loop runs: it may be waiting for our clipboard to answer.
inline bool finishes(QProcess &process)
{
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// wl-copy as the other program: it serves the selection from a process of its own, which stays
// until the selection changes (or, with --foreground, is the process started here).
inline bool wlCopy(const QByteArray &data, const QString &type = {})
{
    QProcess copy;
    QStringList arguments;
    if (!type.isEmpty())
        arguments << "--type" << type;
    copy.start("wl-copy", arguments);
    copy.write(data);
    copy.closeWriteChannel();
    return finishes(copy);
}

// What a Wayland program pastes now; empty when nothing is offered in that type.
inline QByteArray wlPaste(const QString &type = {})
{
    QProcess paste;
    QStringList arguments{"--no-newline"};
    if (!type.isEmpty())
        arguments << "--type" << type;
    paste.start("wl-paste", arguments);
    return finishes(paste) ? paste.readAllStandardOutput() : QByteArray();
}

inline QStringList wlTypes()
{
    QProcess paste;
    paste.start("wl-paste", {"--list-types"});
    finishes(paste);
    return QString::fromUtf8(paste.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace tarno::integration
