// End-to-end capture latency on a real X display: another program (xclip) copies text or a
// 2880 × 1800 PNG, and the time is taken from the moment xclip owns the clipboard to the clip being
// in the history store. xclip's first process exits just before the process it leaves behind takes
// the selection, so a thread of the harness watches for the new owner on an X connection of its
// own. Alongside, from the same copies: the time from xclip's exit, when the X11 clipboard had the
// new content (the floor any reader has to wait for), and the longest stretch in which the main
// thread did not get back to its event loop while a copy was being captured, and the CPU time the
// whole process used from the copy to the clip in the store. Images are copied at 2880 × 1800 and at
// 33 megapixels (7680 × 4320).
//
// A harness, not a Google Benchmark case: each sample needs another process and the event loop.
// Usage: capture_latency_bench [--copies N] [--large-copies N] [--only text|image]
//   (needs DISPLAY; see README.md)
#include "bench/support/ScreenshotImage.h"
#include "capture/ClipboardMonitor.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "platform/x11/X11Clipboard.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

using namespace tarno;
using Clock = std::chrono::steady_clock;

namespace {

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// CPU time the calling thread has used, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// CPU time of the whole process (every thread), in milliseconds.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Who owns CLIPBOARD, asked on a connection of the harness's own.
class OwnerProbe
{
public:
    OwnerProbe() : m_connection(xcb_connect(nullptr, nullptr))
    {
        const char name[] = "CLIPBOARD";
        if (xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
                m_connection, xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr)) {
            m_clipboard = reply->atom;
            std::free(reply);
        }
    }
    ~OwnerProbe() { xcb_disconnect(m_connection); }

    xcb_window_t owner() const
    {
        xcb_window_t owner = XCB_NONE;
        if (xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr)) {
            owner = reply->owner;
            std::free(reply);
        }
        return owner;
    }

private:
    xcb_connection_t *m_connection;
    xcb_atom_t m_clipboard = XCB_NONE;
};

// `xclip -selection clipboard -i [-t target] < file`, run from a thread of its own so that the main
// thread stays free to capture. xclip forks a child that takes the selection and serves it, and
// exits; the thread then waits, asking every 0.1 ms, until the owner has changed.
class XclipCopy
{
public:
    XclipCopy(const QByteArray &inputFile, const QByteArray &target)
        : m_thread([this, inputFile, target] { run(inputFile, target); })
    {}
    ~XclipCopy() { m_thread.join(); }

    bool isFinished() const { return m_finished.load(); }
    // Valid once finished.
    Clock::time_point exitedAt() const { return m_exitedAt; }
    Clock::time_point ownedAt() const { return m_ownedAt; }
    bool succeeded() const { return m_status == 0 && m_owned; }

private:
    void run(const QByteArray &inputFile, const QByteArray &target)
    {
        const OwnerProbe probe;
        const xcb_window_t ownerBefore = probe.owner();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, inputFile.constData(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<const char *> arguments{"xclip", "-selection", "clipboard", "-i"};
        if (!target.isEmpty()) {
            arguments.push_back("-t");
            arguments.push_back(target.constData());
        }
        arguments.push_back(nullptr);
        pid_t pid = 0;
        int status = -1;
        if (posix_spawnp(&pid, "xclip", &actions, nullptr, const_cast<char *const *>(arguments.data()),
                         environ) == 0)
            waitpid(pid, &status, 0);
        m_exitedAt = Clock::now();
        posix_spawn_file_actions_destroy(&actions);
        m_status = status;
        for (int tries = 0; status == 0 && tries < 50000; ++tries) {
            const xcb_window_t owner = probe.owner();
            if (owner != XCB_NONE && owner != ownerBefore) {
                m_ownedAt = Clock::now();
                m_owned = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        m_finished.store(true);
    }

    Clock::time_point m_exitedAt;
    Clock::time_point m_ownedAt;
    bool m_owned = false;
    int m_status = -1;
    std::atomic_bool m_finished{false};
    std::thread m_thread;
};

struct Sample
{
    double storedMs = 0;         // xclip owns the clipboard → clip in the store
    double storedFromExitMs = 0; // xclip's first process exits → clip in the store
    double snapshotMs = 0;       // xclip owns the clipboard → the X11 clipboard holds the new content
    double stallMs = 0;          // longest main-thread gap while this copy was captured
    double busyMs = 0;           // the most CPU time the main thread used between two such ticks
    double conversionMs = 0;     // the monitor's PNG conversion of this copy, if it made one
    double cpuMs = 0;            // CPU time of the process from the copy's start to the clip in the store
    double storedLessConversion() const { return storedMs - conversionMs; }
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const auto rank = std::size_t(std::max(1.0, std::ceil(fraction * double(values.size()))));
    return values[rank - 1];
}

template <typename Field> std::vector<double> column(const std::vector<Sample> &samples, Field field)
{
    std::vector<double> values;
    for (const Sample &sample : samples)
        values.push_back(sample.*field);
    return values;
}

// The real codec, noting when the monitor's conversion (the calls made off the main thread) starts
// and ends, so that each capture's time splits into the conversion and everything else.
class TimingCodec : public ImageCodec
{
public:
    DecodedImagePtr imageFromData(const QByteArray &data) const override
    {
        return m_codec.imageFromData(data);
    }
    DecodedImagePtr bitmapFromData(const QByteArray &data) const override
    {
        if (std::this_thread::get_id() != m_mainThread && m_conversionStart.load() == 0)
            m_conversionStart.store(nowNs());
        return m_codec.bitmapFromData(data);
    }
    std::optional<QByteArray> pngRepresentation(const DecodedImage &image) const override
    {
        std::optional<QByteArray> png = m_codec.pngRepresentation(image);
        if (std::this_thread::get_id() != m_mainThread)
            m_conversionEnd.store(nowNs());
        return png;
    }
    std::optional<QSize> sizeFromData(const QByteArray &data) const override
    {
        return m_codec.sizeFromData(data);
    }

    void reset() const
    {
        m_conversionStart.store(0);
        m_conversionEnd.store(0);
    }
    // The last conversion's length, if one ran since reset().
    std::optional<double> conversionMs() const
    {
        const qint64 start = m_conversionStart.load();
        const qint64 end = m_conversionEnd.load();
        if (start == 0 || end < start)
            return std::nullopt;
        return double(end - start) / 1e6;
    }

private:
    static qint64 nowNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    }

    QtImageCodec m_codec;
    std::thread::id m_mainThread = std::this_thread::get_id();
    mutable std::atomic<qint64> m_conversionStart{0};
    mutable std::atomic<qint64> m_conversionEnd{0};
};

// The composed capture core, as the program runs it, with probes on the clipboard and the store.
class Harness
{
public:
    Harness()
        : m_history(m_platform.runtime(), *m_platform.platform().codec),
          m_monitor(m_platform.runtime(), m_platform.clipboard(), m_codec)
    {
        Platform::install(m_platform.platform());
        m_monitor.start([this](const ClipboardItem &item) { m_history.add(item); });
        m_platform.onPasteboardChanged([this] { m_monitor.pasteboardDidChange(); });

        X11Clipboard &clipboard = m_platform.clipboard();
        QObject::connect(&clipboard, &X11Clipboard::snapshotReady, [this, &clipboard] {
            if (m_armed && !m_snapshotAt && clipboard.changeCount() != m_countBefore)
                m_snapshotAt = Clock::now();
        });
        QObject::connect(&m_history, &ClipboardHistoryViewModel::itemsChanged, [this] {
            if (m_armed && !m_storedAt && !m_history.items().isEmpty() &&
                m_history.items().first().id != m_firstBefore) {
                m_storedAt = Clock::now();
                m_storedCpu = processCpuMs();
            }
        });

        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { noteTick(); });
        m_ticker.start();
    }

    QtPlatform &platform() { return m_platform; }
    bool isWatching() const { return m_platform.clipboard().isWatching(); }

    // One copy by xclip; nothing when it did not reach the store within ten seconds.
    std::optional<Sample> copy(const QByteArray &inputFile, const QByteArray &target)
    {
        m_countBefore = m_platform.clipboard().changeCount();
        m_firstBefore = m_history.items().isEmpty() ? QUuid() : m_history.items().first().id;
        m_snapshotAt.reset();
        m_storedAt.reset();
        m_codec.reset();
        m_longestGap = 0;
        m_longestBusy = 0;
        m_lastTickCpu = threadCpuMs();
        m_lastTick = Clock::now();
        m_armed = true;
        m_tracking = true;
        const double cpuBefore = processCpuMs();

        XclipCopy xclip(inputFile, target);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!(m_storedAt && xclip.isFinished()) && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        noteTick();
        m_armed = false;
        m_tracking = false;
        if (!m_storedAt || !xclip.isFinished() || !xclip.succeeded())
            return std::nullopt;

        Sample sample;
        sample.storedMs = msBetween(xclip.ownedAt(), *m_storedAt);
        sample.storedFromExitMs = msBetween(xclip.exitedAt(), *m_storedAt);
        sample.snapshotMs = m_snapshotAt ? msBetween(xclip.ownedAt(), *m_snapshotAt) : sample.storedMs;
        sample.stallMs = m_longestGap;
        sample.busyMs = m_longestBusy;
        sample.conversionMs = m_codec.conversionMs().value_or(0);
        sample.cpuMs = m_storedCpu - cpuBefore;
        return sample;
    }

    // Lets the event loop run, so that the next copy meets the poll at a random phase. The longest
    // main-thread gap of this idle stretch is kept as the reference for the gaps during copies.
    void idle(int ms)
    {
        m_longestGap = 0;
        m_longestBusy = 0;
        m_lastTickCpu = threadCpuMs();
        m_lastTick = Clock::now();
        m_tracking = true;
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        noteTick();
        m_tracking = false;
        m_idleGaps.push_back(m_longestGap);
        m_idleBusy.push_back(m_longestBusy);
    }

    std::vector<double> takeIdleGaps() { return std::exchange(m_idleGaps, {}); }
    std::vector<double> takeIdleBusy() { return std::exchange(m_idleBusy, {}); }

private:
    // A gap between ticks is either the main thread at work or the main thread waiting for a CPU
    // that other processes hold; its own CPU time over the gap tells the two apart.
    void noteTick()
    {
        const Clock::time_point now = Clock::now();
        const double cpu = threadCpuMs();
        if (m_tracking) {
            m_longestGap = std::max(m_longestGap, msBetween(m_lastTick, now));
            m_longestBusy = std::max(m_longestBusy, cpu - m_lastTickCpu);
        }
        m_lastTick = now;
        m_lastTickCpu = cpu;
    }

    QtPlatform m_platform;
    TimingCodec m_codec;
    ClipboardHistoryViewModel m_history;
    ClipboardMonitor m_monitor;
    QTimer m_ticker;

    bool m_armed = false;
    bool m_tracking = false;
    std::vector<double> m_idleGaps;
    std::vector<double> m_idleBusy;
    qint64 m_countBefore = 0;
    QUuid m_firstBefore;
    std::optional<Clock::time_point> m_snapshotAt;
    std::optional<Clock::time_point> m_storedAt;
    double m_storedCpu = 0;
    Clock::time_point m_lastTick;
    double m_longestGap = 0;
    double m_lastTickCpu = 0;
    double m_longestBusy = 0;
};

std::vector<Sample> series(Harness &harness, const QByteArray &inputFile, const QByteArray &target,
                           int copies)
{
    constexpr int warmUp = 3;
    std::vector<Sample> samples;
    for (int i = 0; i < warmUp + copies; ++i) {
        harness.idle(100 + int(QRandomGenerator::global()->bounded(200)));
        const std::optional<Sample> sample = harness.copy(inputFile, target);
        if (!sample) {
            std::fprintf(stderr, "copy %d was not captured within 10 s\n", i);
            continue;
        }
        if (i >= warmUp)
            samples.push_back(*sample);
    }
    return samples;
}

void report(const char *name, const std::vector<Sample> &samples, const std::vector<double> &idleGaps,
            const std::vector<double> &idleBusy)
{
    const std::vector<double> stored = column(samples, &Sample::storedMs);
    const std::vector<double> fromExit = column(samples, &Sample::storedFromExitMs);
    const std::vector<double> snapshot = column(samples, &Sample::snapshotMs);
    const std::vector<double> stall = column(samples, &Sample::stallMs);
    const double storedMedian = percentile(stored, 0.5);
    const double snapshotMedian = percentile(snapshot, 0.5);
    std::printf("%s (n=%zu)\n", name, samples.size());
    std::printf("  xclip owns -> clip in store:       median %7.1f ms  p95 %7.1f ms  max %7.1f ms\n",
                storedMedian, percentile(stored, 0.95), percentile(stored, 1.0));
    std::printf("  xclip exits -> clip in store:      median %7.1f ms  p95 %7.1f ms\n",
                percentile(fromExit, 0.5), percentile(fromExit, 0.95));
    const std::vector<double> cpu = column(samples, &Sample::cpuMs);
    std::printf("  process CPU, copy -> clip in store: median %7.1f ms  p95 %7.1f ms\n", percentile(cpu, 0.5),
                percentile(cpu, 0.95));
    std::printf("  xclip owns -> content read (base): median %7.1f ms  p95 %7.1f ms  ratio store/base %.2f\n",
                snapshotMedian, percentile(snapshot, 0.95),
                snapshotMedian > 0 ? storedMedian / snapshotMedian : 0);
    std::printf("  longest main-thread stall per copy: median %6.1f ms  max %7.1f ms\n",
                percentile(stall, 0.5), percentile(stall, 1.0));
    std::printf("  same, per idle stretch between copies (base): median %6.1f ms  max %7.1f ms\n",
                percentile(idleGaps, 0.5), percentile(idleGaps, 1.0));
    const std::vector<double> busy = column(samples, &Sample::busyMs);
    std::printf(
        "  of that gap, main thread on a CPU:   median %6.1f ms  max %7.1f ms; idle (base): median %.1f ms  "
        "max %.1f ms\n",
        percentile(busy, 0.5), percentile(busy, 1.0), percentile(idleBusy, 0.5), percentile(idleBusy, 1.0));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    int copies = 50;
    int largeCopies = 10;
    QString only;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == "--copies")
            copies = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == "--large-copies")
            largeCopies = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == "--only")
            only = arguments.at(i + 1);
    }
    if (QGuiApplication::platformName() != "xcb") {
        std::fprintf(stderr, "needs an X display: run with DISPLAY set to an X server\n");
        return 2;
    }

    // Nothing of the real user's: the platform opens the settings file when it is made.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());

    Harness harness;
    if (!harness.isWatching()) {
        std::fprintf(stderr, "the X11 clipboard is not being watched\n");
        return 2;
    }

    if (only.isEmpty() || only == "text") {
        const QString file = home.path() + "/text";
        QFile text(file);
        if (!text.open(QIODevice::WriteOnly) ||
            text.write("A line of text copied for the latency probe.") < 0)
            return 1;
        text.close();
        const std::vector<Sample> samples = series(harness, QFile::encodeName(file), {}, copies);
        report("text", samples, harness.takeIdleGaps(), harness.takeIdleBusy());
    }

    if (only.isEmpty() || only == "image") {
        struct Picture
        {
            const char *name;
            QByteArray png;
            int copies;
        };
        const Picture pictures[] = {{"image", bench::screenshotLikePng(), copies},
                                    {"image 33 MP", bench::largeScreenshotLikePng(), largeCopies}};
        for (const Picture &picture : pictures) {
            const QString file = home.path() + "/image.png";
            QFile image(file);
            if (!image.open(QIODevice::WriteOnly) || image.write(picture.png) != picture.png.size())
                return 1;
            image.close();
            const std::vector<Sample> samples =
                series(harness, QFile::encodeName(file), "image/png", picture.copies);
            const QSize size = QImage::fromData(picture.png).size();
            std::printf("%s: %dx%d screenshot-like PNG, %.2f MB\n", picture.name, size.width(), size.height(),
                        double(picture.png.size()) / 1e6);
            report(picture.name, samples, harness.takeIdleGaps(), harness.takeIdleBusy());
            std::vector<double> conversion;
            std::vector<double> rest;
            for (const Sample &sample : samples) {
                conversion.push_back(sample.conversionMs);
                rest.push_back(sample.storedLessConversion());
            }
            std::printf(
                "  of which the PNG conversion on the encoding thread: median %7.1f ms  p95 %7.1f ms\n",
                percentile(conversion, 0.5), percentile(conversion, 0.95));
            std::printf("  clip in store less its conversion:  median %7.1f ms  p95 %7.1f ms  max %7.1f ms\n",
                        percentile(rest, 0.5), percentile(rest, 0.95), percentile(rest, 1.0));
        }
    }
    return 0;
}
