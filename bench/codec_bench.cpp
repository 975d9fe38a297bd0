// The image codec on a 2880 × 1800 screenshot-like picture: pngData from PNG and from TIFF, and
// imageAspectRatio of the PNG (header only). The baseline is ImageMagick's `convert` doing the same
// conversions in the same run; its process start is taken out by timing, in every iteration, a
// convert of a 1 × 1 PNG right before the real one and subtracting it (manual time).
//
// Then the PNG encoders the codec could use, on the decoded picture and on a 33-megapixel one
// (7680 × 4320, the picture tiled): Qt's writer at its default and at lower compression, libpng
// driven directly at a fast zlib level with one filter, libspng likewise, and the codec's own writer
// (rows filtered by hand, ISA-L's deflate). Each case reports its PNG's size, in bytes and against Qt's
// default output of the same picture.
#include "bench/support/ScreenshotImage.h"
#include "model/ClipboardItem.h"
#include "platform/qt/PngWriter.h"
#include "platform/qt/QtImageCodec.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <chrono>
#include <csetjmp>
#include <cstring>
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

// --- PNG encoders

const QImage &picture(int which)
{
    static const QImage screenshot = bench::screenshotLikeImage();
    static const QImage large = bench::largeScreenshotLikeImage();
    return which == 0 ? screenshot : large;
}

QByteArray qtWrite(const QImage &image, int compression)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (compression >= 0)
        writer.setCompression(compression);
    if (!writer.write(image))
        qFatal("Qt's PNG writer failed");
    return png;
}

void appendTo(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

// libpng on the RGB32 picture: it drops the filler byte and swaps to RGB itself.
QByteArray libpngWrite(const QImage &image, int level, int filters, int strategy)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        qFatal("libpng failed");
    png_set_write_fn(png, &out, appendTo, flushNothing);
    png_set_compression_level(png, level);
    png_set_compression_strategy(png, strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_set_bgr(png);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libspng takes RGB bytes, so the conversion to them is part of its cost.
QByteArray spngWrite(const QImage &image, int level, int filters)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    spng_ctx *context = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, level);
    spng_set_option(context, SPNG_FILTER_CHOICE, filters);
    spng_ihdr header{};
    header.width = uint32_t(rgb.width());
    header.height = uint32_t(rgb.height());
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(context, &header);
    // libspng wants the rows packed, without Qt's 4-byte alignment.
    std::vector<uchar> packed(size_t(rgb.width()) * 3 * size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(packed.data() + size_t(y) * rgb.width() * 3, rgb.constScanLine(y),
                    size_t(rgb.width()) * 3);
    if (spng_encode_image(context, packed.data(), packed.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
        qFatal("libspng failed");
    size_t length = 0;
    int error = 0;
    void *buffer = spng_get_png_buffer(context, &length, &error);
    QByteArray out(static_cast<const char *>(buffer), qsizetype(length));
    std::free(buffer);
    spng_ctx_free(context);
    return out;
}

// The size of Qt's default output for the picture, the yardstick for every encoder's size.
qsizetype qtDefaultSize(int which)
{
    static const qsizetype sizes[2] = {qtWrite(picture(0), -1).size(), qtWrite(picture(1), -1).size()};
    return sizes[which];
}

template <typename Encode> void encodeCase(benchmark::State &state, Encode encode)
{
    const int which = int(state.range(0));
    const QImage &image = picture(which);
    qtDefaultSize(which);
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray png = encode(image);
        bytes = png.size();
        benchmark::DoNotOptimize(png.constData());
    }
    // A check that every candidate wrote what it should: Qt reads it back as the same pixels.
    const QImage back = QImage::fromData(encode(image), "PNG");
    if (back.convertToFormat(QImage::Format_RGB32) != image)
        state.SkipWithError("the PNG does not read back as the picture");
    state.counters["bytes"] = double(bytes);
    state.counters["vs_qt"] = double(bytes) / double(qtDefaultSize(which));
    state.counters["MP"] = double(image.width()) * image.height() / 1e6;
}

void BM_Qt(benchmark::State &state, int compression)
{
    encodeCase(state, [=](const QImage &image) { return qtWrite(image, compression); });
}

void BM_Libpng(benchmark::State &state, int level, int filters, int strategy)
{
    encodeCase(state, [=](const QImage &image) { return libpngWrite(image, level, filters, strategy); });
}

void BM_Spng(benchmark::State &state, int level, int filters)
{
    encodeCase(state, [=](const QImage &image) { return spngWrite(image, level, filters); });
}

void BM_Writer(benchmark::State &state, int level, PngFilter filter)
{
    encodeCase(state, [=](const QImage &image) { return *writePng(image, {level, filter}); });
}

// The other half of a conversion: Qt's own decode of the picture's PNG.
void BM_QtDecode(benchmark::State &state)
{
    const QByteArray png = qtWrite(picture(int(state.range(0))), -1);
    for (auto _ : state)
        benchmark::DoNotOptimize(QImage::fromData(png, "PNG"));
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

// The screenshot in 3 repetitions of 3 iterations, the 33-megapixel picture in 3 of 1.
void encoderSizes(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();
    benchmark->MeasureProcessCPUTime();
    benchmark->ArgName("picture")->Arg(0)->Arg(1)->Iterations(1);
}

} // namespace

BENCHMARK(BM_QtDecode)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Qt, default, -1)->Apply(encoderSizes);
// Qt takes 0 to 100 and hands zlib about a ninth of it: 20 is level 1, 50 level 4.
BENCHMARK_CAPTURE(BM_Qt, compression20, 20)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Qt, compression50, 50)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z1_sub, 1, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z1_up, 1, PNG_FILTER_UP, Z_DEFAULT_STRATEGY)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z1_none, 1, PNG_FILTER_NONE, Z_DEFAULT_STRATEGY)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z1_all, 1, PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z1_rle_sub, 1, PNG_FILTER_SUB, Z_RLE)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Libpng, z3_sub, 3, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Spng, z1_sub, 1, SPNG_FILTER_CHOICE_SUB)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Spng, z1_up, 1, SPNG_FILTER_CHOICE_UP)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Spng, z1_all, 1, SPNG_FILTER_CHOICE_ALL)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l0_sub, 0, PngFilter::sub)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l1_none, 1, PngFilter::none)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l1_sub, 1, PngFilter::sub)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l1_up, 1, PngFilter::up)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l2_none, 2, PngFilter::none)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l2_sub, 2, PngFilter::sub)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l2_up, 2, PngFilter::up)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l2_paeth, 2, PngFilter::paeth)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l2_adaptive, 2, PngFilter::adaptive)->Apply(encoderSizes);
BENCHMARK_CAPTURE(BM_Writer, l3_sub, 3, PngFilter::sub)->Apply(encoderSizes);

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
