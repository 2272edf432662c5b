// An MP3 encode through TMp3EncodeProcess (child process, output read and parsed on the
// main thread, notifications to an owner) against lame started directly with the same
// arguments and its output thrown away. Both start a child the same way; the difference
// is what the process object adds.
#include "encode/Mp3EncodeProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

QString InputWav() { return QString::fromLocal8Bit(std::getenv("MP3ENCODE_WAV")); }
QString OutputMp3() { return InputWav() + QStringLiteral(".bench.mp3"); }

class TEndWaiter : public QObject {
public:
    QEventLoop Loop;
    int Reports = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != ProgressInfoEventType) return QObject::event(e);
        const int percent = static_cast<TProcessInfoEvent*>(e)->Info->Percent;
        if (percent == ProgressCode::Mp3EncoderEnd) Loop.quit();
        else ++Reports;
        return true;
    }
};

void BM_ProcessObject(benchmark::State& state)
{
    TMp3EncodeProcess process;
    for (auto _ : state) {
        TEndWaiter waiter;
        process.Active = true;
        process.InputFile = InputWav();
        process.OutputFile = OutputMp3();
        process.OwnerWindow = &waiter;
        process.Encode = true;
        process.Kind = 1;   // overwrites without a question
        process.Start();
        waiter.Loop.exec();
        process.Stop(0);
        if (waiter.Reports == 0) state.SkipWithError("no progress was reported");
    }
}

void BM_LameDirect(benchmark::State& state)
{
    const QStringList args = TMp3EncodeProcess::EncodeArguments(TMp3Options{}, InputWav(), OutputMp3());
    const QString lame = TMp3EncodeProcess().Program();
    for (auto _ : state) {
        QProcess p;
        p.setStandardInputFile(QProcess::nullDevice());
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(lame, args);
        if (!p.waitForFinished(-1) || p.exitCode() != 0) state.SkipWithError("lame failed");
    }
}

// Single runs, repeated; the script interleaves the repetitions of the two so that load
// from elsewhere falls on both alike, and compares the medians.
BENCHMARK(BM_ProcessObject)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);
BENCHMARK(BM_LameDirect)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (InputWav().isEmpty()) {
        std::fprintf(stderr, "mp3encode_bench: set MP3ENCODE_WAV to a WAV file\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
