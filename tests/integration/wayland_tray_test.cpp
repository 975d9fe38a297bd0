// Tarno as a user starts it in a sway session: inside the session (its Xwayland and its session
// bus), with its icon in swaybar's tray. A pointer of the test's own clicks the icon; grim's pictures
// of the output show where the icon is drawn and that a click opens the popover.
#include "tests/integration/WaylandTestSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

using namespace tarno::integration;

namespace {

constexpr int skippedExitCode = 77;
constexpr int waitMs = 10000;
const QSize outputSize(1920, 1080);
const QString appPath = QStringLiteral(TARNO_TEST_HELPERS_DIR "/../../shell/tarno");
// Where the pointer rests between clicks: its picture then lies outside the output.
const QPoint parked(1919, 1079);

HeadlessSway *compositor = nullptr;

// A pointer and a keyboard in the compositor, driven from here: the headless backend has neither,
// and a seat without a pointer offers its clients none, while one without a keyboard gives no
// window the keyboard.
class VirtualInput
{
public:
    VirtualInput()
    {
        m_display = wl_display_connect(nullptr);
        if (!m_display)
            return;
        static constexpr wl_registry_listener listener{
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
                auto *input = static_cast<VirtualInput *>(data);
                const auto bind = [&](const wl_interface &type) {
                    return wl_registry_bind(registry, name, &type, 1);
                };
                if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
                    input->m_pointers = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                        bind(zwlr_virtual_pointer_manager_v1_interface));
                else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
                    input->m_keyboards = static_cast<zwp_virtual_keyboard_manager_v1 *>(
                        bind(zwp_virtual_keyboard_manager_v1_interface));
                else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !input->m_seat)
                    input->m_seat = static_cast<wl_seat *>(bind(wl_seat_interface));
            },
            [](void *, wl_registry *, uint32_t) {}};
        wl_registry *registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(m_display);
        wl_registry_destroy(registry);
        if (!m_pointers || !m_keyboards || !m_seat)
            return;
        m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_pointers, nullptr);
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_keyboards, m_seat);
        // US keys; the string's final zero is part of the keymap.
        static constexpr char keymap[] =
            "xkb_keymap { xkb_keycodes { include \"evdev+aliases(qwerty)\" }; "
            "xkb_types { include \"complete\" }; xkb_compat { include \"complete\" }; "
            "xkb_symbols { include \"pc+us+inet(evdev)\" }; };";
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        if (fd < 0 || write(fd, keymap, sizeof keymap) != qsizetype(sizeof keymap)) {
            if (fd >= 0)
                close(fd);
            return;
        }
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof keymap);
        close(fd);
        m_ready = wl_display_roundtrip(m_display) >= 0;
    }
    ~VirtualInput()
    {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_pointer)
            zwlr_virtual_pointer_v1_destroy(m_pointer);
        if (m_pointers)
            zwlr_virtual_pointer_manager_v1_destroy(m_pointers);
        if (m_seat)
            wl_seat_destroy(m_seat);
        if (m_display)
            wl_display_disconnect(m_display);
    }
    VirtualInput(const VirtualInput &) = delete;
    VirtualInput &operator=(const VirtualInput &) = delete;

    bool isReady() const { return m_ready; }

    // Each returns once the compositor has handled it.
    bool moveTo(QPoint point)
    {
        zwlr_virtual_pointer_v1_motion_absolute(m_pointer, now(), uint32_t(point.x()), uint32_t(point.y()),
                                                uint32_t(outputSize.width()), uint32_t(outputSize.height()));
        zwlr_virtual_pointer_v1_frame(m_pointer);
        return wl_display_roundtrip(m_display) >= 0;
    }
    bool click(QPoint point)
    {
        if (!moveTo(point))
            return false;
        for (const uint32_t state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
            zwlr_virtual_pointer_v1_button(m_pointer, now(), BTN_LEFT, state);
            zwlr_virtual_pointer_v1_frame(m_pointer);
        }
        return wl_display_roundtrip(m_display) >= 0;
    }
    // A Linux key code, pressed and released.
    bool press(uint32_t key)
    {
        for (const uint32_t state : {WL_KEYBOARD_KEY_STATE_PRESSED, WL_KEYBOARD_KEY_STATE_RELEASED})
            zwp_virtual_keyboard_v1_key(m_keyboard, now(), key, state);
        return wl_display_roundtrip(m_display) >= 0;
    }

private:
    static uint32_t now()
    {
        using namespace std::chrono;
        return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    wl_display *m_display = nullptr;
    wl_seat *m_seat = nullptr;
    zwlr_virtual_pointer_manager_v1 *m_pointers = nullptr;
    zwp_virtual_keyboard_manager_v1 *m_keyboards = nullptr;
    zwlr_virtual_pointer_v1 *m_pointer = nullptr;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    bool m_ready = false;
};

// What the output shows now.
QImage photograph(const QString &path)
{
    QProcess grim;
    grim.start("grim", {path});
    if (!grim.waitForFinished(waitMs) || grim.exitCode() != 0)
        return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Where two pictures differ within `area`; empty where they do not.
QRect changedBetween(const QImage &before, const QImage &after, QRect area)
{
    QRect changed;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(after.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (a[x] != b[x])
                changed |= QRect(x, y, 1, 1);
        }
    }
    return changed;
}

// The bar's height: the rows at the top, down to the first one whose right end shows the desktop.
int barHeight(const QImage &picture)
{
    const QRgb desktop = picture.pixel(outputSize.width() / 2, outputSize.height() / 2);
    int height = 0;
    while (height < picture.height() / 4 && picture.pixel(outputSize.width() - 1, height) != desktop)
        ++height;
    return height;
}

class WaylandTrayTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        QFile pidFile(folder.filePath("tarno.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            return;
        const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
        if (pid <= 0 || ::kill(pid, SIGTERM) != 0)
            return;
        // Not our child: gone once its folder in /proc is.
        [[maybe_unused]] const bool ended =
            QTest::qWaitFor([&] { return !QFile::exists(QString("/proc/%1/cmdline").arg(pid)); }, waitMs);
    }

    // Starts Tarno inside the session as a user's desktop would, with no platform chosen for it (it
    // takes Xwayland itself); its standard error goes to a file.
    bool launch()
    {
        return compositor->exec(
            QString("echo $$ >%1/tarno.pid; exec env -u QT_QPA_PLATFORM %2 2>%1/tarno.err")
                .arg(folder.path(), appPath));
    }
    QString standardError() const
    {
        QFile file(folder.filePath("tarno.err"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    // Photographs the output until `found` holds for the picture, which is then kept.
    bool waitForPicture(const std::function<bool(const QImage &)> &found, QImage &picture)
    {
        return QTest::qWaitFor(
            [&] {
                picture = photograph(folder.filePath("output.png"));
                return !picture.isNull() && found(picture);
            },
            waitMs);
    }

    // Starts Tarno, waits for its icon in the bar, and clicks it: the popover opens and Escape closes
    // it; opened again, a second click closes it. Leaves where the bar, the icon and the open
    // popover were.
    void clickTheIconTwice()
    {
        // Readable and writable by sway's user, who runs Tarno.
        ASSERT_TRUE(QFile::setPermissions(
            folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                               QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
        // The pointer is there before Tarno starts, so swaybar has taken it by the time it draws
        // Tarno's icon: the compositor hands out the pointer in the same order it takes swaybar's frames.
        VirtualInput pointer;
        ASSERT_TRUE(pointer.isReady()) << "the compositor offers no virtual pointer or keyboard";
        ASSERT_TRUE(pointer.moveTo(parked));
        QImage bare;
        ASSERT_TRUE(waitForPicture([](const QImage &picture) { return barHeight(picture) > 0; }, bare))
            << "swaybar never showed";
        bar = barHeight(bare);
        const QRect barArea(0, 0, outputSize.width(), bar);
        const QRect desktopArea(0, bar, outputSize.width(), outputSize.height() - bar);

        ASSERT_TRUE(wlCopy("copied in a Wayland program before Tarno"));
        ASSERT_TRUE(launch());
        QImage withIcon;
        const bool iconShown = waitForPicture(
            [&](const QImage &picture) {
                const QRect changed = changedBetween(bare, picture, barArea);
                return changed.width() >= 8 && changed.width() <= bar && changed.height() >= 8;
            },
            withIcon);
        ASSERT_TRUE(iconShown) << "no icon in the bar; Tarno said: " << standardError().toStdString();
        icon = changedBetween(bare, withIcon, barArea);
        EXPECT_GT(icon.left(), outputSize.width() / 2) << "the tray is at the bar's right end";
        ASSERT_TRUE(wlCopy("copied in a Wayland program"));

        // Open once its animation is over: two pictures in a row alike, with the popover at its size.
        const auto openByClick = [&](QImage &open) {
            if (!pointer.click(icon.center()) || !pointer.moveTo(parked))
                return false;
            QImage previous;
            return waitForPicture(
                [&](const QImage &picture) {
                    const bool still = picture == previous;
                    previous = picture;
                    const QSize drawn = changedBetween(withIcon, picture, desktopArea).size();
                    return still && std::abs(drawn.width() - 360) <= 2 && std::abs(drawn.height() - 480) <= 2;
                },
                open);
        };
        const auto waitForClosed = [&] {
            QImage closed;
            return waitForPicture(
                [&](const QImage &picture) {
                    return changedBetween(withIcon, picture, desktopArea).isEmpty();
                },
                closed);
        };

        QImage open;
        const bool opened = openByClick(open);
        open.save(QStringLiteral(TARNO_TEST_HELPERS_DIR "/../wayland_tray_test-popover.png"));
        ASSERT_TRUE(opened) << "the click did not open the popover, 360 × 480; Tarno said: "
                            << standardError().toStdString();
        popover = changedBetween(withIcon, open, desktopArea);
        // Under the icon, not where sway puts floating windows of its own accord (the middle).
        EXPECT_LE(popover.top() - bar, 16) << "the popover opened at " << popover.x() << "," << popover.y();
        EXPECT_LE(std::abs(popover.center().x() - icon.center().x()), popover.width() / 2)
            << "the popover opened at " << popover.x() << "," << popover.y() << "; the icon is at "
            << icon.x();
        // The open popover has the keyboard.
        ASSERT_TRUE(pointer.press(KEY_ESC));
        EXPECT_TRUE(waitForClosed()) << "Escape did not close the popover";

        ASSERT_TRUE(openByClick(open)) << "the click did not open the popover again";
        // sway makes a new container each time the window is shown: it is placed every time.
        EXPECT_EQ(changedBetween(withIcon, open, desktopArea), popover)
            << "it opened elsewhere the second time";
        ASSERT_TRUE(pointer.click(icon.center()));
        ASSERT_TRUE(pointer.moveTo(parked));
        EXPECT_TRUE(waitForClosed()) << "a second click did not close the popover";

        // The clipboard went through Tarno's own Wayland connection, which needs no window.
        EXPECT_FALSE(standardError().contains("clipboard access is limited"))
            << standardError().toStdString();
    }

    int bar = 0;
    QRect icon;
    QRect popover;
    QTemporaryDir folder = QTemporaryDir(QDir::tempPath() + "/tarno-tray.XXXXXX");
};

TEST_F(WaylandTrayTest, SwaybarShowsTheIconAndAClickOnItOpensThePopoverAndASecondClosesIt)
{
    ASSERT_NO_FATAL_FAILURE(clickTheIconTwice());
}

} // namespace

// The compositor, with Xwayland and a bar with a tray, is started once, before any test; where it
// or its Xwayland cannot run, every test is skipped, with the reason.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const char *program : {"Xwayland", "grim", "xdpyinfo"}) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            std::printf("SKIPPED: %s is not installed\n", program);
            return skippedExitCode;
        }
    }
    HeadlessSway sway("xwayland enable\nbar {\n  position top\n  tray_output *\n}\n");
    if (!sway.isReady()) {
        std::printf("SKIPPED: no headless sway here: %s\n", sway.problem().toLocal8Bit().constData());
        return skippedExitCode;
    }
    sway.enter();
    // Xwayland starts with its first client; this one says whether it can.
    const QString probe = sway.runtimeDir() + "/xwayland-probe";
    sway.exec(QString("xdpyinfo >%1.log 2>&1; echo $? >%1").arg(probe));
    QByteArray answer;
    [[maybe_unused]] const bool answered = QTest::qWaitFor(
        [&] {
            QFile file(probe);
            return file.open(QIODevice::ReadOnly) && !(answer = file.readAll().trimmed()).isEmpty();
        },
        3 * waitMs);
    if (answer != "0") {
        QFile said(probe + ".log");
        said.open(QIODevice::ReadOnly);
        std::printf("SKIPPED: Xwayland did not start under sway (xdpyinfo: %s, %s): %s\n", answer.constData(),
                    said.readAll().left(300).constData(), sway.log().right(400).toLocal8Bit().constData());
        return skippedExitCode;
    }
    compositor = &sway;
    const int status = RUN_ALL_TESTS();
    if (status != 0)
        std::printf("sway's log:\n%s\n", sway.log().right(2000).toLocal8Bit().constData());
    return status;
}
