#pragma once

// What the integration tests share: xclip as the other program on the X display, a clipboard owner
// that never answers, a freeze detector for the main thread, and a screenshot-sized picture.
#include "tests/support/TestData.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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

} // namespace tarno::integration
