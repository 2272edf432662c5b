// The rip job's reading side: the reader rips and checks each track in turn; a track to be
// encoded waits for a free worker, and the reader reads on while the pipeline lets it (with
// one worker only once the encode has ended). Outcomes are handed back in track order.
#include "jobs/CDRipJob.h"

#include "encode/EncoderOutput.h"

#include "cd/DiscReader.h"
#include "audio/WaveIn.h"
#include "cd/RipAudit.h"
#include "encode/FlacRip.h"
#include "encode/RipCover.h"
#include "jobs/RipProof.h"
#include "metadata/TagWriters.h"
#include "platform/OutputFile.h"
#include "settings/FileNamePattern.h"
#include "settings/Global.h"
#include "settings/Lang.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>

namespace {

constexpr int TimerIntervalMs = 1000;

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

TCDRipJob::TCDRipJob(TDiscSource& disc, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3,
                     TWMAEncodeProcess* wma, std::shared_ptr<const TOptionsSetting> settings, QObject* parent)
    : TJobBase(entries, prompter, std::move(settings), parent), FDisc(disc)
{
    const TCommonOptions& common = FSettings.CommonOptions;
    FFormat = common.OutputFormat;
    // A format the job does not know would never finish: such a job rips to WAV.
    if (!IsOutputFormat(FFormat)) FFormat = FormatWav;

    // File titles: a title already used in this job, or an empty one, is replaced by the
    // whole entry text, so no entry's row reads like another's.
    QSet<QString> used;
    for (const QString& entry : FEntries) {
        QString title = ParseRipEntry(entry).Title;
        if (title.isEmpty() || used.contains(title.toLower())) title = entry;
        used.insert(title.toLower());
        FTitles.append(title);
    }
    // Output paths below the output folder, named by the pattern (by the titles when there
    // is none), each unique within the job.
    QSet<QString> usedPaths;
    for (const QString& entry : FEntries) {
        TFileNameTags tags = RipEntryTags(entry, FSettings.CDInfo);
        tags.Format = QLatin1String(OutputFormats[size_t(FFormat)].Word);
        FPaths.append(PatternRelativePath(common.FileNamePattern, tags, FormatExtension(FFormat), usedPaths));
    }
    SetUpFormats(usedPaths);
    FDiscTracks = FDisc.Tracks();
    FTagExtras.CDText = FDisc.CDText();
    const TCoverImage cover = RipCover(FSettings);
    FTagExtras.Cover = cover.Bytes;
    FTagExtras.CoverMime = cover.Mime;

    const int jobs = TRipPipeline::ResolveJobs(common.Jobs);
    FPipeline.Reset(jobs);
    for (int i = 0; i < jobs; ++i) {
        // The first worker uses the processes it was given; the others have their own.
        FWorkers.push_back(std::make_unique<TEncodeWorker>(i + 1, prompter, i == 0 ? mp3 : nullptr, i == 0 ? wma : nullptr));
        FWorkers.back()->OnEnd = [this](TEncodeWorker& w, const TProcessInfo& info) {
            if (!FDone) EncodeEnd(w, info);
        };
        FWorkers.back()->OnProgress = [this](TEncodeWorker&, const TProcessInfo& info) { WorkerProgress(info); };
    }
    FReaderRow.Name = QStringLiteral("rip");
    FReaderRow.Stage = Res("RES_Stage_Idle", QStringLiteral("空闲"));
    FTimer1.setInterval(TimerIntervalMs);
    connect(&FTimer1, &QTimer::timeout, this, &TCDRipJob::WmaTick);

    FCue = FFormat == FormatFlac && FSettings.FlacOptions.Cuesheet;
    if (FCue)
        FCueFile = OutputFilePath(common.OutputFolder, FlacDiscFileName(FSettings.CDInfo, FPaths.value(0)));

    FOnProduced = FolderCoverWriter(prompter, FSettings);
    FView.OutputFormat = QLatin1String(OutputFormats[FFormat].Name);
    FView.SelectedTracks = int(FEntries.size());
    FStepView.Label3 = Res("RES_Initing", QStringLiteral("正在初始化..."));
    UpdateView();
}

TCDRipJob::~TCDRipJob()
{
    Close();
}

QString TCDRipJob::WavName(int i) const
{
    return OutputFilePath(FSettings.CommonOptions.OutputFolder, ChangeFileExt(FPaths.value(i), QStringLiteral(".wav")));
}

QString TCDRipJob::EncodedName(int i) const
{
    return ChangeFileExt(WavName(i), FormatExtension(FFormat));
}

QString TCDRipJob::RipFile(int i) const
{
    return PartPathOf(FFormat == FormatWav ? FFinal.value(i, WavName(i)) : WavName(i));
}

QString TCDRipJob::OutputName(int i) const
{
    if (FCue) return FCueFile;
    return FFinal.value(i, FFormat == FormatWav ? WavName(i) : EncodedName(i));
}

void TCDRipJob::SetCaption(const QString& prefix, int number, int index)
{
    FStepView.Caption = prefix + TwoDigits(number) + QLatin1Char('/') + TwoDigits(int(FEntries.size()))
                        + QStringLiteral("): ") + Title(index);
}

void TCDRipJob::SetGroup(const QString& key, const QString& builtIn)
{
    FStepView.GroupCaption = LangString(key, builtIn);
}

// ---- steps --------------------------------------------------------------------------

void TCDRipJob::Start()
{
    FJobClock.start();
    FCount = 0;
    FPipeline.Reset(int(FWorkers.size()));
    if (FEntries.isEmpty()) {
        Complete();
        return;
    }
    // The whole-disc file is one output for every entry.
    if (FCue && !ClaimSharedOutput(FCueFile)) {
        Complete();
        return;
    }
    FAudit = new TRipAudit(FPrompter, FSettingsCopy, this);
    FDisc.BeginAudit(*FAudit);
    FAudit->SetSelected(int(FEntries.size()));
    NoteHiddenAudio();
    FProof = new TRipProof(FSettings, this);
    if (FAudit->Begun()) FProof->Begin(FAudit->Disc());
    // A whole-disc file is one stream: no track of it can be read again.
    const QString strategy = RipAuditSettings().Strategy.isEmpty() ? FSettings.CDOptions.Strategy : RipAuditSettings().Strategy;
    FBurst = strategy == QLatin1String("burst") && !FCue && FAudit->Begun();
    if (FBurst) {
        FAudit->SetBurst();
        FProof->LookUpEarly();
    }
    // A stopped job closes at once; its log is written when the job goes.
    FBeforeClose = [this](std::function<void()> resume) {
        return !FStopped && HoldForChecks(std::move(resume));
    };
    StartRip(0);
}

void TCDRipJob::StartRip(int index)
{
    if (FDone) return;
    const TCommonOptions& common = FSettings.CommonOptions;
    FReaderRow.Track = Title(index);
    FReaderRow.Stage = Res("RES_Extracting_Dots", QStringLiteral("正在抓轨..."));
    FReaderRow.Percent = 0;
    FView.GaugeHint = Res("RES_Initing", QStringLiteral("正在初始化..."));
    SetCaption(QStringLiteral("抓取中("), index + 1, index);
    // (The first read is under the window's own caption.)
    if (index > 0) SetGroup(QStringLiteral("RES_Extracting"), QStringLiteral("Extracting"));
    FStepView.Label3 = Res("RES_Initing", QStringLiteral("正在初始化..."));
    FStepView.Label3Visible = true;
    if (!FCue && !FFinal.contains(index)) {
        // The output's name by the Existing rule; an entry whose file is kept is over.
        const QString out = ClaimOutput(index, FFormat == FormatWav ? WavName(index) : EncodedName(index));
        // A rip a killed run left behind is stale whatever happens now.
        if (FFormat != FormatWav) DiscardPart(RipFile(index));
        if (out.isEmpty()) {
            FCount += 1;
            FReaderRow.Track.clear();
            FReaderRow.Stage = Res("RES_Stage_Idle", QStringLiteral("空闲"));
            FPipeline.Finish(index, nullptr);
            QMetaObject::invokeMethod(this, [this] { Next(); }, Qt::QueuedConnection);
            return;
        }
        FFinal[index] = out;
        if (FFormat != FormatWav && common.IsKeepWav) FKeepWav[index] = ClaimExtra(WavName(index));
    }
    ClaimExtraFormats(index);
    // The whole-disc file keeps the WAVs made beside it when asked to.
    if (FCue && common.IsKeepWav && !FKeepWav.contains(index)) FKeepWav[index] = ClaimExtra(WavName(index));
    FResults[index].Output = OutputName(index);

    // The rip thread writes the WAV's part file below the output folder.
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    QString title = QDir(common.OutputFolder).relativeFilePath(FFormat == FormatWav ? OutputName(index) : WavName(index));
    title.chop(4);   // ".wav"
    FRip = std::make_unique<TCDRipThread>(entry.TrackNumber, title);
    FRip->Options = common;
    FRip->Reader = FDisc.NewReader();
    FRip->OwnerWindow = this;
    FRip->ReadOffset = FAudit ? FAudit->Offset() : 0;
    FRip->TestPass = RipAuditSettings().TestPass || FSettings.CDOptions.TestAndCopy;
    if (FBurst) {
        // The burst read without paranoia; a re-read with every check and a test pass.
        const bool reread = FReread.contains(index);
        FRip->Reader->ForceParanoia(reread);
        if (reread) FRip->TestPass = true;
        else FProof->Mark();
    }
    if (FProof && FProof->Active()) {
        TRipProof* proof = FProof;
        FRip->Tap = [proof](int track, const uint8_t* data, size_t bytes) { proof->Add(track, data, bytes); };
        FRip->TapEnd = [proof](int track) { proof->EndTrack(track); };
    }
    if (FSettings.CommonOptions.ReplayGain) FRip->Gain = &FGain;
    if (FCue) {
        // One sink for the whole disc: each track follows the last in its stream.
        if (!FRipSink)
            FRipSink = std::make_unique<TFlacRipSink>(FCueFile, FSettings.FlacOptions.Level,
                                                      FlacDiscComments(FSettings.CDInfo), RipCover(FSettings));
        FRip->Sink = FRipSink.get();
        // The other formats are encoded from the WAV.
        FRip->WriteWav = common.IsKeepWav || FFormats.size() > 1;
    }
    // Only a WAV that is made can be normalized.
    if (!FRip->WriteWav) FRip->Options.IsNormalize = false;
    UpdateView();
    Changed();
    // A stop from a view handler above has freed the thread.
    if (FDone || !FRip) return;
    FRip->Start();
}

// ---- notifications ------------------------------------------------------------------

// The rip thread's events; the workers' reach them.
bool TCDRipJob::event(QEvent* e)
{
    if (e->type() == RipFailedEventType) {
        if (!FDone && FRip) LayoutFailed(static_cast<TRipFailedEvent*>(e)->Reason);
        return true;
    }
    if (e->type() != ProgressInfoEventType) return TJobBase::event(e);
    auto* pe = static_cast<TProcessInfoEvent*>(e);
    if (FDone || !pe->Info || !FRip) return true;
    const TProcessInfo& info = *pe->Info;
    if (info.Percent == ProgressCode::RipFinished) {
        RipFinished(info);
    } else if (info.Percent == ProgressCode::NormalizeBegins) {
        SetCaption(QStringLiteral("规格化("), FCount + 1, FCount);
        FReaderRow.Stage = Res("RES_Normalizing_Dots", QStringLiteral("正在规格化音量..."));
        UpdateView();
        Changed();
    } else if (info.Percent >= 0 && info.Percent <= 100) {
        RipProgress(info);
    }
    return true;
}

void TCDRipJob::RipProgress(const TProcessInfo& info)
{
    FReaderRow.Percent = info.Percent;
    ShowStepProgress(info);
    // The times are the job's: since it started, and its whole estimated length from the
    // share of its entries read so far (a track's own would stay at 00:00 on a fast drive).
    const qint64 elapsed = FJobClock.elapsed();
    const double share = (FCount + info.Percent / 100.0) / std::max<qsizetype>(1, FEntries.size());
    FStepView.Label1 = MinutesSeconds(elapsed / 1000);
    FStepView.Label2 = share > 0 ? MinutesSeconds(qint64(double(elapsed) / share / 1000.0 + 0.5)) : QString();
    UpdateView();
    Changed();
}

void TCDRipJob::ShowStepProgress(const TProcessInfo& info)
{
    FStepView.Label1 = info.ElapsedText;
    FStepView.Label2 = info.TotalText;
    if (info.Percent > 0) {
        FStepView.Label3Visible = false;
        FStepView.PercentTextVisible = true;
        FStepView.Gauge = info.Percent;
    }
}

void TCDRipJob::LayoutFailed(int reason)
{
    const QString text = reason == 1 ? Res("RES_ModifyCDParmsError", QStringLiteral("抓取CD音轨失败！请重新尝试！"))
                                     : Res("RES_ReadTocError", QStringLiteral("读取toc信息出错！"));
    FRip.reset();
    if (FRipSink) FRipSink->Discard();
    FRipSink.reset();
    FReaderRow.Track.clear();
    FReaderRow.Stage = Res("RES_Stage_Idle", QStringLiteral("空闲"));
    if (FCue) DiscardPart(PartPathOf(FCueFile));
    // Nothing more can be read: told once, and every entry not read fails with it.
    const int first = FCount;
    for (int i = first; i < FEntries.size(); ++i)
        FPipeline.Finish(i, [this, i, first, text] {
            if (i == first) FPrompter->ShowError(text);
            Fail(i, text);
        });
    FCount = int(FEntries.size());
    Next();
}

void TCDRipJob::RipFinished(const TProcessInfo& info)
{
    const int index = FCount;
    // A burst copy is judged by the databases' answers: the reader waits for them.
    if (FBurst && !FReread.contains(index) && !(FAudit->LookupEnded() && FProof->EarlyEnded())) {
        QTimer::singleShot(20, this, [this, info] {
            if (!FDone && FRip) RipFinished(info);
        });
        return;
    }
    const QString wavName = FRip->WavFileName();
    const QString part = FRip->PartFileName();
    const QString made = FCue ? OutputName(index) : wavName;
    const QString cause = FRip->WriteFailure();
    // The completion is the thread's last message: it has ended, and is freed.
    TRipLogTrack read = FRip->Result();
    if (const TReplayGainResult* gain = FRip->TrackGain(); gain && info.ErrorCode == RipError::None)
        FTrackGain.insert(index, *gain);
    FRip.reset();
    if (!FCue) FRipSink.reset();
    FCount += 1;
    FReaderRow.Track.clear();
    FReaderRow.Stage = Res("RES_Stage_Idle", QStringLiteral("空闲"));
    FReaderRow.Percent = 0;

    int code = info.ErrorCode;
    if (FBurst && !FReread.contains(index) && (code == RipError::None || code == RipError::ReadFailed)) {
        const bool byAr = code == RipError::None && FAudit->Confirmed(read.Number, read.V1, read.V2);
        const bool byCtdb = code == RipError::None && !byAr && FProof->Confirmed(read.Number);
        if (!byAr && !byCtdb) {
            // The copy is not proven: it goes, and the track is read again.
            DiscardPart(part);
            if (FTrackGain.remove(index) > 0) FGain.DropLastTrack();
            FProof->Rewind();
            FReread[index] = code == RipError::None ? QStringLiteral("no database confirmed the burst copy")
                                                    : QStringLiteral("the burst read failed: ") + read.Failure;
            FCount -= 1;
            StartRip(index);
            return;
        }
        read.Pass = byAr ? QStringLiteral("burst, confirmed by AccurateRip") : QStringLiteral("burst, confirmed by CTDB");
    } else if (FBurst) {
        read.Pass = QStringLiteral("secure re-read with test and copy (%1)").arg(FReread.value(index));
    }
    QString failure;
    switch (code) {
    case RipError::None:
        break;
    case RipError::CreateFailed:
        failure = IsPlainWriteError(cause) ? cause
                  : made + Res("RES_CreateWavFileError", QStringLiteral(" 不是有效文件名。请重命名CD曲目列表中的标题。"))
                        + (cause.isEmpty() ? QString() : QStringLiteral(" (") + cause + QLatin1Char(')'));
        break;
    case RipError::WriteFailed:
        failure = !cause.isEmpty() ? cause : made + QStringLiteral(": ") + Res("RES_WriteWavFileError", QStringLiteral("写入WAV文件时出错！"));
        break;
    case RipError::NormalizeFailed:
        // The WAV keeps its ripped content: the message, then the job goes on with it.
        FPrompter->ShowError(OutputName(index) + QStringLiteral(": ") + Res("RES_NormalizeError", QStringLiteral("音量规格化失败！")));
        code = RipError::None;
        break;
    default:
        failure = TrackReadErrorText(read);
        break;
    }
    if (code == RipError::None && !TestCopyMismatch(read).isEmpty()) {
        failure = TestCopyMismatch(read);
        code = RipError::ReadFailed;
    }
    if (code != RipError::None) {
        // What was read of a failed track is no rip.
        DiscardPart(part);
    } else if (FFormat == FormatWav && !FCue) {
        // A whole rip takes its tags (with tagging on) and its name.
        QString error;
        if (const auto tag = TagWriter(index, OutputName(index))) error = tag(part);
        if (!error.isEmpty()) DiscardPart(part);
        if (error.isEmpty() && !CommitPart(part, OutputName(index), &error)) failure = error;
        if (!error.isEmpty()) failure = error;
    } else if (FCue && FFormats.size() == 1) {
        // The WAV made beside the FLAC file is the kept one.
        KeepOrDiscardRip(index);
    }
    if (!failure.isEmpty()) read.Failure = failure;
    read.FileName = OutputName(index);
    if (FAudit) FAudit->AddTrack(read, OutputName(index));

    if (!failure.isEmpty()) {
        if (FCue) {
            GiveUpCueFile(index, failure);
        } else {
            FPipeline.Finish(index, [this, index, failure] {
                FPrompter->ShowError(failure);
                Fail(index, failure);
            });
        }
        Next();
        return;
    }
    if (FCue && FCount >= FEntries.size()) FinishCueFile();
    if (FCue && FFormats.size() == 1) {
        Next();
        return;
    }
    QueueEncodes(index);
    Next();
}

void TCDRipJob::Next()
{
    if (FDone) return;
    FPipeline.NotePending(BusyWorkers());
    Dispatch();
    if (FDone) return;
    if (FRip) {
        // The reader is busy; the view follows what ended.
    } else if (FCount < FEntries.size()) {
        if (FPipeline.MayRead(BusyWorkers())) {
            StartRip(FCount);
            return;
        }
        FReaderRow.Stage = Res("RES_Stage_Waiting", QStringLiteral("等待中"));
    } else if (BusyWorkers() == 0 && FPipeline.Waiting() == 0) {
        FPipeline.Flush();
        TagAlbumGain();
        WriteRipCueSheet();
        UpdateView();
        Changed();
        Complete();
        return;
    }
    UpdateView();
    Changed();
}

// The window's fields follow the reader while it reads, else the first busy worker; the
// rows show everything.
void TCDRipJob::UpdateView()
{
    const TPipelineRow* main = FRip ? &FReaderRow : nullptr;
    for (const auto& worker : FWorkers)
        if (!main && worker->Busy()) main = &worker->Row;
    if (main) {
        FView.CurrentTrack = main->Track;
        FView.ProgressHint = main->Stage;
        FView.Gauge = main->Percent;
        if (main != &FReaderRow || main->Percent > 0) FView.GaugeHint = main->Stage;
    }
    FView.Completed = FCue ? FCount : FPipeline.Retired();
    FView.Rows.clear();
    FView.Rows.append(FReaderRow);
    for (const auto& worker : FWorkers) FView.Rows.append(worker->Row);
    FStepView.Rows = FWorkers.size() > 1 ? FView.Rows : QVector<TPipelineRow>{};
}

// ---- end ----------------------------------------------------------------------------

void TCDRipJob::StopJob()
{
    if (FDone) return;
    FStopped = true;
    if (FAudit) FAudit->SetStopped();
    if (FProof) FProof->Abort();
    // Nothing unfinished keeps a final name: the stopped rip and an interrupted encoder's
    // output are part files that go, as do rips whose encoding was stopped or had not
    // begun.
    CleanUp();
    FailUnproduced();
    Complete();
}

void TCDRipJob::Close()
{
    if (!FDone && !FCleaned) {
        CleanUp();
        FailUnproduced();
    }
    CleanUp();
    FDone = true;
}

void TCDRipJob::CleanUp()
{
    if (FCleaned) return;
    FCleaned = true;
    FTimer1.stop();
    // The rip thread is stopped (its reader aborted) and waited for; it removes its part file.
    if (FRip) {
        const QString part = FRip->PartFileName();
        FRip.reset();
        DiscardPart(part);
    }
    // A sink not finished by now (a track's FLAC file, the whole-disc file) is not whole.
    if (FRipSink) FRipSink->Discard();
    FRipSink.reset();
    if (FCue) DiscardPart(PartPathOf(FCueFile));
    for (auto& worker : FWorkers) {
        worker->Abort();
        worker->Step().WaveIn1().SetFileName(QString());
    }
    // Rips that were waiting for an encoder are work files: they go with the job.
    if (FFormat != FormatWav)
        for (int i = 0; i < FEntries.size(); ++i) DiscardPart(PartPathOf(WavName(i)));
}

void TCDRipJob::KeepOrDiscardRip(int index)
{
    const QString rip = PartPathOf(WavName(index));
    const QString keep = FKeepWav.value(index);
    if (keep.isEmpty()) {
        DiscardPart(rip);
        return;
    }
    QString error;
    if (!CommitPart(rip, keep, &error)) FPrompter->ShowError(error);
}
