// The history store's add on a full history of large image clips: with no match the length test
// must make the scan nearly free; a match against the last clip pays one full byte comparison.
#include "model/ClipboardHistoryViewModel.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/ManualRuntime.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstring>

using namespace tarno;

namespace {

constexpr qsizetype imageBytes = 5 * 1024 * 1024;

// Distinct lengths around 5 MB, filled so no two buffers share storage.
QByteArray imagePayload(int index)
{
    QByteArray bytes(imageBytes + index * 97, char('a' + index % 26));
    bytes[0] = char(index);
    return bytes;
}

QList<ClipboardItem> fullHistory(ManualRuntime &runtime)
{
    QList<ClipboardItem> items;
    for (int i = 0; i < ClipboardHistoryViewModel::maxItems; ++i)
        items.append(ClipboardItem::makeImage(imagePayload(i), runtime.now()));
    return items;
}

void BM_AddImageWithoutMatch(benchmark::State &state)
{
    ManualRuntime runtime;
    FakeImageCodec codec;
    ClipboardHistoryViewModel store(runtime, codec);
    const QList<ClipboardItem> history = fullHistory(runtime);
    const QByteArray fresh = imagePayload(1000);
    for (auto _ : state) {
        state.PauseTiming();
        store.setItems(history);
        ClipboardItem item = ClipboardItem::makeImage(fresh, runtime.now());
        state.ResumeTiming();
        store.add(std::move(item));
    }
}
BENCHMARK(BM_AddImageWithoutMatch)->Unit(benchmark::kMicrosecond);

void BM_AddImageMatchingTheLast(benchmark::State &state)
{
    ManualRuntime runtime;
    FakeImageCodec codec;
    ClipboardHistoryViewModel store(runtime, codec);
    const QList<ClipboardItem> history = fullHistory(runtime);
    // Equal bytes in a buffer of its own, so the comparison really reads all of them.
    const QByteArray same(history.last().imageData->constData(), history.last().imageData->size());
    for (auto _ : state) {
        state.PauseTiming();
        store.setItems(history);
        ClipboardItem item = ClipboardItem::makeImage(same, runtime.now());
        state.ResumeTiming();
        store.add(std::move(item));
    }
}
BENCHMARK(BM_AddImageMatchingTheLast)->Unit(benchmark::kMicrosecond);

// Baseline for the matching case: one comparison of two separate 5 MB buffers.
void BM_BaselineCompareFiveMegabytes(benchmark::State &state)
{
    const QByteArray a = imagePayload(49);
    const QByteArray b(a.constData(), a.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memcmp(a.constData(), b.constData(), a.size()));
}
BENCHMARK(BM_BaselineCompareFiveMegabytes)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
