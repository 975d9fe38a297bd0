// The image codec on a 2880 × 1800 screenshot-like picture: pngData from PNG and from TIFF, and
// imageAspectRatio of the PNG (header only). The baseline is ImageMagick's `convert` doing the same
// conversions in the same run; its process start is taken out by timing, in every iteration, a
// convert of a 1 × 1 PNG right before the real one and subtracting it (manual time).
#include "bench/support/ScreenshotImage.h"
#include "model/ClipboardItem.h"
#include "platform/qt/QtImageCodec.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

using namespace tarno;

namespace {

struct Fixture
{
    QByteArray png = bench::screenshotLikePng();
    QByteArray tiff = bench::screenshotLikeTiff();
    QTemporaryDir folder;
    QByteArray pngFile = QFile::encodeName(folder.filePath("screenshot.png"));
    QByteArray tiffFile = QFile::encodeName(folder.filePath("screenshot.tiff"));
    QByteArray tinyFile = QFile::encodeName(folder.filePath("tiny.png"));
    QByteArray outFile = QFile::encodeName(folder.filePath("out.png"));

    Fixture()
    {
        write(pngFile, png);
        write(tiffFile, tiff);
        QImage tiny(1, 1, QImage::Format_RGB32);
        tiny.fill(Qt::white);
        tiny.save(QFile::decodeName(tinyFile), "PNG");
    }

    static void write(const QByteArray &path, const QByteArray &bytes)
    {
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", path.constData());
    }
};

const Fixture &fixture()
{
    static const Fixture instance;
    return instance;
}

// `convert input output`, waited for; the wall time it took.
std::chrono::duration<double> convert(const QByteArray &input, const QByteArray &output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char *arguments[] = {"convert", input.constData(), output.constData(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, "convert", &actions, nullptr, const_cast<char *const *>(arguments), environ) == 0)
        waitpid(pid, &status, 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
        qFatal("convert %s failed: is ImageMagick installed?", input.constData());
    return elapsed;
}

void BM_PngDataFromPng(benchmark::State &state)
{
    const QtImageCodec codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(pngData(codec, fixture().png));
}

void BM_PngDataFromTiff(benchmark::State &state)
{
    const QtImageCodec codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(pngData(codec, fixture().tiff));
}

void BM_ImageAspectRatio(benchmark::State &state)
{
    const QtImageCodec codec;
    const ClipboardItem item = ClipboardItem::makeImage(fixture().png, QDateTime::currentDateTimeUtc());
    for (auto _ : state)
        benchmark::DoNotOptimize(item.imageAspectRatio(codec));
}

// Baseline: ImageMagick's own conversion, less the cost of starting it.
void convertLessStart(benchmark::State &state, const QByteArray &input)
{
    for (auto _ : state) {
        const auto start = convert(fixture().tinyFile, fixture().outFile);
        const auto whole = convert(input, fixture().outFile);
        state.SetIterationTime(std::max(0.0, (whole - start).count()));
    }
}

void BM_ConvertPngLessStart(benchmark::State &state)
{
    convertLessStart(state, fixture().pngFile);
}

void BM_ConvertTiffLessStart(benchmark::State &state)
{
    convertLessStart(state, fixture().tiffFile);
}

// What was subtracted above: starting convert and converting a 1 × 1 image.
void BM_ConvertStartOnly(benchmark::State &state)
{
    for (auto _ : state)
        state.SetIterationTime(convert(fixture().tinyFile, fixture().outFile).count());
}

// Several short repetitions, reported as mean, median and spread: the machine is shared.
void measuredHere(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->Iterations(3);
    benchmark->UseRealTime();
}

void measuredByHand(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->Iterations(3);
    benchmark->UseManualTime();
}

} // namespace

BENCHMARK(BM_PngDataFromPng)->Apply(measuredHere);
BENCHMARK(BM_PngDataFromTiff)->Apply(measuredHere);
BENCHMARK(BM_ConvertPngLessStart)->Apply(measuredByHand);
BENCHMARK(BM_ConvertTiffLessStart)->Apply(measuredByHand);
BENCHMARK(BM_ConvertStartOnly)->Apply(measuredByHand);
BENCHMARK(BM_ImageAspectRatio)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char **argv)
{
    // The picture is drawn with text, which needs a GUI application; no display is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    fixture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
