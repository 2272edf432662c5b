// The rip job's encode side: a ripped track handed to a free worker, encoded, tagged, and
// its outcome handed back in track order.
#include "jobs/CDRipJob.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/OggOptions.h"
#include "encode/RipCover.h"
#include "encode/WMAEncodeProcess.h"
#include "metadata/id3.h"
#include "platform/OutputFile.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace {

constexpr int RipJobKind = 1;   // the encoder processes' kind for this job: no overwrite question

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

void TCDRipJob::Encode(TEncodeWorker& worker, int index)
{
    worker.Index = index;
    worker.Row.Track = Title(index);
    worker.Row.Percent = 0;
    worker.Row.Stage = Res("RES_Encoding_Dots", QStringLiteral("正在编码..."));
    worker.ProgressSeen = false;
    if (!FRip) {
        SetCaption(QStringLiteral("编码中("), index + 1, index);
        SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    }
    UpdateView();
    Changed();
    if (FDone) return;   // stopped from the view's handler
    const QString wav = RipFile(index);
    const QString out = OutputName(index);
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    TEncodeRequest request;
    request.Wav = wav;
    request.Output = out;
    request.Kind = RipJobKind;
    request.Tagged = true;
    request.Tags = {entry.Title, entry.TrackNumber, FDiscTracks};
    request.Settings = FSettingsCopy;
    request.BeforeCommit = TagWriter(index, out);
    FTimer1.start();   // the estimate of an encoder with no progress reports (it stops itself)
    worker.StartEncoder(FFormat, index, request);
}

void TCDRipJob::WorkerProgress(const TProcessInfo& info)
{
    if (FDone) return;
    // The step view follows the encoder while nothing is read.
    if (!FRip) ShowStepProgress(info);
    UpdateView();
    Changed();
}

// The worker's encoder has ended, well or not.
void TCDRipJob::EncodeEnd(TEncodeWorker& worker, const TProcessInfo& info)
{
    const int index = worker.Index;
    const QString wav = RipFile(index);
    const TEncodeOutcome outcome = worker.Finish(info);
    const QString why = outcome.Failure;
    const QString message = outcome.Message;
    if (!why.isEmpty()) {
        // The encoders have removed their part files; the rip is kept as a WAV for another
        // try (its name by the Existing rule, whose decision clears the WAV's part-file
        // name: the rip waits under another part name meanwhile).
        if (FKeepWav.contains(index)) {
            KeepOrDiscardRip(index);
        } else {
            const QString aside = PartPathOf(WavName(index) + QStringLiteral(".failed"));
            DiscardPart(aside);
            const QString keep = QFile::rename(wav, aside) ? ClaimExtra(WavName(index)) : QString();
            QString error;
            if (keep.isEmpty()) DiscardPart(aside);
            else if (!CommitPart(aside, keep, &error)) FPrompter->ShowError(error);
            DiscardPart(wav);
        }
        FPipeline.Finish(index, [this, index, why, message] {
            if (!message.isEmpty()) FPrompter->ShowError(message);
            Fail(index, why);
        });
        Next();
        return;
    }
    KeepOrDiscardRip(index);
    FPipeline.Finish(index, [this, index] { Succeed(index); });
    Next();
}

int TCDRipJob::BusyWorkers() const
{
    return int(std::count_if(FWorkers.begin(), FWorkers.end(), [](const auto& w) { return w->Busy(); }));
}

void TCDRipJob::Dispatch()
{
    for (auto& worker : FWorkers) {
        if (FDone) return;
        if (worker->Busy()) continue;
        const int index = FPipeline.Take();
        if (index < 0) break;
        Encode(*worker, index);
    }
}

void TCDRipJob::WmaTick()
{
    const TWmaTick tick = TickWmaWorkers(FWorkers, WMASizeRatio(FSettings));
    if (!tick.Busy) FTimer1.stop();
    if (tick.Changed) {
        for (const auto& worker : FWorkers)
            if (!FRip && worker->Busy() && worker->Row.Percent > FStepView.Gauge) {
                FStepView.Label3Visible = false;
                FStepView.PercentTextVisible = true;
                FStepView.Gauge = worker->Row.Percent;
            }
        UpdateView();
        Changed();
    }
}
