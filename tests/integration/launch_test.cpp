#include "tests/integration/X11TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace tarno::integration;

const QString watcherPath = QStringLiteral(TARNO_TEST_HELPERS_DIR "/sni_watcher");

// What a program run to its end said and how it ended.
struct Finished
{
    int status = -1;
    QString output;
    QString errors;
};

bool showsPopover(const QString &display)
{
    return findWindow("tarno", isPopover, display).has_value();
}

// Its docked icon, or the icon's window before the tray has sized it: small, whatever its place.
bool showsIcon(const QString &display)
{
    return findWindow(
               "tarno", [](QRect rect) { return rect.width() <= 40 && rect.height() <= 30; }, display)
        .has_value();
}

// Tarno as the desktop starts it, on this test's own session bus, with a home and runtime folder of
// the test's own, next to an XEmbed tray on the test's display and a second display without any.
class LaunchTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "integration tests need an X display";
        s_display = qEnvironmentVariable("DISPLAY");
        s_bus = new SessionBus;
        ASSERT_FALSE(s_bus->address().isEmpty());
        s_trayer = new QProcess;
        startTrayer(*s_trayer);
        // A display of its own for what must not see the tray: the one named, else any free one.
        s_otherServer = new QProcess;
        const QString named = qEnvironmentVariable("TARNO_TEST_SECOND_DISPLAY");
        s_otherServer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        s_otherServer->start("Xvfb", QStringList{named.isEmpty() ? QStringLiteral("-displayfd") : named} +
                                         QStringList{named.isEmpty() ? "1" : "-noreset", "-screen", "0",
                                                     "1280x800x24", "-nolisten", "tcp"});
        ASSERT_TRUE(s_otherServer->waitForStarted(waitMs));
        if (named.isEmpty()) {
            ASSERT_TRUE(s_otherServer->waitForReadyRead(waitMs));
            s_otherDisplay = ':' + QString::fromLatin1(s_otherServer->readLine().trimmed());
        } else {
            s_otherDisplay = named;
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [] {
                QProcess probe;
                probe.start("xdpyinfo", {"-display", s_otherDisplay});
                return probe.waitForFinished(waitMs) && probe.exitCode() == 0;
            },
            waitMs))
            << "the second display never came up";
    }
    static void TearDownTestSuite()
    {
        for (QProcess *process : {s_trayer, s_otherServer}) {
            process->terminate();
            process->waitForFinished(waitMs);
            delete process;
        }
        delete s_bus;
    }

    void TearDown() override
    {
        for (const auto &process : m_started) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(waitMs);
            }
        }
        [[maybe_unused]] const bool gone = QTest::qWaitFor([] { return !showsIcon(s_display); }, waitMs);
    }

    QProcessEnvironment environment(const QString &display) const
    {
        QProcessEnvironment environment = tarnoEnvironment(m_home.path());
        environment.insert("DISPLAY", display);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", s_bus->address());
        return environment;
    }

    // A Tarno (or another program) left running, ended by the fixture if the test does not end it.
    QProcess *launch(const QStringList &arguments, const QString &display = s_display,
                     const QString &program = tarnoPath())
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment(display));
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        m_started.push_back(std::move(process));
        return m_started.back().get();
    }

    // A launch that must end by itself.
    Finished run(const QStringList &arguments, const QString &display = s_display)
    {
        auto owned = std::make_unique<QProcess>();
        QProcess *process = owned.get();
        process->setProcessEnvironment(environment(display));
        process->start(tarnoPath(), arguments);
        m_started.push_back(std::move(owned));
        Finished finished;
        if (!process->waitForFinished(waitMs))
            return finished;
        finished.status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        finished.output = QString::fromLocal8Bit(process->readAllStandardOutput());
        finished.errors = QString::fromLocal8Bit(process->readAllStandardError());
        return finished;
    }

    static inline QString s_display;
    static inline QString s_otherDisplay;
    static inline SessionBus *s_bus = nullptr;
    static inline QProcess *s_trayer = nullptr;
    static inline QProcess *s_otherServer = nullptr;

    QTemporaryDir m_home;
    std::vector<std::unique_ptr<QProcess>> m_started;
};

TEST_F(LaunchTest, SecondLaunchHandsToggleShowAndQuitToTheRunningOne)
{
    QProcess *first = launch({});
    ASSERT_TRUE(QTest::qWaitFor([] { return showsIcon(s_display); }, waitMs)) << "Tarno never docked";

    const struct
    {
        const char *option;
        bool shownAfter;
    } steps[] = {
        {"--toggle", true}, {"--toggle", false}, {"--show", true}, {"--show", true}, {"--toggle", false}};
    for (const auto &step : steps) {
        const Finished second = run({step.option});
        EXPECT_EQ(second.status, 0) << step.option << ": " << second.errors.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return showsPopover(s_display) == step.shownAfter; }, waitMs))
            << step.option << " did not leave the popover " << (step.shownAfter ? "open" : "closed");
    }
    EXPECT_EQ(first->state(), QProcess::Running);

    const Finished quit = run({"--quit"});
    EXPECT_EQ(quit.status, 0) << quit.errors.toStdString();
    ASSERT_TRUE(first->waitForFinished(waitMs)) << "--quit did not end the running Tarno";
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(LaunchTest, AloneQuitAndBadOptionsEndWithoutStartingAndShowStartsOpen)
{
    const struct
    {
        QStringList arguments;
        int status;
        const char *says;
    } cases[] = {{{"--quit"}, 1, "no Tarno is running on this display"},
                 {{"--frobnicate"}, 2, "Unknown option 'frobnicate'"},
                 {{"--show", "--toggle"}, 2, "only one"},
                 {{"stray"}, 2, "stray"}};
    for (const auto &launchCase : cases) {
        const Finished finished = run(launchCase.arguments);
        EXPECT_EQ(finished.status, launchCase.status) << launchCase.arguments.join(' ').toStdString();
        EXPECT_TRUE(finished.errors.contains(launchCase.says)) << finished.errors.toStdString();
        EXPECT_FALSE(showsIcon(s_display))
            << launchCase.arguments.join(' ').toStdString() << " started Tarno";
    }
    const Finished version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "tarno 0.1.0\n");

    QProcess *shown = launch({"--show"});
    EXPECT_TRUE(QTest::qWaitFor([] { return showsPopover(s_display); }, waitMs))
        << "--show with none running did not open the popover";
    EXPECT_EQ(shown->state(), QProcess::Running);
}

TEST_F(LaunchTest, EachDisplayHasItsOwnTarno)
{
    QProcess *here = launch({});
    ASSERT_TRUE(QTest::qWaitFor([] { return showsIcon(s_display); }, waitMs));
    // On a display without a tray it waits for one, running.
    QProcess *there = launch({}, s_otherDisplay);
    QTest::qWait(1000);
    ASSERT_EQ(there->state(), QProcess::Running)
        << "a Tarno on another display kept the second from starting";

    // Each display's command line reaches its own.
    EXPECT_EQ(run({"--quit"}, s_otherDisplay).status, 0);
    ASSERT_TRUE(there->waitForFinished(waitMs));
    EXPECT_EQ(there->exitCode(), 0);
    EXPECT_EQ(here->state(), QProcess::Running);
    EXPECT_EQ(run({"--quit"}, s_otherDisplay).status, 1);
    EXPECT_EQ(run({"--quit"}).status, 0);
    EXPECT_TRUE(here->waitForFinished(waitMs));
}

TEST_F(LaunchTest, StartedBeforeTheStatusNotifierWatcherItDocksWhenItComesAndThenShows)
{
    // Started as a session starts it, before the desktop's tray: on the display without an XEmbed tray.
    QProcess *app = launch({"--show"}, s_otherDisplay);
    QTest::qWait(1500);
    ASSERT_EQ(app->state(), QProcess::Running);
    EXPECT_FALSE(showsPopover(s_otherDisplay)) << "the popover opened against nothing";

    QProcess *watcher = launch({}, s_otherDisplay, watcherPath);
    ASSERT_TRUE(watcher->waitForReadyRead(waitMs));
    ASSERT_EQ(watcher->readLine().trimmed(), "ready");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher->canReadLine(); }, waitMs))
        << "the item never registered with the watcher that came later";
    EXPECT_TRUE(watcher->readLine().startsWith("item "));
    EXPECT_TRUE(QTest::qWaitFor([] { return showsPopover(s_otherDisplay); }, waitMs))
        << "--show did not open the popover once the item had docked";
    EXPECT_EQ(run({"--quit"}, s_otherDisplay).status, 0);
    EXPECT_TRUE(app->waitForFinished(waitMs));
}

} // namespace
