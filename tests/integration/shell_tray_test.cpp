#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Platform.h"
#include "platform/api/StatusItem.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtPopover.h"
#include "platform/qt/QtRuntime.h"
#include "platform/qt/QtShellPlatform.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Compositor.h"
#include "platform/x11/X11EventMonitors.h"
#include "platform/x11/X11GlobalShortcut.h"
#include "shell/MenuBarController.h"
#include "shell/MenuBarDropView.h"
#include "shell/ShellServices.h"
#include "tests/integration/X11TestSupport.h"
#include "tests/support/RecordingServices.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShortcutSetting.h"

#include <QDataStream>
#include <QDir>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace tarno;
using namespace tarno::integration;

namespace {

const QString dragSourcePath = QStringLiteral(TARNO_TEST_HELPERS_DIR "/drag_source");

bool isIcon(QRect rect)
{
    // The tray maps a new icon before it gives it its size.
    return rect.width() >= 16 && rect.width() <= 40 && rect.height() >= 16 && rect.height() <= 30 &&
           rect.y() < 30;
}

// The docked icon once the tray has laid it out: inside the tray's panel, which grows to hold it.
std::optional<WindowInfo> waitForDockedIcon()
{
    std::optional<WindowInfo> icon;
    [[maybe_unused]] const bool docked = QTest::qWaitFor(
        [&] {
            icon = findWindow("tarno", isIcon);
            const auto panel = findWindow("panel", [](QRect) { return true; });
            return icon && panel && panel->screenRect.contains(icon->screenRect);
        },
        waitMs);
    return docked ? icon : std::nullopt;
}

// The middle of one of the tray menu's items, which are "Pause Capturing" then "Quit Tarno", of one
// height each.
QPoint menuItemCentre(const WindowInfo &menu, int index)
{
    constexpr int items = 2;
    const QRect rect = menu.screenRect;
    return {rect.center().x(), rect.top() + rect.height() * (2 * index + 1) / (2 * items)};
}

// The tray host every test docks into, started and stopped by the test itself.
class TrayHostTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "integration tests need an X display";
        s_trayer = new QProcess;
        startTrayer(*s_trayer);
    }
    static void TearDownTestSuite()
    {
        s_trayer->terminate();
        s_trayer->waitForFinished(waitMs);
        delete s_trayer;
        s_trayer = nullptr;
    }

    static QProcess *s_trayer;
};

QProcess *TrayHostTest::s_trayer = nullptr;

// Tarno itself, as a user starts it, with a home and runtime folder of its own.
class AppTest : public TrayHostTest
{
protected:
    QTemporaryDir home;
    // Set in every program the test launches after it is set.
    QProcessEnvironment extraEnvironment;

    enum class RuntimeFolder
    {
        given,
        // The session names none; the temporary folder is the test's own.
        missing
    };

    // Owned by the fixture, which ends whatever a failed test left running.
    QProcess *launch(QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel,
                     RuntimeFolder runtimeFolder = RuntimeFolder::given)
    {
        auto app = std::make_unique<QProcess>();
        QProcessEnvironment environment = tarnoEnvironment(home.path());
        if (runtimeFolder == RuntimeFolder::missing) {
            environment.remove("XDG_RUNTIME_DIR");
            environment.insert("TMPDIR", home.path());
        }
        for (const QString &name : extraEnvironment.keys())
            environment.insert(name, extraEnvironment.value(name));
        app->setProcessEnvironment(environment);
        app->setProcessChannelMode(channels);
        app->start(tarnoPath(), {});
        m_started.push_back(std::move(app));
        return m_started.back().get();
    }
    void TearDown() override
    {
        for (const auto &app : m_started) {
            if (app->state() != QProcess::NotRunning) {
                app->kill();
                app->waitForFinished(waitMs);
            }
        }
        // Let the tray drop the icons of the ended programs before the next test looks.
        [[maybe_unused]] const bool gone =
            QTest::qWaitFor([] { return !findWindow("tarno", isIcon); }, waitMs);
    }

    std::vector<std::unique_ptr<QProcess>> m_started;
};

TEST_F(AppTest, IconDocksAndClicksOpenThePopoverBelowItAndCloseItThereOrInAnotherProgram)
{
    QRasterWindow other;
    other.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    other.setGeometry(100, 400, 200, 150);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    launch();
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon) << "the icon never docked in the tray";
    EXPECT_EQ(icon->screenRect.width(), 32);

    const QPoint centre = icon->screenRect.center();
    clickAt(centre);
    const auto popover = waitForWindow("tarno", isPopover);
    ASSERT_TRUE(popover) << "no popover after a click";
    // Below the icon, centred on it unless that would leave the screen.
    EXPECT_EQ(popover->screenRect.top(), icon->screenRect.bottom() + 1);
    const int centred = std::min(centre.x() - 180, 1920 - 360);
    EXPECT_NEAR(popover->screenRect.left(), centred, 1);
    const QString states = outputOf("xprop", {"-id", popover->id, "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE"});
    EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_TASKBAR")) << states.toStdString();
    EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_PAGER")) << states.toStdString();

    // A click inside the popover leaves it open; one in another program's window closes it.
    clickAt(popover->screenRect.center());
    QTest::qWait(400);
    EXPECT_TRUE(findWindow("tarno", isPopover)) << "a click inside closed the popover";
    clickAt({200, 470});
    EXPECT_TRUE(QTest::qWaitFor([] { return !findWindow("tarno", isPopover); }, waitMs))
        << "a click in another program's window left the popover open";

    clickAt(centre);
    ASSERT_TRUE(waitForWindow("tarno", isPopover)) << "no popover after a click";
    xdotool({"click", "1"});
    EXPECT_TRUE(QTest::qWaitFor([] { return !findWindow("tarno", isPopover); }, waitMs))
        << "a second click on the icon did not close the popover";
    // Closed once, not closed and reopened: it stays closed.
    QTest::qWait(400);
    EXPECT_FALSE(findWindow("tarno", isPopover));
}

// The keyboard focus as the server starts with it, on whichever window is under the pointer, as a
// desktop keeps it. A program killed while it had the focus may leave it on none, and then no key
// reaches anyone, grabs included.
void focusFollowsThePointer()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
                        XCB_CURRENT_TIME);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
}

TEST_F(AppTest, SuperVOpensThePopoverUnderTheIconAndClosesItWhateverTheLocks)
{
    focusFollowsThePointer();
    launch();
    // Taken before the icon shows: once it has docked the shortcut works.
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon) << "the icon never docked in the tray";
    xdotool({"key", "super+v"});
    ASSERT_TRUE(waitForWindow("tarno", isPopover)) << "no popover after Super+V";
    // The keys are up and the popover keeps the focus they left it.
    QTest::qWait(400);
    EXPECT_TRUE(findWindow("tarno", isPopover)) << "the popover closed by itself";

    // With Num Lock and Caps Lock on, the same keys close it and open it again.
    xdotool({"key", "Num_Lock", "Caps_Lock"});
    const auto locksOff = qScopeGuard([] { xdotool({"key", "Num_Lock", "Caps_Lock"}); });
    xdotool({"key", "super+v"});
    EXPECT_TRUE(QTest::qWaitFor([] { return !findWindow("tarno", isPopover); }, waitMs))
        << "a second Super+V did not close the popover";
    xdotool({"key", "super+v"});
    const auto popover = waitForWindow("tarno", isPopover);
    ASSERT_TRUE(popover) << "Super+V with the locks on did nothing";
    // Under the icon, as a click opens it.
    EXPECT_EQ(popover->screenRect.top(), icon->screenRect.bottom() + 1);
}

TEST_F(AppTest, QuitFromTheMenuRemovesTheIconAndEndsTheProgram)
{
    QProcess *app = launch();
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon);
    clickAt(icon->screenRect.center(), "3");
    const auto menu = waitForWindow("tarno", [](QRect rect) { return rect.y() >= 20 && rect.height() < 80; });
    ASSERT_TRUE(menu) << "no menu after a right click";
    EXPECT_FALSE(findWindow("tarno", isPopover)) << "the menu opened the popover";
    // Just below the icon.
    EXPECT_NEAR(menu->screenRect.top(), icon->screenRect.bottom() + 1, 2);
    clickAt(menuItemCentre(*menu, 1));
    ASSERT_TRUE(app->waitForFinished(waitMs)) << "choosing Quit Tarno did not end the program";
    EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->exitCode(), 0);
    EXPECT_FALSE(findWindow("tarno", isIcon));
}

TEST_F(AppTest, ClipboardItServesIsHandedToTheClipboardManagerAtQuit)
{
    // The desktop's clipboard manager, here this test's own, which Tarno then leaves alone.
    X11Clipboard manager;
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.isClipboardManager(); }, waitMs));
    QSignalSpy gone(&manager, &X11Clipboard::ownerGone);
    QProcess *app = launch(QProcess::SeparateChannels);
    ASSERT_TRUE(waitForDockedIcon());

    // A program copies and is killed once both Tarno and the manager have read its copy: Tarno
    // goes on serving it, and the manager reads that.
    HostileOwner program("counted");
    ASSERT_TRUE(program.holdsClipboard());
    ASSERT_TRUE(program.waitForLine("served") && program.waitForLine("served"));
    program.exit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.size() == 1; }, waitMs));
    const qint64 programsCopy = manager.changeCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.changeCount() > programsCopy; }, waitMs))
        << "Tarno kept nothing";
    EXPECT_TRUE(manager.isClipboardManager());

    // Tarno quits: Qt asks the manager to save the clipboard first, and must not have to wait.
    app->terminate();
    ASSERT_TRUE(app->waitForFinished(waitMs));
    EXPECT_EQ(app->exitCode(), 0);
    EXPECT_FALSE(app->readAllStandardError().contains("clipboard manager"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.size() == 2; }, waitMs));
    EXPECT_EQ(manager.snapshot()->data("text/plain"), "counted copy");
}

// A picture whose colour profile chunk is damaged, as some editors write them: libpng warns, and the
// picture reads all the same.
QByteArray pngWithDamagedProfile()
{
    QByteArray png = encodeImage(QImage(QSize(8, 8), QImage::Format_RGB32));
    const QByteArray data = QByteArray("odd\0\0", 5) + qCompress(QByteArray(132, 'x')).mid(4);
    QByteArray chunk;
    QDataStream stream(&chunk, QIODevice::WriteOnly);
    stream << quint32(data.size());
    stream.writeRawData("iCCP", 4);
    stream.writeRawData(data.constData(), int(data.size()));
    // A checksum that does not match.
    stream << quint32(0);
    // Right after IHDR: the signature's 8 bytes, then IHDR's length, type, 13 bytes and checksum.
    png.insert(8 + 25, chunk);
    return png;
}

TEST_F(AppTest, StandardErrorStaysQuietThroughStartAnOddPictureAndQuitWithoutARuntimeFolder)
{
    QProcess *app = launch(QProcess::SeparateChannels, RuntimeFolder::missing);
    ASSERT_TRUE(waitForDockedIcon());
    // The folder Tarno chose holds its lock, so a second launch finds the first.
    QProcess *second = launch(QProcess::SeparateChannels, RuntimeFolder::missing);
    ASSERT_TRUE(second->waitForFinished(waitMs)) << "the second launch did not find the first";
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(second->readAllStandardError().toStdString(), "");

    const QByteArray said = copyUntilRead(pngWithDamagedProfile(), "image/png");
    ASSERT_TRUE(said.isEmpty()) << "the picture: " << said.toStdString();
    // Tarno serves the picture once its program has gone, so it has read it.
    EXPECT_TRUE(QTest::qWaitFor([] { return targetsOffered().contains("application/x-qt-image"); }, waitMs));

    app->terminate();
    ASSERT_TRUE(app->waitForFinished(waitMs));
    EXPECT_EQ(app->exitCode(), 0);
    EXPECT_EQ(app->readAllStandardError().toStdString(), "");
}

// Another program copies the text and ends once Tarno has read it; Tarno then serves it as its newest
// clip.
void copyInAnotherProgram(const QByteArray &text)
{
    const QByteArray said = copyUntilRead(text);
    ASSERT_TRUE(said.isEmpty()) << text.toStdString() << ": " << said.toStdString();
    // Tarno serves only its newest clip once the program has gone: this one is a clip now.
    ASSERT_TRUE(QTest::qWaitFor([&] { return xclipPaste() == text; }, waitMs))
        << text.toStdString() << " never became the newest clip";
}

TEST_F(AppTest, IconDocksAgainWhenTheTrayRestarts)
{
    launch();
    ASSERT_TRUE(waitForDockedIcon());
    s_trayer->terminate();
    ASSERT_TRUE(s_trayer->waitForFinished(waitMs));
    // Handed back to the root by the dying tray, it must not linger on screen.
    EXPECT_TRUE(QTest::qWaitFor([] { return viewableWindows("tarno").isEmpty(); }, waitMs));

    startTrayer(*s_trayer);
    EXPECT_TRUE(waitForDockedIcon()) << "the icon did not dock into the new tray";
}

TEST_F(AppTest, SecondLaunchLeavesTheFirstInChargeAndTerminationTearsDown)
{
    QProcess *first = launch();
    ASSERT_TRUE(waitForDockedIcon());
    QProcess *second = launch();
    ASSERT_TRUE(second->waitForFinished(waitMs)) << "the second launch kept running";
    EXPECT_EQ(second->exitCode(), 0);
    QTest::qWait(300);
    int icons = 0;
    for (const WindowInfo &window : viewableWindows("tarno"))
        icons += isIcon(window.screenRect) ? 1 : 0;
    EXPECT_EQ(icons, 1);

    for (const int signal : {SIGTERM, SIGINT}) {
        QProcess *app = signal == SIGTERM ? first : launch();
        ASSERT_TRUE(waitForDockedIcon());
        ::kill(static_cast<pid_t>(app->processId()), signal);
        ASSERT_TRUE(app->waitForFinished(waitMs));
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(app->exitCode(), 0);
        EXPECT_FALSE(findWindow("tarno", isIcon));
    }
}

TEST_F(AppTest, KeysSelectSearchAndCopyInThePopover)
{
    launch();
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon) << "the icon never docked in the tray";
    for (const QByteArray text : {"alpha one", "beta two", "gamma three"})
        ASSERT_NO_FATAL_FAILURE(copyInAnotherProgram(text));
    // Opened by a click, with the keyboard's focus in it.
    const auto open = [&] {
        clickAt(icon->screenRect.center());
        const auto popover = waitForWindow("tarno", isPopover);
        return popover && QTest::qWaitFor(
                              [&] {
                                  const QString focus = outputOf("xdotool", {"getwindowfocus"}).trimmed();
                                  return focus.toULongLong() == popover->id.toULongLong(nullptr, 16);
                              },
                              waitMs);
    };
    const auto closed = [] {
        return QTest::qWaitFor([] { return !findWindow("tarno", isPopover); }, waitMs);
    };

    // Down from the newest and Enter: the copy before it, and the popover closes.
    ASSERT_TRUE(open()) << "no focused popover after a click";
    xdotool({"key", "Down", "Return"});
    EXPECT_TRUE(closed()) << "Enter left the popover open";
    EXPECT_EQ(xclipPaste(), "beta two");

    // Typing filters the list: Enter copies the first clip that matches.
    ASSERT_TRUE(open());
    xdotool({"type", "ALP"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(closed());
    EXPECT_EQ(xclipPaste(), "alpha one");

    // Escape clears the search first and closes the popover second.
    ASSERT_TRUE(open());
    xdotool({"type", "zz"});
    xdotool({"key", "Escape"});
    QTest::qWait(300);
    EXPECT_TRUE(findWindow("tarno", isPopover)) << "the first Escape closed the popover";
    xdotool({"key", "Escape"});
    EXPECT_TRUE(closed()) << "the second Escape left the popover open";
}

// What a screen reader reads of the popover: each line of the accessible tree as depth, role, name
// and states, tab separated, after pressing the named controls in turn.
QStringList accessibleTree(const QString &busAddress, const QStringList &presses = {})
{
    QStringList arguments{QStringLiteral(TARNO_TEST_HELPERS_DIR "/accessible_tree.py"), "Tarno"};
    for (const QString &name : presses)
        arguments << "press" << name;
    QProcess reader;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    reader.setProcessEnvironment(environment);
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The screen-reader bindings are the system Python's.
    reader.start("/usr/bin/python3", arguments);
    if (!reader.waitForFinished(waitMs) || reader.exitCode() != 0)
        return {};
    QStringList lines;
    for (const QString &line :
         QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        lines << line.section('\t', 1);
    return lines;
}

// The line of the object with this role and name, or an empty string.
QString accessibleLine(const QStringList &tree, const QString &role, const QString &name)
{
    for (const QString &line : tree) {
        if (line.section('\t', 0, 0) == role && line.section('\t', 1, 1) == name)
            return line;
    }
    return {};
}

bool hasState(const QString &line, const QString &state)
{
    return line.section('\t', 2).split(',').contains(state);
}

TEST_F(AppTest, ScreenReadersReadTheRoleNameAndStateOfEveryControl)
{
    // A session bus of the test's own, on which the accessibility bus starts when first asked for.
    const SessionBus bus;
    const QString &address = bus.address();
    ASSERT_FALSE(address.isEmpty());
    extraEnvironment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    // Qt otherwise waits for the desktop to say that a screen reader runs.
    extraEnvironment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    launch();
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon) << "the icon never docked in the tray";
    const QByteArray said = copyUntilRead(screenshotPng(), "image/png");
    ASSERT_TRUE(said.isEmpty()) << "the screenshot: " << said.toStdString();
    // Served by Tarno once its program has gone: a clip by now, which the next copy cannot overtake.
    ASSERT_TRUE(QTest::qWaitFor([] { return targetsOffered().contains("application/x-qt-image"); }, waitMs));
    const QByteArray saidOfText = copyUntilRead("a clip to read aloud");
    ASSERT_TRUE(saidOfText.isEmpty()) << "the text: " << saidOfText.toStdString();
    const QPoint centre = icon->screenRect.center();
    xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    ASSERT_TRUE(waitForWindow("tarno", isPopover)) << "no popover after a click";

    QStringList list;
    [[maybe_unused]] const bool read = QTest::qWaitFor(
        [&] {
            list = accessibleTree(address);
            return !accessibleLine(list, "list item", "a clip to read aloud").isEmpty();
        },
        waitMs);
    ASSERT_FALSE(list.isEmpty()) << "the popover is not on the accessibility bus";
    const std::string shown = list.join('\n').toStdString();
    for (const auto &[name, selected] : std::initializer_list<std::pair<QString, bool>>{
             {"All", true}, {"Text", false}, {"Screenshots", false}}) {
        const QString pill = accessibleLine(list, "page tab", name);
        ASSERT_TRUE(hasState(pill, "visible")) << name.toStdString() << " in\n" << shown;
        EXPECT_EQ(hasState(pill, "selected"), selected) << pill.toStdString();
    }
    EXPECT_FALSE(accessibleLine(list, "page tab list", "Filter").isEmpty()) << shown;
    EXPECT_TRUE(hasState(accessibleLine(list, "list item", "a clip to read aloud"), "visible")) << shown;
    EXPECT_EQ(list.filter(QRegularExpression("^list item\tScreenshot, \\S.*\tvisible")).size(), 1) << shown;
    // Each row's copy button and drag hint, hidden until the row is hovered.
    EXPECT_EQ(list.filter(QRegularExpression("^push button\tCopy\t")).size(), 2) << shown;
    EXPECT_EQ(list.filter(QRegularExpression("^image\tDrag out\t")).size(), 2) << shown;
    const QString gear = accessibleLine(list, "push button", "Settings");
    ASSERT_TRUE(hasState(gear, "visible")) << shown;
    EXPECT_FALSE(hasState(gear, "checked")) << gear.toStdString();

    // Pressed as a screen reader presses it, the gear opens the settings.
    const QStringList settings = accessibleTree(address, {"Settings"});
    const std::string panel = settings.join('\n').toStdString();
    EXPECT_TRUE(hasState(accessibleLine(settings, "push button", "Settings"), "checked")) << panel;
    EXPECT_TRUE(hasState(accessibleLine(settings, "check box", "Clipboard for Print"), "visible")) << panel;
    for (const auto &[name, selected] : std::initializer_list<std::pair<QString, bool>>{
             {"Delete Daily", false}, {"Delete Weekly", false}, {"Keep Forever", true}}) {
        const QString row = accessibleLine(settings, "radio button", name);
        ASSERT_TRUE(hasState(row, "visible")) << name.toStdString() << " in\n" << panel;
        EXPECT_EQ(hasState(row, "checked"), selected) << row.toStdString();
    }
    EXPECT_TRUE(hasState(accessibleLine(settings, "push button", "Shortcut"), "visible")) << panel;
    // Below the fold of the scrolling panel until scrolled to, but there to be found and pressed.
    EXPECT_TRUE(hasState(accessibleLine(settings, "push button", "Clear All"), "enabled")) << panel;
    EXPECT_FALSE(hasState(accessibleLine(settings, "page tab", "All"), "visible"))
        << "the pills show in the settings";
}

// A desktop whose portal tells its colour scheme on a session bus of the test's own: 0 no
// preference, 1 dark, 2 light.
struct PortalCase
{
    const char *name;
    // The portal answers only the older Read.
    bool readOnly;
    int atStart;
    bool darkAtStart;
    int changedTo;
};

class PortalAppearanceTest : public AppTest, public ::testing::WithParamInterface<PortalCase>
{
protected:
    SessionBus bus;
    QProcess portal;

    void TearDown() override
    {
        AppTest::TearDown();
        portal.terminate();
        portal.waitForFinished(waitMs);
    }
};

TEST_P(PortalAppearanceTest, ThePopoverTakesTheDesktopsColourSchemeAtStartAndAsItChanges)
{
    const PortalCase &c = GetParam();
    const QString &address = bus.address();
    ASSERT_FALSE(address.isEmpty());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    portal.setProcessEnvironment(environment);
    QStringList arguments{QString::number(c.atStart)};
    if (c.readOnly)
        arguments << "--read-only";
    portal.start(QStringLiteral(TARNO_TEST_HELPERS_DIR "/fake_portal"), arguments);
    ASSERT_TRUE(portal.waitForReadyRead(waitMs));
    ASSERT_EQ(portal.readLine().trimmed(), "ready");
    extraEnvironment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    launch();
    const auto icon = waitForDockedIcon();
    ASSERT_TRUE(icon) << "the icon never docked in the tray";
    clickAt(icon->screenRect.center());
    const auto popover = waitForWindow("tarno", isPopover);
    ASSERT_TRUE(popover) << "no popover after a click";

    // The background beside the empty state, as the screen shows it; Qt's own palette here is light.
    // Looked up each time: the tray may still move the icon, and the popover with it.
    const QString shots = QStringLiteral(TARNO_TEST_HELPERS_DIR "/../shots");
    QDir().mkpath(shots);
    QImage shot;
    const auto looksDark = [&](bool dark) {
        const auto now = findWindow("tarno", isPopover);
        if (!now)
            return false;
        const QRect frame = now->screenRect;
        shot = QGuiApplication::primaryScreen()
                   ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                   .toImage();
        const int grey = qGray(shot.pixel(4, frame.height() / 2));
        // Black would be no popover at all.
        return dark ? grey > 20 && grey < 80 : grey > 180;
    };
    const QString name = shots + "/popover-portal-" + c.name;
    EXPECT_TRUE(QTest::qWaitFor([&] { return looksDark(c.darkAtStart); }, waitMs))
        << "the popover is not " << (c.darkAtStart ? "dark" : "light") << " at start";
    shot.save(name + (c.darkAtStart ? "-dark.png" : "-light.png"));

    portal.write(QByteArray::number(c.changedTo) + "\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return looksDark(!c.darkAtStart); }, waitMs))
        << "the popover did not follow the portal's change to " << c.changedTo;
    shot.save(name + (c.darkAtStart ? "-light.png" : "-dark.png"));
}

INSTANTIATE_TEST_SUITE_P(Portals, PortalAppearanceTest,
                         ::testing::Values(PortalCase{"readOne", false, 0, false, 1},
                                           PortalCase{"olderRead", true, 1, true, 2}),
                         [](const ::testing::TestParamInfo<PortalCase> &info) {
                             return std::string(info.param.name);
                         });

// A desktop whose tray speaks StatusNotifierItem over its own session bus, with no XEmbed tray.
class StatusNotifierTest : public ::testing::Test
{
protected:
    SessionBus bus;
    QProcess watcher;
    QProcess app;
    QTemporaryDir home;
    const QString &address = bus.address();

    void SetUp() override
    {
        ASSERT_FALSE(findWindow("panel", [](QRect) { return true; })) << "an XEmbed tray is still running";
        ASSERT_FALSE(address.isEmpty());
        QProcessEnvironment environment = tarnoEnvironment(home.path());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        watcher.setProcessEnvironment(environment);
        watcher.start(QStringLiteral(TARNO_TEST_HELPERS_DIR "/sni_watcher"), {});
        ASSERT_TRUE(watcher.waitForReadyRead(waitMs));
        ASSERT_EQ(watcher.readLine().trimmed(), "ready");

        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(tarnoPath(), {});
    }
    void TearDown() override
    {
        for (QProcess *process : {&app, &watcher}) {
            process->terminate();
            process->waitForFinished(waitMs);
        }
    }
    // Calls a method of the item as the host does; the reply's text.
    QString callItem(const QString &service, const QString &path, const QString &method,
                     const QStringList &arguments)
    {
        QProcess gdbus;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        gdbus.setProcessEnvironment(environment);
        gdbus.start("gdbus", QStringList{"call", "--session", "--dest", service, "--object-path", path,
                                         "--method", method} +
                                 arguments);
        gdbus.waitForFinished(waitMs);
        return QString::fromUtf8(gdbus.readAllStandardOutput());
    }
    // The item's service and object path, once it has registered; empty when it never does.
    std::pair<QString, QString> registeredItem()
    {
        if (!QTest::qWaitFor([&] { return watcher.canReadLine(); }, waitMs))
            return {};
        const QStringList item = QString::fromLatin1(watcher.readLine().trimmed()).split(' ');
        return item.size() == 3 && item[0] == "item" ? std::pair(item[1], item[2])
                                                     : std::pair<QString, QString>();
    }
};

TEST_F(StatusNotifierTest, HostedIconOpensThePopoverOnActivateShowsTheMenuAndTheTooltip)
{
    QString service, path;
    std::tie(service, path) = registeredItem();
    ASSERT_FALSE(service.isEmpty()) << "the item never registered";
    const auto property = [&](const QString &name) {
        return callItem(service, path, "org.freedesktop.DBus.Properties.Get",
                        {"org.kde.StatusNotifierItem", name});
    };
    EXPECT_TRUE(property("ToolTip").contains("Tarno — click to open, drag in to save, drag out to use"))
        << property("ToolTip").toStdString();

    // The host reports where the click was, which is not where the pointer is now; the popover opens
    // against the click.
    xdotool({"mousemove", "200", "700"});
    callItem(service, path, "org.kde.StatusNotifierItem.Activate", {"1800", "10"});
    const auto popover = waitForWindow("tarno", isPopover);
    ASSERT_TRUE(popover) << "Activate did not open the popover";
    EXPECT_EQ(popover->screenRect.left(), 1920 - 360);
    EXPECT_LT(popover->screenRect.top(), 40);
    callItem(service, path, "org.kde.StatusNotifierItem.Activate", {"1800", "10"});
    EXPECT_TRUE(QTest::qWaitFor([] { return !findWindow("tarno", isPopover); }, waitMs))
        << "a second Activate did not close the popover";

    // Pausing changes what the host is given to show: the icon and the tooltip.
    const QString icon = property("IconPixmap");
    const auto menu = [&] {
        callItem(service, path, "org.kde.StatusNotifierItem.ContextMenu", {"1800", "10"});
        return waitForWindow("tarno", [](QRect rect) { return rect.height() < 80; });
    };
    const auto pauseMenu = menu();
    ASSERT_TRUE(pauseMenu) << "no menu on the host's context request";
    clickAt(menuItemCentre(*pauseMenu, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return property("ToolTip").contains("Tarno — Paused"); }, waitMs))
        << property("ToolTip").toStdString();
    EXPECT_NE(property("IconPixmap"), icon);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !findWindow("tarno", [](QRect) { return true; }); }, waitMs));

    const auto quitMenu = menu();
    ASSERT_TRUE(quitMenu);
    clickAt(menuItemCentre(*quitMenu, 1));
    ASSERT_TRUE(app.waitForFinished(waitMs)) << "Quit Tarno did not end the program";
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(StatusNotifierTest, HostsThatDrawTheMenuThemselvesReadItOverDbusmenu)
{
    QString service, path;
    std::tie(service, path) = registeredItem();
    ASSERT_FALSE(service.isEmpty()) << "the item never registered";

    // (<objectpath '/MenuBar'>,)
    static const QRegularExpression objectPath("objectpath '([^']+)'");
    const QString menuProperty = callItem(service, path, "org.freedesktop.DBus.Properties.Get",
                                          {"org.kde.StatusNotifierItem", "Menu"});
    const QString menuPath = objectPath.match(menuProperty).captured(1);
    ASSERT_FALSE(menuPath.isEmpty()) << menuProperty.toStdString();
    ASSERT_NE(menuPath, "/NO_DBUSMENU");

    // As a host does before it shows the menu: the item's id and whether it is checked.
    const auto entry = [&](const QString &label) {
        callItem(service, menuPath, "com.canonical.dbusmenu.AboutToShow", {"0"});
        const QString layout =
            callItem(service, menuPath, "com.canonical.dbusmenu.GetLayout", {"--", "0", "-1", "@as []"});
        const QRegularExpression pattern("\\((\\d+), \\{([^}]*'label': <'" + label + "'>[^}]*)\\}");
        const QRegularExpressionMatch match = pattern.match(layout);
        EXPECT_TRUE(match.hasMatch()) << label.toStdString() << " not in " << layout.toStdString();
        return std::pair(match.captured(1), match.captured(2));
    };
    const auto click = [&](const QString &id) {
        callItem(service, menuPath, "com.canonical.dbusmenu.Event", {"--", id, "clicked", "<0>", "0"});
    };

    const auto [pauseId, pause] = entry("Pause Capturing");
    EXPECT_TRUE(pause.contains("'toggle-type': <'checkmark'>")) << pause.toStdString();
    EXPECT_TRUE(pause.contains("'toggle-state': <0>")) << pause.toStdString();
    click(pauseId);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return entry("Pause Capturing").second.contains("'toggle-state': <1>"); }, waitMs))
        << "the menu does not show capturing paused";
    click(pauseId);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return entry("Pause Capturing").second.contains("'toggle-state': <0>"); }, waitMs))
        << "the menu does not show capturing resumed";

    click(entry("Quit Tarno").first);
    ASSERT_TRUE(app.waitForFinished(waitMs)) << "Quit Tarno over dbusmenu did not end the program";
    EXPECT_EQ(app.exitCode(), 0);
}

// The shell composed in this process over the real status bar, popover and monitors, so that the
// history can be looked at; its services only record, so it captures nothing from the real clipboard.
class InProcessShellTest : public TrayHostTest
{
protected:
    QtPlatform platform;
    FakeKeyValueStore settingsStore;
    RecordingServices services{platform.runtime()};
    NotificationCenter notifications;
    std::unique_ptr<QtShellPlatform> shell;
    std::unique_ptr<MenuBarController> controller;

    void SetUp() override
    {
        // The popover's views reach the clipboard, codec and clock through the installed platform,
        // as they do in the app.
        Platform::install(platform.platform());
        shell = std::make_unique<QtShellPlatform>(QStringLiteral(":/assets/MenuBarIcon.svg"),
                                                  QStringLiteral(":/assets/MenuBarIconPaused.svg"),
                                                  platform.appearance());
        ASSERT_EQ(shell->trayKind(), QtShellPlatform::TrayKind::xembed);
        controller = std::make_unique<MenuBarController>(MenuBarController::Environment{
            platform.runtime(), *platform.platform().codec, settingsStore, shell->statusBar(),
            [this] { return shell->makePopover(); }, shell->eventMonitors(), shell->application(),
            notifications, services, shell->globalShortcut()});
        controller->setup();
    }
    void TearDown() override
    {
        controller->teardown();
        controller.reset();
    }

    // The icon's rectangle once the tray has stopped moving it.
    QRectF settledIconRect()
    {
        QRectF settled;
        [[maybe_unused]] const bool stable = QTest::qWaitFor(
            [&] {
                const QRectF before = controller->statusItem()->screenRect();
                QTest::qWait(100);
                settled = controller->statusItem()->screenRect();
                return !settled.isEmpty() && settled == before;
            },
            waitMs);
        return settled;
    }
    void clickIcon() { clickAt(settledIconRect().center().toPoint()); }
};

TEST_F(InProcessShellTest, FileDraggedOntoTheIconOpensThePopoverAndBecomesAClip)
{
    QTemporaryDir folder;
    const QString path = writeFile(folder.filePath("note.txt"), "dragged in from elsewhere");

    QRectF icon;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !(icon = controller->statusItem()->screenRect()).isEmpty(); }, waitMs));

    QProcess source;
    source.start(dragSourcePath, {"200", "600", path});
    ASSERT_TRUE(source.waitForReadyRead(waitMs));
    ASSERT_EQ(source.readLine().trimmed(), "ready");

    // A real XDND drag: press in the source, move in steps to the icon, pause, release.
    xdotool({"mousemove", "260", "640", "mousedown", "1"});
    const QPointF from(260, 640);
    const QPointF to = icon.center();
    for (int step = 1; step <= 10; ++step) {
        const QPointF at = from + (to - from) * step / 10.0;
        xdotool({"mousemove", QString::number(qRound(at.x())), QString::number(qRound(at.y()))});
        QTest::qWait(100);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller->menuBarView()->isDragHighlighted(); }, 2000))
        << "the drag never reached the icon";
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, 2000))
        << "a readable drag entering the icon did not open the popover";
    xdotool({"mouseup", "1"});

    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->historyViewModel().items().isEmpty(); }, waitMs))
        << "the drop made no clip";
    const auto &items = controller->historyViewModel().items();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.first().kind, ClipboardItemKind::text);
    EXPECT_EQ(items.first().text, "dragged in from elsewhere");
    EXPECT_EQ(services.log.filter("pauseMonitor").size(), 1);
    EXPECT_FALSE(controller->menuBarView()->isDragHighlighted());

    EXPECT_TRUE(QTest::qWaitFor([&] { return source.canReadLine(); }, waitMs));
    EXPECT_EQ(source.readLine().trimmed(), "dropped copy");
    source.terminate();
    source.waitForFinished(waitMs);
}

TEST_F(InProcessShellTest, EscapeOrAnotherProgramTakingTheFocusClosesWithoutAnnouncing)
{
    int announced = 0;
    notifications.addObserver(MenuBarController::popoverWillCloseNotification, [&] { ++announced; });
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs));
    auto *window = static_cast<QtPopover *>(controller->popover())->window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::qWait(300);
    EXPECT_DOUBLE_EQ(window->contentItem()->childItems().first()->opacity(), 1.0)
        << "the appear did not finish";

    xdotool({"key", "Escape"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->popover()->isShown(); }, waitMs));
    QTest::qWait(50);
    EXPECT_EQ(announced, 0);
    EXPECT_FALSE(controller->globalClickMonitor().has_value());
    EXPECT_FALSE(controller->localClickMonitor().has_value());

    // Another program's window takes the focus.
    QTemporaryDir folder;
    QProcess other;
    other.start(dragSourcePath, {"200", "600", folder.filePath("none")});
    ASSERT_TRUE(other.waitForReadyRead(waitMs));
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs));
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const QString otherWindow =
        outputOf("xdotool", {"search", "--pid", QString::number(other.processId())}).trimmed();
    ASSERT_FALSE(otherWindow.isEmpty());
    xdotool({"windowfocus", otherWindow.split('\n').first()});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->popover()->isShown(); }, waitMs))
        << "losing the focus to another program left the popover open";
    EXPECT_EQ(announced, 0);
    other.terminate();
    other.waitForFinished(waitMs);
}

TEST_F(InProcessShellTest, ClickOnARowPutsItsClipOnTheClipboardForOtherPrograms)
{
    controller->historyViewModel().add(
        ClipboardItem::makeText("an older clip", QDateTime::currentDateTimeUtc()));
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs));
    auto *window = static_cast<QtPopover *>(controller->popover())->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(300);

    QQuickItem *row = nullptr;
    for (QList<QQuickItem *> pending{window->contentItem()}; !row && !pending.isEmpty();) {
        QQuickItem *item = pending.takeFirst();
        if (item->objectName() == "rowMouseArea" && item->isVisible())
            row = item;
        pending.append(item->childItems());
    }
    ASSERT_NE(row, nullptr) << "the popover shows no row";
    // Left of the row's middle, away from its copy button.
    clickAt(row->mapToGlobal(QPointF(row->width() / 3, row->height() / 2)).toPoint());

    // Another program pastes what the click put there; the popover stays open.
    EXPECT_TRUE(QTest::qWaitFor([&] { return xclipPaste() == "an older clip"; }, waitMs));
    EXPECT_TRUE(controller->popover()->isShown());
    EXPECT_EQ(controller->historyViewModel().items().size(), 1);
}

// Another program has taken Super+V before the shell starts.
class ShortcutHeldElsewhereTest : public InProcessShellTest
{
protected:
    X11GlobalShortcut other;
    int othersPresses = 0;

    void SetUp() override
    {
        other.setActivatedHandler([this] { ++othersPresses; });
        ASSERT_EQ(other.setKeyCombination(QKeyCombination(Qt::MetaModifier, Qt::Key_V)),
                  GlobalShortcut::Result::ok);
        InProcessShellTest::SetUp();
    }
};

TEST_F(ShortcutHeldElsewhereTest, TheRowSaysSoAndTheRestStillWorks)
{
    const ShortcutSetting &shortcut = controller->shortcutSetting();
    EXPECT_TRUE(shortcut.isInUse());
    EXPECT_EQ(shortcut.keyText(), "Super+V");
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs))
        << "no popover after a click";
    auto *window = static_cast<QtPopover *>(controller->popover())->window();
    QQuickItem *detail = nullptr;
    PopoverViewModel *model = nullptr;
    for (QList<QQuickItem *> pending{window->contentItem()}; !pending.isEmpty();) {
        QQuickItem *item = pending.takeFirst();
        if (item->objectName() == "shortcutDetail")
            detail = item;
        if (!model)
            model = item->property("model").value<PopoverViewModel *>();
        pending.append(item->childItems());
    }
    ASSERT_TRUE(detail && model) << "the settings show no shortcut row";
    model->toggleSettings();
    ASSERT_TRUE(QTest::qWaitFor([&] { return detail->isVisible(); }, waitMs));
    EXPECT_EQ(detail->property("text").toString(), "Shortcut in use by another program");

    // The keys reach the program that holds them, and the popover stays as it was.
    xdotool({"key", "super+v"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return othersPresses == 1; }, waitMs));
    EXPECT_TRUE(controller->popover()->isShown());

    // Escape while recording ends the recording, not the popover.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    controller->shortcutSetting().startRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->activeFocusItem() != nullptr; }, waitMs));
    xdotool({"key", "Escape"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shortcut.isRecording(); }, waitMs));
    QTest::qWait(200);
    EXPECT_TRUE(controller->popover()->isShown()) << "Escape in the recording closed the popover";
}

// A magenta window full of black text, clear of its edges, to see what shows through another in
// front of it.
class Backdrop : public QRasterWindow
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(), size()), QColor(255, 0, 255));
        QFont font = painter.font();
        font.setPixelSize(14);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (int y = 40; y < height() - 40; y += 18)
            painter.drawText(24, y, QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789"));
    }
};

// How far apart the lightest and darkest pixels are where the empty popover draws nothing, below
// its header, over the backdrop's text.
int ghostContrast(const QImage &image)
{
    int lightest = 0;
    int darkest = 255;
    for (int y = 130; y < 190; ++y) {
        for (int x = 20; x < 340; ++x) {
            lightest = std::max(lightest, qGray(image.pixel(x, y)));
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return lightest - darkest;
}

// Whether a pixel is the backdrop's magenta.
bool isBackdrop(QRgb pixel)
{
    return qRed(pixel) > 245 && qGreen(pixel) < 10 && qBlue(pixel) > 245;
}

TEST_F(InProcessShellTest, CornersShowWhatLiesBehindWithOrWithoutACompositorAndAsOneComesAndGoes)
{
    if (QStandardPaths::findExecutable("xcompmgr").isEmpty())
        GTEST_SKIP() << "xcompmgr is not installed";
    ASSERT_EQ(integration::selectionOwner("_NET_WM_CM_S0"), xcb_window_t(XCB_NONE)) << "a compositor runs";
    const X11CompositorWatch &compositor = X11CompositorWatch::instance();
    ASSERT_FALSE(compositor.isActive());

    // Where the popover opens, a magenta window is put behind it.
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs));
    auto *window = static_cast<QtPopover *>(controller->popover())->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QRect frame = window->geometry();
    controller->popover()->performClose();
    Backdrop backdrop;
    backdrop.setFlags(Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    backdrop.setGeometry(frame);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    clickIcon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->popover()->isShown(); }, waitMs));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    const QString shots = QStringLiteral(TARNO_TEST_HELPERS_DIR "/../shots");
    QDir().mkpath(shots);
    // The popover as the screen shows it, once it has drawn.
    const auto look = [&](const QString &name) {
        QTest::qWait(600);
        const QImage image = window->screen()
                                 ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        image.save(shots + "/popover-corners-" + name + ".png");
        return image;
    };
    // Just inside each corner, where the rounded background leaves the square.
    const auto cornersShowTheBackdrop = [](const QImage &image) {
        const int right = image.width() - 2;
        const int bottom = image.height() - 2;
        return isBackdrop(image.pixel(1, 1)) && isBackdrop(image.pixel(right, 1)) &&
               isBackdrop(image.pixel(1, bottom)) && isBackdrop(image.pixel(right, bottom));
    };
    // The background beside the list, clear of any text.
    const QPoint background(4, frame.height() / 2);

    const QImage alone = look("without-compositor");
    EXPECT_TRUE(cornersShowTheBackdrop(alone)) << "square corners without a compositor";
    const QRgb opaque = alone.pixel(background);
    EXPECT_FALSE(isBackdrop(opaque));
    EXPECT_LE(ghostContrast(alone), 2);
    EXPECT_GT(qGray(opaque), 0);

    QProcess manager;
    manager.start("xcompmgr", {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return compositor.isActive(); }, waitMs))
        << "the compositor went unnoticed";
    const QImage composited = look("with-compositor");
    EXPECT_TRUE(cornersShowTheBackdrop(composited)) << "corners not blended under a compositor";
    // Opaque inside the corners all the same: no text behind it can be read through it.
    const QRgb blended = composited.pixel(background);
    EXPECT_NEAR(qRed(blended), qRed(opaque), 2);
    EXPECT_NEAR(qGreen(blended), qGreen(opaque), 2);
    EXPECT_NEAR(qBlue(blended), qBlue(opaque), 2);
    EXPECT_LE(ghostContrast(composited), 2) << "the text behind shows through";

    manager.terminate();
    ASSERT_TRUE(manager.waitForFinished(waitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !compositor.isActive(); }, waitMs))
        << "the compositor's end went unnoticed";
    const QImage after = look("after-compositor");
    EXPECT_TRUE(cornersShowTheBackdrop(after)) << "the compositor's end left wedges at the corners";
    const QRgb again = after.pixel(background);
    EXPECT_NEAR(qRed(again), qRed(opaque), 2);
    EXPECT_NEAR(qGreen(again), qGreen(opaque), 2);
    EXPECT_NEAR(qBlue(again), qBlue(opaque), 2);
}

} // namespace
