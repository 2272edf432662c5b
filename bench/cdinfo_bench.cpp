// A start and close of the main window as the disc cache sees them: the listed disc's
// titles are loaded, then saved, in a cache of many discs. Against: reading the file once.
// The cache is the one in $XDG_CONFIG_HOME (bench/cdinfo.sh writes it).
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

QString DiscId()
{
    const QByteArray id = qgetenv("CDINFO_BENCH_DISC");
    return id.isEmpty() ? QStringLiteral("50000") : QString::fromLatin1(id);
}

void BM_LoadAndSave(benchmark::State& state)
{
    const QString id = DiscId();
    for (auto _ : state) {
        const bool known = LoadCDInfo(id);
        benchmark::DoNotOptimize(known);
        OptionsSetting.CDInfo.Titles[1] = QStringLiteral("改过的标题");
        if (!SaveCDInfo(id))
            state.SkipWithError("the cache could not be written");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFile(CDInfoFileName()).size());
}
BENCHMARK(BM_LoadAndSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Load(benchmark::State& state)
{
    const QString id = DiscId();
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadCDInfo(id));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadFile(benchmark::State& state)
{
    for (auto _ : state) {
        QFile f(CDInfoFileName());
        if (!f.open(QIODevice::ReadOnly))
            state.SkipWithError("no cache");
        const QByteArray bytes = f.readAll();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFile(CDInfoFileName()).size());
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
