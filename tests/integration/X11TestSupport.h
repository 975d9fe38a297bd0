#pragma once

// What the integration tests share: xclip as the other program on the X display, a clipboard owner
// that never answers, a freeze detector for the main thread, a screenshot-sized picture, and the
// desktop around Tarno: its windows as xwininfo lists them, a tray host, a session bus.
#include "tests/support/TestData.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

namespace tarno::integration {

inline constexpr int waitMs = 10000;

// The window that owns CLIPBOARD now, asked on a connection of its own; none is XCB_NONE.
inline xcb_window_t selectionOwner(const char *name);
inline xcb_window_t clipboardOwner()
{
    return selectionOwner("CLIPBOARD");
}

enum class AwaitOwner
{
    yes,
    no
};

// Another program copies the file's bytes: xclip takes CLIPBOARD and stays behind to serve it.
// xclip's first process exits before the one it leaves behind has taken the selection, so unless
// told otherwise this waits, without running the event loop, until the owner has changed.
inline void xclipCopyFile(const QString &path, const QString &target = {}, AwaitOwner await = AwaitOwner::yes)
{
    const xcb_window_t ownerBefore = await == AwaitOwner::yes ? clipboardOwner() : XCB_NONE;
    QStringList arguments{"-selection", "clipboard", "-i"};
    if (!target.isEmpty())
        arguments << "-t" << target;
    QProcess xclip;
    xclip.setStandardInputFile(path);
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start("xclip", arguments);
    ASSERT_TRUE(xclip.waitForFinished(waitMs));
    ASSERT_EQ(xclip.exitCode(), 0);
    if (await == AwaitOwner::no)
        return;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const xcb_window_t owner = clipboardOwner();
        if (owner != XCB_NONE && owner != ownerBefore)
            return;
        ASSERT_LT(waited.elapsed(), waitMs) << "xclip never took the clipboard";
        QThread::msleep(1);
    }
}

// The same for bytes in hand.
inline void xclipCopy(const QByteArray &data, const QString &target = {}, AwaitOwner await = AwaitOwner::yes)
{
    QTemporaryFile input;
    ASSERT_TRUE(input.open());
    input.write(data);
    input.flush();
    xclipCopyFile(input.fileName(), target, await);
}

// Another program pastes. The event loop keeps running meanwhile: when we own the clipboard, it is
// what answers.
inline QByteArray xclipPaste(const QString &target = {})
{
    QStringList arguments{"-selection", "clipboard", "-o"};
    if (!target.isEmpty())
        arguments << "-t" << target;
    QProcess xclip;
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start("xclip", arguments);
    QByteArray output;
    QObject::connect(&xclip, &QProcess::readyReadStandardOutput,
                     [&] { output += xclip.readAllStandardOutput(); });
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, waitMs))
        return "(xclip did not finish)";
    output += xclip.readAllStandardOutput();
    return output;
}

// Another program copies the bytes and ends once Tarno has read them. xclip in the foreground says
// when it has answered a request for the data, but says it before its answer has left it: killed
// then, the answer may never arrive. So a paste of our own is answered too, which xclip turns to
// only after sending what it owed. Returns what xclip said, for a failure's message; empty on success.
inline QByteArray copyUntilRead(const QByteArray &data, const QString &target = {})
{
    QTemporaryFile input;
    if (!input.open() || input.write(data) != data.size() || !input.flush())
        return "could not write the input file";
    QStringList arguments{"-quiet", "-selection", "clipboard", "-i", input.fileName()};
    if (!target.isEmpty())
        arguments << "-t" << target;
    QProcess xclip;
    xclip.setProcessChannelMode(QProcess::MergedChannels);
    xclip.start("xclip", arguments);
    QByteArray said;
    const auto answered = [&](int requests) {
        const QByteArray line = "Waiting for selection request number " + QByteArray::number(requests + 1);
        return QTest::qWaitFor([&] { return (said += xclip.readAll()).contains(line); }, waitMs);
    };
    bool read = answered(1);
    if (read) {
        xclipPaste(target);
        read = answered(2);
    }
    xclip.kill();
    xclip.waitForFinished(waitMs);
    return read ? QByteArray() : "never read: " + said;
}

inline QStringList targetsOffered()
{
    return QString::fromUtf8(xclipPaste("TARGETS")).split(u'\n', Qt::SkipEmptyParts);
}

// A screenshot-sized image with enough noise that its PNG takes several increments to transfer.
inline const QImage &largeImage()
{
    static const QImage image = [] {
        QImage image(2880, 1800, QImage::Format_RGB32);
        quint32 state = 12345;
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                line[x] = qRgb(x % 256, y % 256, (state >> 24) & 0x3f);
            }
        }
        return image;
    }();
    return image;
}

inline const QByteArray &largePng()
{
    static const QByteArray bytes = encodeImage(largeImage());
    return bytes;
}

// A screenshot-sized image that compresses like a screenshot: flat colour with thin lines and one
// band of fine noise. About 1 MB as PNG, so it is quicker to convert than largeImage().
inline const QByteArray &screenshotPng()
{
    static const QByteArray bytes = [] {
        QImage image(2880, 1800, QImage::Format_RGB32);
        image.fill(QColor(246, 246, 248));
        for (int y = 0; y < image.height(); y += 40) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(x % 256, y % 256, 90);
        }
        quint32 state = 2024;
        for (int y = 600; y < 900; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                line[x] = qRgb(x % 256, y % 256, (state >> 24) & 0x3f);
            }
        }
        return encodeImage(image);
    }();
    return bytes;
}

// A program of our own (tests/integration/helpers/hostile_clipboard_owner) that takes CLIPBOARD and
// misbehaves as the mode says; "silent" never answers a request at all.
class HostileOwner
{
public:
    explicit HostileOwner(const QString &mode = QStringLiteral("silent"))
    {
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(TARNO_TEST_HELPERS_DIR "/hostile_clipboard_owner", {mode});
        m_holds = waitForLine("owner");
    }
    ~HostileOwner() { exit(); }
    bool holdsClipboard() const { return m_holds; }
    // Waits, without running the event loop, for the line the owner prints at a stage.
    bool waitForLine(const QByteArray &line, int forMs = waitMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (!m_process.canReadLine()) {
            if (waited.elapsed() > forMs || !m_process.waitForReadyRead(int(forMs - waited.elapsed())))
                return false;
        }
        return m_process.readLine().trimmed() == line;
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    void exit()
    {
        m_process.kill();
        m_process.waitForFinished(waitMs);
    }

private:
    QProcess m_process;
    bool m_holds = false;
};

// A Qt program of our own (helpers/copy_and_exit) that copies and then exits on request, asking
// the clipboard manager to save its copy as Qt programs do, or is killed without a word.
class CopyingProgram
{
public:
    explicit CopyingProgram(const QStringList &arguments)
    {
        m_process.start(TARNO_TEST_HELPERS_DIR "/copy_and_exit", arguments);
        m_copied = m_process.waitForReadyRead(waitMs) && m_process.readLine().trimmed() == "copied";
    }
    ~CopyingProgram() { kill(); }
    bool hasCopied() const { return m_copied; }
    // Exits the ordinary way; what it printed on standard error.
    QByteArray quit()
    {
        m_process.write("quit\n");
        m_process.closeWriteChannel();
        if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, waitMs))
            return "(did not exit)";
        return m_process.readAllStandardError();
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(waitMs);
    }

private:
    QProcess m_process;
    bool m_copied = false;
};

// The window that owns the named selection now; XCB_NONE when nobody does.
inline xcb_window_t selectionOwner(const char *name)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    xcb_window_t owner = XCB_NONE;
    if (!xcb_connection_has_error(connection)) {
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            if (reply)
                owner = reply->owner;
            std::free(reply);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return owner;
}

// What longestEventLoopGap() may reach without counting as a freeze. A read that blocks on a hung
// owner holds the main thread for seconds (Qt's own clipboard read waits 5 s); on the shared test
// machines a thread that does nothing at all is sometimes kept off a CPU for a tenth of a second.
// Stalls that matter less than a freeze are measured in bench/, not here.
inline constexpr qint64 freezeBoundMs = 500;

// The longest stretch, in milliseconds, in which the main thread did not get to a timer ticking
// every millisecond, while the event loop runs for the given time. A freeze detector, not a timing
// measurement: compare it with freezeBoundMs.
inline qint64 longestEventLoopGap(int forMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticker.start(1);
    QTest::qWait(forMs);
    return std::max(longest, clock.elapsed() - last);
}

// The program under test: the one just built, or the one TARNO_APP names (an installed package's).
inline QString tarnoPath()
{
    return qEnvironmentVariable("TARNO_APP", QStringLiteral(TARNO_TEST_HELPERS_DIR "/../../shell/tarno"));
}

// What a program run to its end printed on its standard output.
inline QString outputOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(waitMs);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

inline void xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    ASSERT_TRUE(process.waitForFinished(waitMs));
    ASSERT_EQ(process.exitCode(), 0) << arguments.join(' ').toStdString();
}

inline void clickAt(QPoint point, const char *button = "1")
{
    xdotool({"mousemove", QString::number(point.x()), QString::number(point.y()), "click", button});
}

struct WindowInfo
{
    QString id;
    QRect screenRect;
};

// Viewable windows whose WM_CLASS instance is `instance`, with their rectangles on screen, on the
// display named or else the test's own.
inline QList<WindowInfo> viewableWindows(const QString &instance, const QString &display = {})
{
    // 0x400006 "Tarno": ("tarno" "Tarno")  32x22+0+0  +1887+1
    static const QRegularExpression line(R"re(^\s*(0x[0-9a-f]+) .*\("([^"]*)" "[^"]*"\))re");
    static const QRegularExpression geometry(
        R"re(Absolute upper-left X:\s+(-?\d+).*Absolute upper-left Y:\s+(-?\d+).*Width:\s+(\d+).*Height:\s+(\d+))re",
        QRegularExpression::DotMatchesEverythingOption);
    const QStringList on = display.isEmpty() ? QStringList() : QStringList{"-display", display};
    QList<WindowInfo> windows;
    for (const QString &text : outputOf("xwininfo", on + QStringList{"-root", "-tree"}).split('\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch() || match.captured(2) != instance)
            continue;
        // The rectangle is read with the map state, not from the tree listed before: a window mapped
        // in between (the popover, made at the corner and moved before it maps) would be reported
        // viewable where it was while hidden.
        const QString info = outputOf("xwininfo", on + QStringList{"-id", match.captured(1)});
        const QRegularExpressionMatch rect = geometry.match(info);
        if (!info.contains("IsViewable") || !rect.hasMatch())
            continue;
        windows.append({match.captured(1), QRect(rect.captured(1).toInt(), rect.captured(2).toInt(),
                                                 rect.captured(3).toInt(), rect.captured(4).toInt())});
    }
    return windows;
}

inline std::optional<WindowInfo>
findWindow(const QString &instance, const std::function<bool(QRect)> &matches, const QString &display = {})
{
    for (const WindowInfo &window : viewableWindows(instance, display)) {
        if (matches(window.screenRect))
            return window;
    }
    return std::nullopt;
}

inline std::optional<WindowInfo> waitForWindow(const QString &instance,
                                               const std::function<bool(QRect)> &matches)
{
    std::optional<WindowInfo> found;
    [[maybe_unused]] const bool appeared =
        QTest::qWaitFor([&] { return (found = findWindow(instance, matches)).has_value(); }, waitMs);
    return found;
}

inline bool isPopover(QRect rect)
{
    return rect.size() == QSize(360, 480);
}

// An XEmbed tray along the top of the screen, as a panel holds one; up once its panel is viewable.
inline void startTrayer(QProcess &trayer)
{
    trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(trayer.waitForStarted(waitMs));
    ASSERT_TRUE(waitForWindow("panel", [](QRect) { return true; })) << "trayer did not start";
}

// A session bus of the test's own, ended with it.
class SessionBus
{
public:
    SessionBus()
    {
        m_process.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (m_process.waitForReadyRead(waitMs))
            m_address = QString::fromLatin1(m_process.readLine().trimmed());
    }
    ~SessionBus()
    {
        m_process.terminate();
        m_process.waitForFinished(waitMs);
    }
    // Empty when the bus did not start.
    const QString &address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};

// The environment Tarno is started in: the test's own session, with a home and runtime folder of
// the test's own.
inline QProcessEnvironment tarnoEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_RUNTIME_DIR", home);
    return environment;
}

} // namespace tarno::integration
