// End-to-end capture latency on a real X display: another program (xclip) copies text or a
// 2880 × 1800 PNG, and the time is taken from the exit of the xclip process that took the selection
// to the clip being in the history store. Alongside, from the same copies: when the X11 clipboard
// had the new content (the floor any reader has to wait for), and the longest stretch in which the
// main thread did not get back to its event loop while a copy was being captured.
//
// A harness, not a Google Benchmark case: each sample needs another process and the event loop.
// Usage: capture_latency_bench [--copies N] [--only text|image]   (needs DISPLAY; see README.md)
#include "bench/support/ScreenshotImage.h"
#include "capture/ClipboardMonitor.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "platform/qt/X11Clipboard.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

using namespace tarno;
using Clock = std::chrono::steady_clock;

namespace {

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// `xclip -selection clipboard -i [-t target] < file`, run from a thread of its own so that the main
// thread stays free to capture. xclip takes the selection, forks a child that serves it, and exits.
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
    bool succeeded() const { return m_status == 0; }

private:
    void run(const QByteArray &inputFile, const QByteArray &target)
    {
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
        m_finished.store(true);
    }

    Clock::time_point m_exitedAt;
    int m_status = -1;
    std::atomic_bool m_finished{false};
    std::thread m_thread;
};

struct Sample
{
    double storedMs = 0;   // xclip exit → clip in the store
    double snapshotMs = 0; // xclip exit → the clipboard holds the new content
    double stallMs = 0;    // longest main-thread gap while this copy was captured
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

// The composed capture core, as the program runs it, with probes on the clipboard and the store.
class Harness
{
public:
    Harness()
        : m_history(m_platform.runtime(), *m_platform.platform().codec),
          m_monitor(m_platform.runtime(), m_platform.clipboard(), *m_platform.platform().codec)
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
                m_history.items().first().id != m_firstBefore)
                m_storedAt = Clock::now();
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
        m_longestGap = 0;
        m_lastTick = Clock::now();
        m_armed = true;

        XclipCopy xclip(inputFile, target);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!(m_storedAt && xclip.isFinished()) && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        noteTick();
        m_armed = false;
        if (!m_storedAt || !xclip.isFinished() || !xclip.succeeded())
            return std::nullopt;

        Sample sample;
        sample.storedMs = msBetween(xclip.exitedAt(), *m_storedAt);
        sample.snapshotMs = m_snapshotAt ? msBetween(xclip.exitedAt(), *m_snapshotAt) : sample.storedMs;
        sample.stallMs = m_longestGap;
        return sample;
    }

    // Lets the event loop run, so that the next copy meets the poll at a random phase.
    void idle(int ms)
    {
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

private:
    void noteTick()
    {
        const Clock::time_point now = Clock::now();
        if (m_armed)
            m_longestGap = std::max(m_longestGap, msBetween(m_lastTick, now));
        m_lastTick = now;
    }

    QtPlatform m_platform;
    ClipboardHistoryViewModel m_history;
    ClipboardMonitor m_monitor;
    QTimer m_ticker;

    bool m_armed = false;
    qint64 m_countBefore = 0;
    QUuid m_firstBefore;
    std::optional<Clock::time_point> m_snapshotAt;
    std::optional<Clock::time_point> m_storedAt;
    Clock::time_point m_lastTick;
    double m_longestGap = 0;
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

void report(const char *name, const std::vector<Sample> &samples)
{
    const std::vector<double> stored = column(samples, &Sample::storedMs);
    const std::vector<double> snapshot = column(samples, &Sample::snapshotMs);
    const std::vector<double> stall = column(samples, &Sample::stallMs);
    const double storedMedian = percentile(stored, 0.5);
    const double snapshotMedian = percentile(snapshot, 0.5);
    std::printf("%s (n=%zu)\n", name, samples.size());
    std::printf("  xclip exit -> clip in store:      median %7.1f ms  p95 %7.1f ms  max %7.1f ms\n",
                storedMedian, percentile(stored, 0.95), percentile(stored, 1.0));
    std::printf("  xclip exit -> content read (base): median %7.1f ms  p95 %7.1f ms  ratio store/base %.2f\n",
                snapshotMedian, percentile(snapshot, 0.95),
                snapshotMedian > 0 ? storedMedian / snapshotMedian : 0);
    std::printf("  longest main-thread stall per copy: median %6.1f ms  max %7.1f ms\n",
                percentile(stall, 0.5), percentile(stall, 1.0));
}

double medianConversionMs(const ImageCodec &codec, const QByteArray &bytes)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const Clock::time_point start = Clock::now();
        const std::optional<QByteArray> png = pngData(codec, bytes);
        times.push_back(msBetween(start, Clock::now()));
        if (!png)
            return -1;
    }
    return percentile(times, 0.5);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    int copies = 50;
    QString only;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == "--copies")
            copies = arguments.at(i + 1).toInt();
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
        report("text", series(harness, QFile::encodeName(file), {}, copies));
    }

    if (only.isEmpty() || only == "image") {
        const QByteArray png = bench::screenshotLikePng();
        const QString file = home.path() + "/image.png";
        QFile image(file);
        if (!image.open(QIODevice::WriteOnly) || image.write(png) != png.size())
            return 1;
        image.close();
        const double conversion = medianConversionMs(*harness.platform().platform().codec, png);
        const std::vector<Sample> samples = series(harness, QFile::encodeName(file), "image/png", copies);
        std::printf("image: 2880x1800 screenshot-like PNG, %.2f MB\n", double(png.size()) / 1e6);
        report("image", samples);
        const double stored = percentile(column(samples, &Sample::storedMs), 0.5);
        std::printf(
            "  pngData of the same bytes alone (median of 5): %.1f ms; store median minus it: %.1f ms\n",
            conversion, stored - conversion);
    }
    return 0;
}
