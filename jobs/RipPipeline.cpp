#include "jobs/RipPipeline.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/JobEntry.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "platform/OutputFile.h"
#include "settings/Global.h"
#include "settings/Lang.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cmath>

TEncodeWorker::TEncodeWorker(int number, TPrompter* prompter, TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
{
    FStep = std::make_unique<TEncodeStep>(this, prompter, mp3, wma);
    Row.Name = QStringLiteral("w%1").arg(number);
    Row.Stage = LangString(QStringLiteral("RES_Stage_Idle"), QStringLiteral("空闲"));
}

TEncodeWorker::~TEncodeWorker()
{
    Abort();
}

void TEncodeWorker::Abort()
{
    // The writers and encoders remove what they had begun; a part file a finished encoder
    // left for the job to commit goes too. A file under the final name is never touched.
    FStep->StopAll();
    if (!Output.isEmpty()) DiscardPart(PartPathOf(Output));
    Output.clear();
    FEncoder.reset();
    Index = -1;
    Row.Track.clear();
    Row.Stage = LangString(QStringLiteral("RES_Stage_Idle"), QStringLiteral("空闲"));
    Row.Percent = 0;
}

bool TEncodeWorker::event(QEvent* e)
{
    if (e->type() != ProgressInfoEventType) return QObject::event(e);
    auto* pe = static_cast<TProcessInfoEvent*>(e);
    // What a stopped run still had queued is not this entry's.
    if (!pe->Info || Index < 0) return true;
    const TProcessInfo& info = *pe->Info;
    if (info.Percent == FEndCode) {
        if (OnEnd) OnEnd(*this, info);
    } else if (info.Percent >= 0 && info.Percent <= 100) {
        ProgressSeen = true;
        WmaStart.invalidate();   // the encoder reports itself
        Row.Percent = info.Percent;
        if (OnProgress) OnProgress(*this, info);
    }
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

TWmaTick TickWmaWorkers(std::vector<std::unique_ptr<TEncodeWorker>>& workers, int sizeRatio)
{
    TWmaTick tick;
    for (auto& worker : workers) {
        if (!worker->Estimating()) continue;
        tick.Busy = true;
        const int64_t elapsed = std::llround(double(worker->WmaStart.elapsed()) / 1000.0);
        const int64_t total = WmaEstimatedTotal(elapsed, worker->WmaInputSize,
                                                std::max<int64_t>(FileSizeOf(worker->EstimatedFile()), 0), sizeRatio);
        if (total <= 0) continue;
        const int percent = int(std::llround(double(elapsed) * 100.0 / double(total)));
        if (percent > worker->Row.Percent) {
            worker->Row.Percent = percent;
            tick.Changed = true;
        }
    }
    return tick;
}

void TEncodeWorker::StartEncoder(int format, int index, const TEncodeRequest& request)
{
    FEndCode = EncoderEndCode(format);
    FEncoder = MakeEncoder(format, *FStep);
    if (!FEncoder) {
        PostEnd(FEndCode, StreamFailed, request.Output + QStringLiteral(": ") + LangString(QStringLiteral("RES_No_Encoder"), QStringLiteral("没有编码器能生成这种格式")));
        return;
    }
    WmaStart.start();
    WmaInputSize = FileSizeOf(request.Wav);
    // Whatever the encoder begins is its part file: it goes if the worker is aborted.
    Output = request.Output;
    try {
        FEncoder->Start(request);
        // A process that refused to start wrote nothing.
        if (Index != index || !FEncoder->Running()) Output.clear();
    } catch (const std::exception& e) {
        Output.clear();
        PostEnd(FEndCode, StreamFailed, request.Output + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}

TEncodeOutcome TEncodeWorker::Finish(const TProcessInfo& end)
{
    TEncodeOutcome outcome;
    if (FEncoder) {
        outcome = FEncoder->Outcome(end, ProgressSeen);
    } else if (end.ErrorCode != 0) {
        outcome.Failure = outcome.Message = end.ElapsedText;
    }
    FEncoder.reset();
    Output.clear();
    Index = -1;
    WmaStart.invalidate();
    Row.Track.clear();
    Row.Stage = LangString(QStringLiteral("RES_Stage_Idle"), QStringLiteral("空闲"));
    Row.Percent = 0;
    return outcome;
}

bool TEncodeWorker::Estimating() const
{
    return Index >= 0 && FEncoder && FEncoder->Estimated() && WmaStart.isValid();
}

QString TEncodeWorker::EstimatedFile() const
{
    return FEncoder ? FEncoder->WrittenFile() : QString();
}
