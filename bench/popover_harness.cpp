// Renders the popover the way the tray shows it, filled with clips, to take pictures of its states
// (--shots DIR) or to time it (--bench). Runs on a real display (Xvfb in the scripts).
#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "platform/api/Platform.h"
#include "platform/fake/FakeAppearance.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakeProcessRunner.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtRuntime.h"
#include "ui/KeyboardNavigation.h"
#include "ui/PopoverView.h"
#include "ui/PopoverViewModel.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickAsyncImageProvider>
#include <QQuickImageResponse>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace tarno;

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray screenshotPng(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv((seed * 47) % 360, 120, 230));
    gradient.setColorAt(1, QColor::fromHsv((seed * 47 + 120) % 360, 160, 120));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(QColor(255, 255, 255, 180), size.height() / 60.0));
    for (int i = 0; i < 6; ++i)
        painter.drawRect(
            QRect(size.width() * i / 7 + 20, size.height() / 5, size.width() / 9, size.height() / 2));
    painter.setFont(QFont(QStringLiteral("Sans"), size.height() / 12));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Screenshot %1").arg(seed));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QPalette lightPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xf2, 0xf2, 0xf2));
    palette.setColor(QPalette::WindowText, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Button, QColor(0xf2, 0xf2, 0xf2));
    palette.setColor(QPalette::ButtonText, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf0));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    return palette;
}

long residentKiB()
{
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

struct Harness
{
    QtRuntime runtime;
    QtImageCodec codec;
    FakePasteboard pasteboard;
    FakeProcessRunner runner;
    FakeKeyValueStore store;
    FakeAppearance appearance;
    ClipboardHistoryViewModel history{runtime, codec};
    GleanerySettings settings{store, [] { return false; }};
    QQmlEngine engine;
    QQuickWindow window;
    QQuickItem *view = nullptr;
    PopoverViewModel *model = nullptr;

    Harness()
    {
        Platform platform{&runtime, &codec, &pasteboard, nullptr, &runner};
        platform.appearance = &appearance;
        Platform::install(platform);
        settings.setScreenshotsUseClipboard(false);
        window.setColor(QColor(0x7a, 0x86, 0x94));
        window.resize(380, 500);
    }

    void makeView()
    {
        view = createPopoverView(
            engine, window.contentItem(), history, settings, [](const PasteboardCaptures &) {},
            [] { return false; });
        if (!view)
            return;
        view->setPosition(QPointF(10, 10));
        model = view->property("model").value<PopoverViewModel *>();
    }

    void fill(int texts, int images, QSize imageSize)
    {
        const QStringList samples{
            QStringLiteral("git commit -m \"Fix the race in the upload queue\""),
            QStringLiteral("https://example.org/docs/getting-started#install"),
            QStringLiteral(
                "Meeting moved to Thursday 14:00 — room 3.12, bring the quarterly numbers and the draft "
                "of the roadmap so we can go through it together before the review."),
            QStringLiteral("   \n  "),
            QStringLiteral("const auto total = std::accumulate(values.begin(), values.end(), 0);"),
            QStringLiteral("Line one\nLine two\nLine three\nLine four\nLine five"),
        };
        const QDateTime now = QDateTime::currentDateTime();
        QList<ClipboardItem> items;
        int made = 0;
        for (int i = 0; i < texts + images; ++i) {
            const bool image = (i % 2 == 1 && made < images) || i - made >= texts;
            ClipboardItem item =
                image ? ClipboardItem::makeImage(screenshotPng(imageSize, i), now)
                      : ClipboardItem::makeText(
                            samples.at(i % samples.size()) +
                                (i >= samples.size() ? QStringLiteral(" #%1").arg(i) : QString()),
                            now);
            item.createdAt = now.addSecs(-qint64(i) * i * 97 - 5);
            made += image;
            items.append(item);
        }
        history.setItems(items);
    }
};

// A key pressed in the view, as the popover's window hands it over; the harness's window is not
// focused on a display without a window manager, so the key goes to the view itself.
void sendKey(QQuickItem &view, int key, const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&view, &release);
}

int shots(const QString &directory)
{
    QDir().mkpath(directory);
    Harness h;
    h.makeView();
    if (!h.view)
        return 1;
    h.window.show();
    wait(900);

    const auto shoot = [&](const QString &name) {
        wait(900);
        const QImage image = h.window.grabWindow();
        image.save(directory + QLatin1Char('/') + name + QStringLiteral(".png"));
        std::printf("%s\n", qPrintable(name));
    };

    for (const bool dark : {false, true}) {
        // The desktop asks for dark while Qt's palette stays light, as under a desktop whose toolkit
        // theme Qt does not follow.
        h.appearance.setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        h.history.setItems({});
        h.model->setFilter(QStringLiteral("all"));
        shoot(QStringLiteral("01-empty") + suffix);

        h.fill(4, 3, QSize(1440, 900));
        QList<ClipboardItem> items = h.history.items();
        // A tall and a wide screenshot, to see the thumbnail frame limits.
        ClipboardItem tall = ClipboardItem::makeImage(screenshotPng(QSize(400, 1600), 90),
                                                      QDateTime::currentDateTime().addSecs(-4000));
        ClipboardItem wide = ClipboardItem::makeImage(screenshotPng(QSize(3000, 400), 91),
                                                      QDateTime::currentDateTime().addSecs(-90000));
        items.insert(3, tall);
        items.append(wide);
        h.history.setItems(items);
        shoot(QStringLiteral("02-list") + suffix);

        h.model->rowEntered(h.history.items().at(0).id.toString(QUuid::WithoutBraces));
        shoot(QStringLiteral("03-hover-text") + suffix);
        h.model->rowEntered(h.history.items().at(1).id.toString(QUuid::WithoutBraces));
        shoot(QStringLiteral("04-hover-screenshot") + suffix);
        h.model->rowExited(h.history.items().at(1).id.toString(QUuid::WithoutBraces));

        // The keyboard's selection on the second clip, then a search typed.
        h.model->beginKeyboardSession();
        sendKey(*h.view, Qt::Key_Down);
        shoot(QStringLiteral("12-key-selection") + suffix);
        for (const QChar c : QStringLiteral("the"))
            sendKey(*h.view, Qt::Key_unknown, QString(c));
        shoot(QStringLiteral("13-search") + suffix);
        h.model->keys()->reset();

        h.model->setFilter(QStringLiteral("text"));
        shoot(QStringLiteral("05-filter-text") + suffix);
        h.model->setFilter(QStringLiteral("screenshots"));
        shoot(QStringLiteral("06-filter-screenshots") + suffix);

        QList<ClipboardItem> onlyImages;
        for (const ClipboardItem &item : h.history.items()) {
            if (item.kind == ClipboardItemKind::image)
                onlyImages.append(item);
        }
        h.history.setItems(onlyImages);
        h.model->setFilter(QStringLiteral("text"));
        shoot(QStringLiteral("07-filtered-empty") + suffix);
        h.model->setFilter(QStringLiteral("all"));

        h.model->toggleSettings();
        h.settings.setScreenshotsUseClipboard(false);
        shoot(QStringLiteral("08-settings-off") + suffix);
        h.settings.setScreenshotsUseClipboard(true);
        shoot(QStringLiteral("09-settings-on") + suffix);
        h.settings.setRetentionPolicy(HistoryRetentionPolicy::weekly);
        h.history.setItems({});
        shoot(QStringLiteral("10-settings-weekly-nothing-to-clear") + suffix);
        h.settings.setRetentionPolicy(HistoryRetentionPolicy::keepForever);
        h.settings.setScreenshotsUseClipboard(false);
        h.model->toggleSettings();

        h.fill(3, 2, QSize(1440, 900));
        h.view->setProperty("isDropTargeted", true);
        wait(850 - 900 + 900);
        shoot(QStringLiteral("11-drop-highlight") + suffix);
        h.view->setProperty("isDropTargeted", false);
    }
    return 0;
}

int bench()
{
    Harness h;
    h.fill(25, 25, QSize(2880, 1800));
    std::printf("clips: %lld, of which screenshots of 2880x1800: 25\n", qlonglong(h.history.items().size()));

    // The view is made once, when the tray is set up; the popover then shows it.
    QElapsedTimer clock;
    qint64 firstFrame = -1;
    QObject::connect(&h.window, &QQuickWindow::frameSwapped, &h.window, [&] {
        if (firstFrame < 0)
            firstFrame = clock.nsecsElapsed();
    });
    const long rssBefore = residentKiB();
    clock.start();
    h.makeView();
    std::printf("making the view (QML compiled in, types loaded, 50 rows bound): %.1f ms\n",
                clock.nsecsElapsed() / 1e6);
    const long rssMade = residentKiB();
    clock.restart();
    h.window.show();
    while (firstFrame < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("first show -> first frame (window and GL context created): %.1f ms\n", firstFrame / 1e6);
    const long rssFirstFrame = residentKiB();
    wait(1500);
    const long rssShown = residentKiB();
    std::printf(
        "RSS: before view %ld KiB, view made +%.1f MiB, first frame +%.1f MiB, visible thumbnails decoded "
        "+%.1f MiB\n",
        rssBefore, (rssMade - rssBefore) / 1024.0, (rssFirstFrame - rssMade) / 1024.0,
        (rssShown - rssFirstFrame) / 1024.0);

    // Warm: hide and show again, as every later opening.
    QList<double> warm;
    for (int i = 0; i < 9; ++i) {
        h.window.hide();
        wait(200);
        firstFrame = -1;
        clock.restart();
        h.window.show();
        while (firstFrame < 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        warm.append(firstFrame / 1e6);
        wait(300);
    }
    std::sort(warm.begin(), warm.end());
    std::printf("warm show -> first frame, median of 9: %.1f ms (min %.1f, max %.1f)\n", warm.at(4),
                warm.first(), warm.last());

    // Scroll the whole list a frame at a time, recording the longest gap between turns of the main
    // loop (a 1 ms heartbeat) and between frames.
    QQuickItem *list = nullptr;
    QList<QQuickItem *> pending{h.view};
    while (!pending.isEmpty() && !list) {
        QQuickItem *item = pending.takeFirst();
        if (item->objectName() == QStringLiteral("clipList"))
            list = item;
        pending.append(item->childItems());
    }
    if (!list)
        return 1;
    qint64 longestStall = 0;
    QElapsedTimer beat;
    beat.start();
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, beat.nsecsElapsed());
        beat.restart();
    });
    qint64 longestFrame = 0;
    QElapsedTimer frameClock;
    frameClock.start();
    bool scrolling = true;
    QObject::connect(&h.window, &QQuickWindow::frameSwapped, &h.window, [&] {
        if (scrolling)
            longestFrame = std::max(longestFrame, frameClock.nsecsElapsed());
        frameClock.restart();
    });
    heartbeat.start();
    beat.restart();
    const double contentHeight = list->property("contentHeight").toDouble();
    const double viewHeight = list->height();
    double y = list->property("contentY").toDouble();
    const double end = contentHeight - viewHeight + list->property("originY").toDouble();
    int steps = 0;
    while (y < end) {
        y = std::min(end, y + 24);
        list->setProperty("contentY", y);
        h.window.update();
        QEventLoop loop;
        QObject::connect(&h.window, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
        ++steps;
    }
    scrolling = false;
    heartbeat.stop();
    wait(1500);
    const long rssScrolled = residentKiB();
    std::printf(
        "scrolled %d steps of 24 px: longest main-thread stall %.1f ms, longest frame interval %.1f ms\n",
        steps, longestStall / 1e6, longestFrame / 1e6);
    std::printf(
        "RSS after scrolling every thumbnail in: +%.1f MiB over the shown popover, +%.1f MiB over no view\n",
        (rssScrolled - rssShown) / 1024.0, (rssScrolled - rssBefore) / 1024.0);
    return 0;
}

// The median of the milliseconds each run takes from its start to the next frame on screen.
double medianToFrame(Harness &h, int runs, const std::function<void(int)> &start)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        bool swapped = false;
        const auto connection =
            QObject::connect(&h.window, &QQuickWindow::frameSwapped, &h.window, [&] { swapped = true; });
        QElapsedTimer clock;
        clock.start();
        start(i);
        while (!swapped)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        times.append(clock.nsecsElapsed() / 1e6);
        QObject::disconnect(connection);
        // Let any animation the step started settle, so each run starts from a still frame.
        wait(400);
    }
    std::sort(times.begin(), times.end());
    return (times.at((runs - 1) / 2) + times.at(runs / 2)) / 2;
}

// Keys in the shown popover, each timed from the key press to the frame that shows its effect.
int keys()
{
    constexpr int runs = 20;
    Harness h;
    h.fill(25, 25, QSize(640, 400));
    h.makeView();
    if (!h.view)
        return 1;
    h.window.show();
    h.window.requestActivate();
    wait(1500);
    std::printf("clips: %lld (25 texts, 25 screenshots of 640x400), %d runs each, medians\n",
                qlonglong(h.history.items().size()), runs);
    // The reference: a frame drawn again with nothing changed.
    const double redraw = medianToFrame(h, runs, [&](int) { h.window.update(); });
    std::printf("redraw, nothing changed (reference): %.2f ms\n", redraw);
    const double move =
        medianToFrame(h, runs, [&](int i) { sendKey(*h.view, i % 2 ? Qt::Key_Up : Qt::Key_Down); });
    std::printf("Down or Up -> selection moved on screen: %.2f ms (%.2f x reference)\n", move, move / redraw);
    // Each keystroke changes the list: "e" leaves the texts holding an e, Backspace brings all back.
    const double search = medianToFrame(h, runs, [&](int i) {
        if (i % 2)
            sendKey(*h.view, Qt::Key_Backspace);
        else
            sendKey(*h.view, Qt::Key_E, QStringLiteral("e"));
    });
    std::printf(
        "search keystroke -> filtered list drawn: %.2f ms (%.2f x reference), %lld of 50 match \"e\"\n",
        search, search / redraw, qlonglong([&] {
            h.history.setSearchText(QStringLiteral("e"));
            const qsizetype n = h.history.filteredItems().size();
            h.history.setSearchText({});
            return n;
        }()));
    // The searched start is bounded: fifty texts of 2 MB each cost what fifty of 64 KB would.
    QList<ClipboardItem> huge;
    for (int i = 0; i < 50; ++i)
        huge.append(ClipboardItem::makeText(
            ClipText::fromUtf8(QByteArray(2 * 1024 * 1024, char('a' + i % 26)) + " end"),
            QDateTime::currentDateTime()));
    h.history.setItems(huge);
    wait(1000);
    const double hugeSearch = medianToFrame(h, runs, [&](int i) {
        if (i % 2)
            sendKey(*h.view, Qt::Key_Backspace);
        else
            sendKey(*h.view, Qt::Key_B, QStringLiteral("b"));
    });
    std::printf("search keystroke, 50 texts of 2 MB -> filtered list drawn: %.2f ms (%.2f x reference)\n",
                hugeSearch, hugeSearch / redraw);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    // Drawn as the app draws its popover.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication::setPalette(lightPalette());
    const QStringList args = QGuiApplication::arguments();
    if (args.size() >= 3 && args.at(1) == QStringLiteral("--shots"))
        return shots(args.at(2));
    if (args.size() >= 2 && args.at(1) == QStringLiteral("--bench"))
        return bench();
    if (args.size() >= 2 && args.at(1) == QStringLiteral("--keys"))
        return keys();
    std::fprintf(stderr, "usage: popover_harness --shots DIR | --bench | --keys\n");
    return 2;
}
