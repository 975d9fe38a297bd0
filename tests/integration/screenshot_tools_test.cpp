// The screenshot tools of a Linux desktop, run for real on the X display, each in a private home
// whose pictures folder has a localised name: what each saves must land in a folder the watcher
// watches, under a name it takes, and become one clip. Tools that are not installed are skipped.
#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "capture/ToolConfigFiles.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/QtRuntime.h"
#include "platform/x11/X11Clipboard.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <signal.h>
#include <unistd.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

constexpr int toolBoundMs = 30'000;

struct ToolCase
{
    const char *name;
    const char *program;
    QStringList arguments; // "PICTURES" stands for the pictures folder
    // Whether it asks for a name in a dialog first, which Return accepts as proposed.
    bool acceptsDialog;
};

// Runs a program in a process group of its own, so that everything it starts (daemons included)
// ends with it.
class GroupProcess
{
public:
    GroupProcess(const QString &program, const QStringList &arguments, const QString &folder,
                 const QProcessEnvironment &environment)
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setWorkingDirectory(folder);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
        m_process.start();
        m_process.waitForStarted(toolBoundMs);
        m_group = m_process.processId();
    }
    ~GroupProcess()
    {
        if (m_group > 0)
            ::kill(pid_t(-m_group), SIGKILL);
        m_process.waitForFinished(2000);
    }
    GroupProcess(const GroupProcess &) = delete;
    GroupProcess &operator=(const GroupProcess &) = delete;

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

private:
    QProcess m_process;
    qint64 m_group = 0;
};

// KDE's tools have the session bus start helpers (kglobalaccel5) that outlive both the tool and the
// bus. Each test's home is a folder of its own, so what still runs with it as HOME was started by
// the test, and nothing else is touched.
void endProcessesOfHome(const QString &home)
{
    const QByteArray marker = '\0' + ("HOME=" + home).toLocal8Bit() + '\0';
    const QStringList pids = QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs);
    for (const QString &pid : pids) {
        QFile environ("/proc/" + pid + "/environ");
        if (environ.open(QIODevice::ReadOnly) && ('\0' + environ.readAll()).contains(marker))
            ::kill(pid_t(pid.toInt()), SIGKILL);
    }
}

class ScreenshotToolsTest : public ::testing::TestWithParam<ToolCase>
{
protected:
    QTemporaryDir root;
    ~ScreenshotToolsTest() override { endProcessesOfHome(home()); }
    QString home() const { return root.filePath("home"); }
    QString pictures() const { return root.filePath("home/Bilder"); }

    // A session bus of the test's own, in a private folder, ended with the test; whether it came up.
    bool startSessionBus()
    {
        QDir().mkpath(root.filePath("run"));
        QFile::setPermissions(root.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_bus = std::make_unique<GroupProcess>(
            "/usr/bin/dbus-daemon",
            QStringList{"--session", "--nofork", "--nopidfile", "--address=" + busAddress()}, home(),
            QProcessEnvironment::systemEnvironment());
        return QTest::qWaitFor([&] { return QFileInfo::exists(root.filePath("run/bus")); }, 5000);
    }
    QString busAddress() const { return "unix:path=" + root.filePath("run/bus"); }
    std::unique_ptr<GroupProcess> m_bus;

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X display";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        // The platform opens Tarno's own settings below the home: never the real one.
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", home().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home() + "/.config").toLocal8Bit());
        QDir().mkpath(pictures());
        ASSERT_TRUE(replaceFile(home() + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
    }

    // The tools' environment: the private home, and a session bus of their own, so that none
    // of them starts one that outlives the test.
    QProcessEnvironment toolEnvironment(const QString &bus) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home());
        environment.insert("XDG_CONFIG_HOME", home() + "/.config");
        environment.insert("XDG_CACHE_HOME", home() + "/.cache");
        environment.insert("XDG_DATA_HOME", home() + "/.local/share");
        environment.insert("XDG_RUNTIME_DIR", root.filePath("run"));
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus);
        environment.insert("NO_AT_BRIDGE", "1");
        environment.insert("LANG", "C.UTF-8");
        environment.remove("LANGUAGE");
        return environment;
    }

    QStringList savedImages() const
    {
        QStringList found;
        QDirIterator it(home(), {"*.png", "*.jpg"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }
};

TEST_P(ScreenshotToolsTest, WhatTheToolSavesIsWatchedAndBecomesOneClip)
{
    const ToolCase &tool = GetParam();
    const QString program = QString("/usr/bin/") + tool.program;
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << tool.program << " is not installed";
    if (tool.acceptsDialog && !QFileInfo("/usr/bin/xdotool").isExecutable())
        GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(startSessionBus());
    const QProcessEnvironment environment = toolEnvironment(busAddress());

    QtProcessRunner runner;
    SystemScreenshotPreferences preferences(
        runner, ScreenshotEnvironment{home(), home() + "/.config", "/usr/bin", "/usr/share/locale", {}});
    const QStringList folders = preferences.screenshotFolders();
    ASSERT_TRUE(folders.contains(pictures())) << folders.join(' ').toStdString();

    QtPlatform platform;
    ClipboardHistoryViewModel history(platform.runtime(), *platform.platform().codec);
    ClipboardMonitor monitor(platform.runtime(), platform.clipboard(), *platform.platform().codec);
    ScreenshotFileWatcher watcher(platform.runtime(), *platform.platform().fileEvents, platform.clipboard(),
                                  *platform.platform().codec, monitor);
    watcher.start([&](const ClipboardItem &item) { history.add(item); }, folders,
                  preferences.screenshotFileNames());
    ASSERT_TRUE(watcher.isWatching());

    QStringList arguments = tool.arguments;
    arguments.replaceInStrings("PICTURES", pictures());
    GroupProcess run(program, arguments, pictures(), environment);
    // A dialog may take a while to take keys under load, so Return is pressed until it has saved.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (tool.acceptsDialog && savedImages().isEmpty()) {
                QProcess::execute("/usr/bin/xdotool",
                                  {"search", "--name", "Save screenshot as", "windowfocus", "key", "Return"});
                QTest::qWait(700);
            }
            return !savedImages().isEmpty();
        },
        toolBoundMs))
        << "nothing was saved";
    const QStringList saved = savedImages();
    ASSERT_EQ(saved.size(), 1) << saved.join(' ').toStdString();
    std::cout << "[ saved    ] " << tool.name << ": " << saved.first().mid(home().size() + 1).toStdString()
              << '\n';

    EXPECT_TRUE(preferences.screenshotFileNames().matches(saved.first())) << saved.first().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return history.items().size() == 1; }, 5000)) << "no clip";
    EXPECT_EQ(history.items().first().kind, ClipboardItemKind::image);
    QTest::qWait(500);
    EXPECT_EQ(history.items().size(), 1);
    watcher.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ScreenshotToolsTest,
    ::testing::Values(ToolCase{"gnomeScreenshot", "gnome-screenshot", {}, false},
                      ToolCase{"spectacle", "spectacle", {"-b", "-n", "-f"}, false},
                      ToolCase{"xfce4Screenshooter", "xfce4-screenshooter", {"-f", "-s", "PICTURES"}, true},
                      ToolCase{"flameshot", "flameshot", {"full", "-p", "PICTURES"}, false},
                      ToolCase{"scrot", "scrot", {}, false}),
    [](const auto &info) { return std::string(info.param.name); });

// The one tool whose setting the switch writes: Spectacle then copies each screenshot it takes.
TEST_F(ScreenshotToolsTest, SpectacleFollowsTheSwitch)
{
    if (!QFileInfo("/usr/bin/spectacle").isExecutable())
        GTEST_SKIP() << "spectacle is not installed";
    QtProcessRunner runner;
    SystemScreenshotPreferences preferences(
        runner, ScreenshotEnvironment{home(), home() + "/.config", "/usr/bin", "/usr/share/locale", {}});
    const ScreenshotClipboardStatus status = preferences.enableClipboardScreenshots();
    ASSERT_TRUE(status.applied()) << status.problem.toStdString();
    EXPECT_EQ(status.configuredTools, QStringList{"Spectacle"});

    ASSERT_TRUE(startSessionBus());
    // xclip, another program, reads what the clipboard offers.
    const auto offersPng = [] {
        QProcess xclip;
        xclip.start("/usr/bin/xclip", {"-selection", "clipboard", "-o", "-t", "TARGETS"});
        return xclip.waitForFinished(5000) && xclip.readAllStandardOutput().split('\n').contains("image/png");
    };
    {
        QProcess::execute("/bin/sh", {"-c", "printf before | /usr/bin/xclip -selection clipboard"});
        ASSERT_FALSE(offersPng());
        // Its window takes the screenshot at once and copies it, as the setting says.
        GroupProcess spectacle("/usr/bin/spectacle", {"-f"}, home(), toolEnvironment(busAddress()));
        EXPECT_TRUE(QTest::qWaitFor(offersPng, toolBoundMs));
    }
    // It merges its own settings into the file when it ends, and keeps the switch's.
    QTest::qWait(500);
    EXPECT_TRUE(preferences.clipboardScreenshotStatus().applied());
}

} // namespace
