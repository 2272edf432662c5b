// The conversion job with workers: the workers take the files straight away. Each entry's messages and result are handed back in entry order, so
// the job ends as the one-step-at-a-time job would.
#include "jobs/ConversionJob.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "cd/CDRipThread.h"
#include "encode/AvIn.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "metadata/id3.h"
#include "platform/OutputFile.h"
#include "settings/FileNamePattern.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "encode/OggOptions.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <stdexcept>
#include <algorithm>
#include <cmath>

namespace {

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

int TConversionJob::PipelineFormat() const
{
    switch (FMode) {
    case WavToOgg: return FormatOgg;
    case WavToWma: return FormatWma;
    case ToOpus: return FormatOpus;
    case ToAac: return FormatAac;
    case ToAlac: return FormatAlac;
    default: return FormatMp3;
    }
}

bool TConversionJob::FilesGoStraight() const
{
    // The one-at-a-time steps judge the first file's bits and every file's rate: the
    // workers take the files only when those steps would encode each one directly.
    for (int i = 0; i < FEntries.size(); ++i) {
        const QString in = FEntries[i];
        // A file the one-step job would refuse is told there, in its turn.
        if (!InputFileProblem(in).isEmpty()) return false;
        // The in-process encoders decode any input themselves.
        if (EncoderMode()) {
            if (!in.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive) && !TAvIn::ProblemOf(in).isEmpty()) return false;
            if (in.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
                TWaveIn wave;
                wave.SetFileName(in);
                if (!wave.Valid()) return false;
            }
            continue;
        }
        if (in.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive)) return false;
        if (FMode == Mp3ToWav) {
            if (!LooksLikeMp3(in)) return false;
            continue;
        }
        TWaveIn wave;
        wave.SetFileName(in);
        if (!wave.Valid()) return false;
        if ((FMode == WavToMp3 || FMode == WavToOgg) && wave.SampleRate() < 44100) return false;
        if (FMode == WavToMp3 && i == 0 && wave.BitsPerSample() > 16) return false;
    }
    return true;
}

void TConversionJob::StartFileWorkers()
{
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    for (int i = 0; i < FEntries.size(); ++i) FPipeline.Ripped(i);
    PipelineNext();
}

void TConversionJob::PipelineNext()
{
    if (FDone) return;
    auto busy = [this] {
        return int(std::count_if(FWorkers.begin(), FWorkers.end(), [](const auto& w) { return w->Busy(); }));
    };
    FPipeline.NotePending(busy());
    for (auto& worker : FWorkers) {
        if (FDone) return;
        if (worker->Busy()) continue;
        const int index = FPipeline.Take();
        if (index < 0) break;
        PipelineEncode(*worker, index);
    }
    if (FDone) return;
    if (busy() == 0 && FPipeline.Waiting() == 0) {
        FPipeline.Flush();
        PipelineRows();
        Changed();
        Complete();
        return;
    }
    PipelineRows();
    Changed();
}

void TConversionJob::PipelineEncode(TEncodeWorker& worker, int index)
{
    const int format = PipelineFormat();
    const QString wav = FEntries.value(index);
    const QString out = Claim(index, OutputOf(index));
    if (out.isEmpty()) {
        // The Existing rule kept the file: the entry is over.
        FPipeline.Finish(index, nullptr);
        QMetaObject::invokeMethod(this, [this] { PipelineNext(); }, Qt::QueuedConnection);
        return;
    }
    FResults[index].Output = out;
    worker.Index = index;
    worker.Output.clear();
    worker.Row.Track = EntryName(index);
    worker.Row.Stage = Res("RES_Encoding_Dots", QStringLiteral("正在编码..."));
    worker.Row.Percent = 0;
    worker.ProgressSeen = false;
    SetCaption(QStringLiteral("编码中("), index + 1, index);
    PipelineRows();
    Changed();
    if (FDone) return;   // stopped from the view's handler
    QString why;
    if (!MakeOutputFolders(OutputFolder(), FPaths.value(index), &why)) {
        worker.PostEnd(EncoderEndCode(format), StreamFailed, out + QStringLiteral(": ") + why);
        return;
    }
    TEncodeRequest request;
    request.Wav = wav;
    request.Output = out;
    request.Kind = FMode;
    request.Decode = FMode == Mp3ToWav;
    request.Settings = FSettingsCopy;
    request.BeforeCommit = CopyTagsFrom(index, out);
    FWorkerTimer.start();   // the estimate of an encoder with no progress reports (it stops itself)
    worker.StartEncoder(format, index, request);
}

// A worker's encoder has ended: the outcome as the one-step rip judges it.
void TConversionJob::PipelineEncodeEnd(TEncodeWorker& worker, const TProcessInfo& info)
{
    const int i = worker.Index;
    const TEncodeOutcome outcome = worker.Finish(info);
    const QString message = outcome.Message;   // shown as an error
    const QString why = outcome.Failure;       // the entry's failure
    FPipeline.Finish(i, [this, i, message, why] {
        if (!message.isEmpty()) FPrompter->ShowError(message);
        if (!why.isEmpty()) {
            Fail(i, why);
            return;
        }
        Succeed(i);
    });
    PipelineNext();
}

void TConversionJob::PipelineRows()
{
    FView.Rows.clear();
    for (const auto& worker : FWorkers) FView.Rows.append(worker->Row);
}

void TConversionJob::PipelineWmaTick()
{
    const TWmaTick tick = TickWmaWorkers(FWorkers, WMASizeRatio(FSettings));
    if (!tick.Busy) FWorkerTimer.stop();
    if (tick.Changed) {
        PipelineRows();
        Changed();
    }
}
