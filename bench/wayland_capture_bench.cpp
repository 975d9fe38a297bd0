// End-to-end capture latency on a Wayland compositor's clipboard: wl-copy copies text or a
// 2880 × 1800 PNG, and the time is taken from the moment the compositor announces the new selection
// (seen by a data-control probe of the harness's own, on a thread and a connection of its own) to
// the clip being in the history store, through the real platform and clipboard monitor.
//
// Usage: WAYLAND_DISPLAY=... wayland_capture_bench [--copies N] [--only text|image]
#include "bench/support/ScreenshotImage.h"
#include "capture/ClipboardMonitor.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "platform/wayland/WaylandClipboard.h"
#include "tests/integration/DataControlThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace tarno;
using Clock = std::chrono::steady_clock;

namespace {

// Notes when each new selection is announced, from a thread of its own.
class SelectionProbe final : private DataControl::Events
{
public:
    SelectionProbe() { m_client.serve(); }
    ~SelectionProbe() override { m_client.stop(); }
    bool isReady() const { return m_client.isServing(); }
    qint64 announcements() const { return m_count; }
    Clock::time_point lastAt() const { return Clock::time_point(Clock::duration(m_lastAt.load())); }

private:
    void offerCreated(void *) override {}
    void offerType(void *, const char *) override {}
    void selection(void *offer) override
    {
        if (!offer)
            return;
        m_lastAt = Clock::now().time_since_epoch().count();
        ++m_count;
        m_client.control()->destroyOffer(offer);
    }
    void primarySelection(void *offer) override
    {
        if (offer)
            m_client.control()->destroyOffer(offer);
    }
    void finished() override {}
    void send(void *, const char *, int fd) override { close(fd); }
    void cancelled(void *) override {}

    std::atomic<qint64> m_count = 0;
    std::atomic<Clock::rep> m_lastAt = 0;
    tarno::integration::DataControlThread m_client{*this};
};

// Runs the event loop until `done` holds or the time is up; a 1 ms tick keeps it looking.
template <typename Predicate> bool waitFor(Predicate done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(1);
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5));
    return values.at(index);
}

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One series of copies; each a wl-copy of the file, timed from its announcement to the store.
std::vector<double> series(ClipboardHistoryViewModel &history, const SelectionProbe &probe,
                           const QString &file, const QString &type, int copies)
{
    constexpr int warmUp = 3;
    std::vector<double> samples;
    for (int i = 0; i < warmUp + copies; ++i) {
        const QUuid firstBefore = history.items().isEmpty() ? QUuid() : history.items().first().id;
        const qint64 announcedBefore = probe.announcements();
        QProcess copy;
        copy.setStandardInputFile(file);
        QStringList arguments;
        if (!type.isEmpty())
            arguments << "--type" << type;
        copy.start("wl-copy", arguments);
        std::optional<Clock::time_point> storedAt;
        const auto connection = QObject::connect(&history, &ClipboardHistoryViewModel::itemsChanged, [&] {
            if (!storedAt && !history.items().isEmpty() && history.items().first().id != firstBefore)
                storedAt = Clock::now();
        });
        waitFor([&] { return storedAt && probe.announcements() > announcedBefore; }, 10000);
        QObject::disconnect(connection);
        copy.waitForFinished(10000);
        if (!storedAt || probe.announcements() == announcedBefore) {
            std::printf("  copy %d never arrived\n", i);
            continue;
        }
        if (i >= warmUp)
            samples.push_back(msBetween(probe.lastAt(), *storedAt));
        // Past the monitor's handling of this change before the next one starts.
        waitFor([] { return false; }, 50);
    }
    return samples;
}

void report(const char *what, const std::vector<double> &samples)
{
    if (samples.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::printf("%s (%zu copies): announced -> clip in store: median %7.1f ms  p95 %7.1f ms  max %7.1f ms\n",
                what, samples.size(), percentile(samples, 0.5), percentile(samples, 0.95),
                percentile(samples, 1.0));
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

    QtPlatform platform;
    Platform::install(platform.platform());
    if (!platform.waylandClipboard()) {
        std::fprintf(stderr, "needs WAYLAND_DISPLAY naming a compositor with a data-control protocol\n");
        return 1;
    }
    SelectionProbe probe;
    if (!probe.isReady()) {
        std::fprintf(stderr, "the probe could not connect\n");
        return 1;
    }
    std::printf("Wayland clipboard through %s\n",
                platform.waylandClipboard()->protocolName().toUtf8().constData());
    ClipboardHistoryViewModel history(platform.runtime(), *platform.platform().codec);
    ClipboardMonitor monitor(platform.runtime(), platform.pasteboard(), *platform.platform().codec);
    monitor.start([&history](const ClipboardItem &item) { history.add(item); });
    platform.onPasteboardChanged([&monitor] { monitor.pasteboardDidChange(); });
    waitFor([] { return false; }, 500);

    // The same content every time: each copy is still a new change, and its clip a new identity.
    if (only.isEmpty() || only == "text") {
        QTemporaryFile file;
        file.open();
        file.write("copied text\nwith a second line\n");
        file.flush();
        report("text", series(history, probe, file.fileName(), {}, copies));
    }
    if (only.isEmpty() || only == "image") {
        QTemporaryFile file;
        file.open();
        file.write(bench::screenshotLikePng());
        file.flush();
        report("2880x1800 PNG", series(history, probe, file.fileName(), "image/png", copies));
    }
    monitor.stop();
    return 0;
}
