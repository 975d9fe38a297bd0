// Drag and drop on the popover: a screenshot's thumbnail for a clip row, and a drop of 20 files.
//
// Thumbnails: a 2880 x 1800 screenshot asked for at row size (328 x 128), through the provider as
// the engine asks (main-thread hop, worker decode, scale, answer), against the codec's full decode
// alone as the baseline, and a cache hit.
// Drag out: building a screenshot row's and a text row's drag data.
// Drops: 20 dragged screenshot files through the drop cascade (copying the drag's data out and
// reading the files), against the pasteboard reader's file pass over the same drag as the baseline.
#include "capture/PasteboardReader.h"
#include "model/ClipExport.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/fake/ManualRuntime.h"
#include "platform/qt/MimeDataPasteboard.h"
#include "platform/qt/QtImageCodec.h"
#include "ui/ClipDrag.h"
#include "ui/ClipImageProvider.h"
#include "ui/DropCascade.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QQuickTextureFactory>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace tarno;

namespace {

// Something like a desktop screenshot: flat panels, gradients, and rows of noisy "text".
QByteArray screenshotPng(int seed)
{
    QImage image(2880, 1800, QImage::Format_RGB32);
    image.fill(qRgb(236, 236, 240));
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 2880, 1800);
    gradient.setColorAt(0, QColor(40, 80, 160));
    gradient.setColorAt(1, QColor(200, 120, 60 + seed % 100));
    painter.fillRect(0, 0, 2880, 600, gradient);
    painter.fillRect(200, 700, 1200, 900, QColor(255, 255, 255));
    painter.end();
    QRandomGenerator random(quint32(seed) + 1);
    for (int y = 640; y < 1760; y += 28) {
        for (int row = 0; row < 16; ++row) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y + row));
            for (int x = 120; x < 2760; ++x) {
                if (random.bounded(3) == 0)
                    line[x] = qRgb(20 + int(random.bounded(60)), 20, 40);
            }
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

const QByteArray &screenshot()
{
    static const QByteArray bytes = screenshotPng(0);
    return bytes;
}

struct ThumbnailFixture
{
    ManualRuntime runtime;
    QtImageCodec codec;
    ClipboardHistoryViewModel history{runtime, codec};
    ClipImageProvider provider{history, codec};
    QString id;

    ThumbnailFixture()
    {
        history.add(ClipboardItem::makeImage(screenshot(), runtime.now()));
        id = history.items().first().id.toString(QUuid::WithoutBraces);
    }

    QSize request(QSize size)
    {
        std::unique_ptr<QQuickImageResponse> response(provider.requestImageResponse(id, size));
        bool finished = false;
        // Delivered on this thread, which wakes the loop below.
        QObject context;
        QObject::connect(response.get(), &QQuickImageResponse::finished, &context,
                         [&finished] { finished = true; });
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::unique_ptr<QQuickTextureFactory> factory(response->textureFactory());
        return factory ? factory->textureSize() : QSize();
    }
};

void BM_FullDecodeBaseline(benchmark::State &state)
{
    const QtImageCodec codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.imageFromData(screenshot()));
    state.SetLabel(QStringLiteral("%1 KB PNG").arg(screenshot().size() / 1024).toStdString());
}
BENCHMARK(BM_FullDecodeBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThumbnailAtRowSize(benchmark::State &state)
{
    ThumbnailFixture fixture;
    int height = 128;
    for (auto _ : state) {
        // A new size each time, so every request decodes.
        const QSize size = fixture.request(QSize(328, height));
        if (size.height() != height)
            state.SkipWithError("wrong thumbnail size");
        height = height == 128 ? 127 : 128;
        state.PauseTiming();
        fixture.history.setItems({});
        fixture.history.add(ClipboardItem::makeImage(screenshot(), fixture.runtime.now()));
        fixture.id = fixture.history.items().first().id.toString(QUuid::WithoutBraces);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThumbnailAtRowSize)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThumbnailCacheHit(benchmark::State &state)
{
    ThumbnailFixture fixture;
    fixture.request(QSize(328, 128));
    QCoreApplication::processEvents();
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.request(QSize(328, 128)));
}
BENCHMARK(BM_ThumbnailCacheHit)->Unit(benchmark::kMicrosecond)->UseRealTime();

// What a drag of a screenshot row costs on the main thread before the drag can begin: the drag data
// is offered at once and made on a worker, whose end is left out of the timing.
void BM_ImageClipDragStart(benchmark::State &state)
{
    const QtImageCodec codec;
    QTemporaryDir dir;
    const ClipboardItem clip = ClipboardItem::makeImage(screenshot(), QDateTime::currentDateTimeUtc());
    for (auto _ : state) {
        std::unique_ptr<QMimeData> data = clipDragMimeData(clip, codec, dir.path());
        benchmark::DoNotOptimize(data->formats());
        state.PauseTiming();
        data.reset();
        state.ResumeTiming();
    }
}
// Few iterations: each waits, untimed, for its worker to finish.
BENCHMARK(BM_ImageClipDragStart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Baseline: all of that drag data made before the drag begins (the PNG re-encoded once for the data
// and the file, the image decoded, the file written), as a drop target finally gets it.
void BM_ImageClipDragDataMade(benchmark::State &state)
{
    const QtImageCodec codec;
    QTemporaryDir dir;
    const ClipboardItem clip = ClipboardItem::makeImage(screenshot(), QDateTime::currentDateTimeUtc());
    for (auto _ : state)
        benchmark::DoNotOptimize(mimeDataForDragPayload(imageDragItemProvider(clip, codec, dir.path())));
}
BENCHMARK(BM_ImageClipDragDataMade)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextClipDragData(benchmark::State &state)
{
    const QtImageCodec codec;
    const ClipboardItem clip = ClipboardItem::makeText(QString(2000, u'x'), QDateTime::currentDateTimeUtc());
    for (auto _ : state)
        benchmark::DoNotOptimize(clipDragMimeData(clip, codec, QString()));
}
BENCHMARK(BM_TextClipDragData)->Unit(benchmark::kMicrosecond)->UseRealTime();

struct DropFixture
{
    QTemporaryDir dir;
    QMimeData data;

    DropFixture()
    {
        QByteArray uris;
        QString paths;
        for (int i = 0; i < 20; ++i) {
            const QString path = dir.filePath(QStringLiteral("Photo %1.png").arg(i));
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(i == 0 ? screenshot() : screenshotPng(i));
            uris += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
            paths += path + QLatin1Char('\n');
        }
        // As a file manager offers them: the URI list and the paths as text.
        data.setData(QStringLiteral("text/uri-list"), uris);
        data.setData(QStringLiteral("text/plain"), paths.toUtf8());
    }
};

void BM_DropOf20FilesCascade(benchmark::State &state)
{
    DropFixture fixture;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const PasteboardCaptures captures = droppedCaptures(dropItemProviders(fixture.data));
        if (captures.size() != 20)
            state.SkipWithError("expected 20 captures");
        bytes = 0;
        for (const PasteboardCapture &capture : captures)
            bytes += capture.imageBytes().size();
    }
    state.SetLabel(QStringLiteral("%1 MB read per drop").arg(bytes / (1024 * 1024)).toStdString());
}
BENCHMARK(BM_DropOf20FilesCascade)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DropOf20FilesReaderBaseline(benchmark::State &state)
{
    DropFixture fixture;
    for (auto _ : state) {
        // The reader's general file pass reads all twenty, one capture each.
        const PasteboardCaptures captures = readCaptures(MimeDataPasteboard::borrowing(fixture.data));
        if (captures.size() != 20)
            state.SkipWithError("expected 20 captures");
    }
}
BENCHMARK(BM_DropOf20FilesReaderBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
