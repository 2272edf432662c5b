// Encoding PCM into Ogg Vorbis through TVorbisOut and decoding it through TVorbisIn, on
// files named by the environment (bench/vorbis.sh sets them and times the peer tools on
// the same files):
//   VARNELCD_BENCH_PCM   16-bit stereo 44100 Hz raw PCM to encode
//   VARNELCD_BENCH_OGG   Ogg Vorbis file to decode
//   VARNELCD_BENCH_OUT   folder for the outputs
// The PCM is read by the raw reader of the test fixtures; there is no WAV reader yet.
#include "audio/AuFileStream.h"
#include "audio/VorbisIn.h"
#include "audio/VorbisOut.h"
#include "fixtures/AuTestComponents.cpp"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

QString Env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

void BM_VorbisEncode(benchmark::State& state)
{
    for (auto _ : state) {
        TAuRawFileIn in;
        in.SetRawFormat(16, 2, 44100);
        in.SetFileName(Env("VARNELCD_BENCH_PCM"));
        TVorbisOut out;
        out.SetInput(&in);
        out.SetCompression(0.5f);
        out.SetFileName(Env("VARNELCD_BENCH_OUT") + "/ours.ogg");
        out.Run();
        PumpUntil([&] { return !out.Busy(); }, 600000);
        if (!out.ExceptionMessage().isEmpty())
            state.SkipWithError(out.ExceptionMessage().toStdString().c_str());
    }
}
BENCHMARK(BM_VorbisEncode)->Iterations(1)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_VorbisDecode(benchmark::State& state)
{
    for (auto _ : state) {
        TVorbisIn in;
        in.SetFileName(Env("VARNELCD_BENCH_OGG"));
        TAuFileStream out(Env("VARNELCD_BENCH_OUT") + "/ours.raw", TAuFileStream::fmCreate);
        in.Init();
        for (;;) {
            void* data = nullptr;
            uint32_t bytes = 65536;
            in.GetData(data, bytes);
            if (bytes == 0)
                break;
            out.Write(data, bytes);
        }
        in.Flush();
    }
}
BENCHMARK(BM_VorbisDecode)->Iterations(1)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
