// The rip job's encode side: a ripped track handed to a free worker, encoded, tagged, and
// its outcome handed back in track order.
#include "jobs/CDRipJob.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/EncoderOutput.h"
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

void TCDRipJob::Encode(TEncodeWorker& worker, int task)
{
    const int index = EntryOf(task);
    const int slot = SlotOf(task);
    const int format = FFormats[slot];
    worker.Index = task;
    worker.Row.Track = Title(index);
    // With several formats the row tells which one the worker makes.
    if (FFormats.size() > 1) worker.Row.Track += QStringLiteral(" [") + QLatin1String(OutputFormats[size_t(format)].Word) + QLatin1Char(']');
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
    const QString out = slot == 0 ? OutputName(index) : FSlotFinal.value(task);
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    TEncodeRequest request;
    request.Wav = EncodeInput(index);
    request.Output = out;
    request.Kind = RipJobKind;
    request.Tagged = true;
    request.Tags = {entry.Title, entry.TrackNumber, FDiscTracks};
    request.Settings = FSettingsCopy;
    request.BeforeCommit = TagWriter(index, out);
    FTimer1.start();   // the estimate of an encoder with no progress reports (it stops itself)
    worker.StartEncoder(format, task, request);
}

void TCDRipJob::WorkerProgress(const TProcessInfo& info)
{
    if (FDone) return;
    // The step view follows the encoder while nothing is read; the times stay the job's.
    if (!FRip) {
        const QString estimate = FStepView.Label2;
        ShowStepProgress(info);
        FStepView.Label1 = MinutesSeconds(FJobClock.elapsed() / 1000);
        FStepView.Label2 = estimate;
    }
    UpdateView();
    Changed();
}

// The worker's encoder has ended, well or not.
void TCDRipJob::EncodeEnd(TEncodeWorker& worker, const TProcessInfo& info)
{
    const int task = worker.Index;
    const TPipelineRow row = worker.Row;
    const TEncodeOutcome outcome = worker.Finish(info);
    if (outcome.Failure.isEmpty() && row.Percent < 100) {
        // A whole file's row shows it done before the worker goes idle, whether or not the
        // encoder's last report came before its end.
        const TPipelineRow idle = worker.Row;
        worker.Row = row;
        worker.Row.Percent = 100;
        UpdateView();
        Changed();
        worker.Row = idle;
        if (FDone) return;   // stopped from the view's handler
    }
    TaskEnded(task, outcome.Failure, outcome.Message);
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
        const int task = FPipeline.Take();
        if (task < 0) break;
        Encode(*worker, task);
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
