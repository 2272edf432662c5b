#include "jobs/RipPipeline.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/JobEntry.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "platform/OutputFile.h"
#include "settings/Global.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cmath>

TEncodeWorker::TEncodeWorker(int number, TPrompter* prompter, TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
{
    FStep = std::make_unique<TEncodeStep>(this, prompter, mp3, wma);
    Row.Name = QStringLiteral("w%1").arg(number);
    Row.Stage = QStringLiteral("idle");
}

TEncodeWorker::~TEncodeWorker()
{
    Abort();
}

void TEncodeWorker::Abort()
{
    ++FRun;
    if (FFirst) {
        FFirst->wait();
        FFirst.reset();
    }
    // The writers and encoders remove what they had begun; a part file a finished encoder
    // left for the job to commit goes too. A file under the final name is never touched.
    FStep->StopAll();
    if (!Output.isEmpty()) DiscardPart(PartPathOf(Output));
    Output.clear();
    Index = -1;
    Row.Track.clear();
    Row.Stage = QStringLiteral("idle");
    Row.Percent = 0;
}

void TEncodeWorker::RunFirst(std::function<QString()> work, std::function<void(const QString&)> then)
{
    const quint64 run = ++FRun;
    FFirst.reset(QThread::create([this, run, work = std::move(work), then = std::move(then)] {
        const QString error = work();
        QMetaObject::invokeMethod(this, [this, run, error, then] {
            if (run != FRun) return;
            if (FFirst) FFirst->wait();
            FFirst.reset();
            then(error);
        }, Qt::QueuedConnection);
    }));
    FFirst->start();
}

bool TEncodeWorker::event(QEvent* e)
{
    if (e->type() != ProgressInfoEventType) return QObject::event(e);
    auto* pe = static_cast<TProcessInfoEvent*>(e);
    // What a stopped run still had queued is not this entry's.
    if (pe->Info && Index >= 0 && OnInfo) OnInfo(*this, *pe->Info);
    return true;
}

int TRipPipeline::ResolveJobs(int setting)
{
    return setting > 0 ? setting : std::max(1, QThread::idealThreadCount());
}

void TRipPipeline::Reset(int jobs)
{
    FJobs = std::max(1, jobs);
    FWaiting.clear();
    FMaxPending = 0;
    FRetired = 0;
    FOutcomes.clear();
}

void TRipPipeline::Ripped(int index)
{
    FWaiting.push_back(index);
}

int TRipPipeline::Take()
{
    if (FWaiting.empty()) return -1;
    const int index = FWaiting.front();
    FWaiting.pop_front();
    return index;
}

bool TRipPipeline::MayRead(int busy) const
{
    const int pending = Waiting() + busy;
    return FJobs == 1 ? pending == 0 : pending < FJobs + 1;
}

void TRipPipeline::NotePending(int busy)
{
    FMaxPending = std::max(FMaxPending, Waiting() + busy);
}

void TRipPipeline::Finish(int index, std::function<void()> outcome)
{
    FOutcomes[index] = std::move(outcome);
    Retire();
}

void TRipPipeline::Retire()
{
    for (auto it = FOutcomes.find(FRetired); it != FOutcomes.end(); it = FOutcomes.find(FRetired)) {
        auto outcome = std::move(it->second);
        FOutcomes.erase(it);
        ++FRetired;
        if (outcome) outcome();
    }
}

void TRipPipeline::Flush()
{
    while (!FOutcomes.empty()) {
        auto it = FOutcomes.begin();
        auto outcome = std::move(it->second);
        FRetired = it->first + 1;
        FOutcomes.erase(it);
        if (outcome) outcome();
    }
}

void TEncodeWorker::PostEnd(int percent, int errorCode, const QString& text)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    info->ErrorCode = errorCode;
    info->ElapsedText = text;
    QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
}

TWmaTick TickWmaWorkers(std::vector<std::unique_ptr<TEncodeWorker>>& workers)
{
    TWmaTick tick;
    for (auto& worker : workers) {
        TEncodeStep& step = worker->Step();
        if (!worker->Busy() || !step.Wma().Active || !worker->WmaStart.isValid()) continue;
        tick.Busy = true;
        const int64_t elapsed = std::llround(double(worker->WmaStart.elapsed()) / 1000.0);
        const int64_t total = WmaEstimatedTotal(elapsed, worker->WmaInputSize,
                                                std::max<int64_t>(FileSizeOf(step.Wma().WrittenFile()), 0), WMASizeRatio());
        if (total <= 0) continue;
        const int percent = int(std::llround(double(elapsed) * 100.0 / double(total)));
        if (percent > worker->Row.Percent) {
            worker->Row.Percent = percent;
            tick.Changed = true;
        }
    }
    return tick;
}

void TEncodeWorker::StartEncoder(int format, int index, const QString& wav, const QString& out, const TEncodeStart& how)
{
    TEncodeStep& step = *FStep;
    try {
        switch (format) {
        case FormatOgg:
            step.WaveIn1().SetFileName(wav);
            if (how.SetUpOgg) how.SetUpOgg(step);
            Output = out;
            step.RunOggAsSet(out);
            break;
        case FormatFlac:
            step.WaveIn1().SetFileName(wav);
            if (how.SetUpFlac) how.SetUpFlac(step);
            Output = out;
            step.RunFlac(&step.WaveIn1(), out);
            break;
        case FormatWma:
            WmaStart.start();
            WmaInputSize = FileSizeOf(wav);
            if (how.WmaStarting) how.WmaStarting();
            step.StartWma(wav, out, how.Kind);
            if (Index == index && step.Wma().Running()) Output = out;
            break;
        default:
            step.StartMp3(wav, out, how.Mp3Encode, how.Kind, how.Mp3BeforeCommit);
            if (step.Mp3().Running()) Output = out;
            break;
        }
    } catch (const std::exception& e) {
        Output.clear();
        PostEnd(EncoderEndCode(format), StreamFailed, out + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}
