// The rip job's state machine: the reader rips and checks each track in turn; a track to be
// encoded waits for a free worker, and the reader reads on while the pipeline lets it (with
// one worker only once the encode has ended). Outcomes are handed back in track order.
#include "jobs/CDRipJob.h"

#include "audio/AuException.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "cd/CDInput.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "cd/RipAudit.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/RipCover.h"
#include "encode/WMAEncodeProcess.h"
#include "metadata/id3.h"
#include "settings/FileNamePattern.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "encode/OggOptions.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace {

constexpr int TimerIntervalMs = 1000;

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

TCDRipJob::TCDRipJob(TCDIn& cdIn, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3,
                     TWMAEncodeProcess* wma, QObject* parent)
    : TJobBase(entries, prompter, parent), FCDIn(cdIn)
{
    FFormat = OptionsSetting.CommonOptions.OutputFormat;
    // A format the job does not know would never finish: such a job rips to WAV.
    if (!IsOutputFormat(FFormat)) FFormat = FormatWav;

    // File titles: a title already used in this job, or an empty one (a hidden ".wav"),
    // is replaced by the whole entry text, so no entry overwrites another.
    QSet<QString> used;
    for (const QString& entry : FEntries) {
        QString title = ParseRipEntry(entry).Title;
        if (title.isEmpty() || used.contains(title.toLower())) title = entry;
        used.insert(title.toLower());
        FTitles.append(title);
    }
    // Output paths below the output folder, named by the pattern (by the titles above when
    // there is none), each unique within the job.
    QSet<QString> usedPaths;
    for (const QString& entry : FEntries)
        FPaths.append(PatternRelativePath(OptionsSetting.CommonOptions.FileNamePattern,
                                          RipEntryTags(entry, OptionsSetting.CDInfo), FormatExtension(FFormat), usedPaths));

    const int jobs = TRipPipeline::ResolveJobs(OptionsSetting.CommonOptions.Jobs);
    FPipeline.Reset(jobs);
    for (int i = 0; i < jobs; ++i) {
        // The first worker uses the processes it was given; the others have their own.
        FWorkers.push_back(std::make_unique<TEncodeWorker>(i + 1, prompter, i == 0 ? mp3 : nullptr, i == 0 ? wma : nullptr));
        FWorkers.back()->OnInfo = [this](TEncodeWorker& w, const TProcessInfo& info) { WorkerInfo(w, info); };
    }
    FReaderRow.Name = QStringLiteral("rip");
    FReaderRow.Stage = QStringLiteral("idle");
    FWaveOut = std::make_unique<TWaveOut>();
    FWaveOut->SetInput(&FCDIn);
    FWaveOut->SetWavType(wtPCM);
    FWaveOut->SetBlockSize(512);
    FWaveOut->SetFileMode(foRewrite);
    // The rip goes into a part file (removed when the run fails or stops); it becomes the
    // WAV, or is encoded from, once whole.
    FWaveOut->SetWriteAsPart(true);
    FWaveOut->SetOnProgress([this](QObject*) { Post(FWaveOut->Progress()); });
    FWaveOut->SetOnThreadException([this](QObject*) { FWaveError = FWaveOut->ExceptionMessage(); });
    FWaveOut->SetOnDone([this](QObject*) { WaveDone(); });
    FFlacOut = std::make_unique<TFlacOut>();
    FFlacOut->SetInput(&FCDIn);
    FFlacOut->SetWriteAsPart(true);
    FFlacOut->SetOnProgress([this](QObject*) { Post(FFlacOut->Progress()); });
    FFlacOut->SetOnThreadException([this](QObject*) { FWaveError = FFlacOut->ExceptionMessage(); });
    FFlacOut->SetOnDone([this](QObject*) { FlacRipDone(); });

    FTimer1.setInterval(TimerIntervalMs);
    connect(&FTimer1, &QTimer::timeout, this, &TCDRipJob::WmaTick);

    FCue = FFormat == FormatFlac && OptionsSetting.FlacOptions.Cuesheet;
    if (FCue)
        FCueFile = OutputFilePath(OptionsSetting.CommonOptions.OutputFolder,
                                  FlacDiscFileName(OptionsSetting.CDInfo, FPaths.value(0)));
    FFlacOut->SetKeepOpen(FCue);

    FOnProduced = FolderCoverWriter(prompter);
    FView.OutputFormat = QLatin1String(OutputFormats[FFormat].Name);
    FView.SelectedTracks = int(FEntries.size());
    UpdateView();
}

TCDRipJob::~TCDRipJob()
{
    Close();
}

QString TCDRipJob::WavName(int i) const
{
    return OutputFilePath(OptionsSetting.CommonOptions.OutputFolder, ChangeFileExt(FPaths.value(i), QStringLiteral(".wav")));
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
    return FFinal.value(i, FFormat == FormatWav ? WavName(i) : EncodedName(i));
}

void TCDRipJob::Post(int percent, int errorCode, const QString& text)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    info->ErrorCode = errorCode;
    info->ElapsedText = text;
    QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
}

// ---- steps --------------------------------------------------------------------------

void TCDRipJob::Start()
{
    FCount = 0;
    FPipeline.Reset(int(FWorkers.size()));
    FCDIn.Reset();
    FCDIn.SetLockTray(true);
    if (FEntries.isEmpty()) {
        Complete();
        return;
    }
    // The whole-disc file is one output for every entry.
    if (FCue && !ClaimSharedOutput(FCueFile)) {
        Complete();
        return;
    }
    FAudit = new TRipAudit(FPrompter, this);
    BeginAudit(*FAudit, FCDIn);
    // A stopped job closes at once; its log is written when the job goes.
    FBeforeClose = [this](std::function<void()> resume) {
        return !FStopped && FAudit->HoldCompletion(std::move(resume));
    };
    StartRip(0);
}

// The whole track, or its first RipTime seconds; a track shorter than that ends at its
// own end rather than running on into the next one.
void TCDRipJob::SelectTrack(int trackNumber)
{
    const TCDTrackInfo info = FCDIn.Tracks(trackNumber);   // raises for a track not on the disc
    FCDIn.SetStartTrack(trackNumber);
    FCDIn.SetEndTrack(trackNumber);
    const TCommonOptions& common = OptionsSetting.CommonOptions;
    if (common.EnableRipTime) {
        const int64_t trackFrames = (int64_t(info.Minutes) * 60 + info.Seconds) * CD_FRAMES_PER_SECOND + info.Frames;
        const int64_t ripFrames = int64_t(common.RipTime) * CD_FRAMES_PER_SECOND;
        if (ripFrames < trackFrames) {
            FCDIn.SetStartPos(TCDPosition{trackNumber, 0, 0, 0});
            FCDIn.SetEndPos(TCDPosition{trackNumber, uint8_t(common.RipTime / 60), uint8_t(common.RipTime % 60), 0});
        }
    }
}

void TCDRipJob::StartRip(int index)
{
    if (FDone) return;
    FReading = true;
    FReaderRow.Track = Title(index);
    FReaderRow.Stage = Res("RES_Extracting_Dots", QStringLiteral("Extracting..."));
    FReaderRow.Percent = 0;
    FView.GaugeHint = Res("RES_Initing", QStringLiteral("Initializing..."));
    UpdateView();
    Changed();
    if (FDone) return;   // stopped from the view's handler
    const QString wav = WavName(index);
    FResults[index].Output = OutputName(index);
    FWaveError.clear();
    QString why;
    if (!MakeOutputFolders(OptionsSetting.CommonOptions.OutputFolder, FPaths.value(index), &why)) {
        Post(ProgressCode::RipFinished, RipError::CreateFailed, why);
        return;
    }
    if (!FCue && !FTested && !FFinal.contains(index)) {
        // The output's name by the Existing rule; an entry whose file is kept is over.
        const QString out = ClaimOutput(index, FFormat == FormatWav ? wav : EncodedName(index));
        // A rip a killed run left behind is stale whatever happens now.
        if (FFormat != FormatWav) DiscardPart(RipFile(index));
        if (out.isEmpty()) {
            FCount += 1;
            FReading = false;
            FReaderRow.Track.clear();
            FReaderRow.Stage = QStringLiteral("idle");
            FPipeline.Finish(index, nullptr);
            QMetaObject::invokeMethod(this, [this] { Next(); }, Qt::QueuedConnection);
            return;
        }
        FFinal[index] = out;
        if (FFormat != FormatWav && OptionsSetting.CommonOptions.IsKeepWav && !FlacDirect())
            FKeepWav[index] = ClaimExtra(wav);
    }
    // With a test pass the track is read once into a scratch file for its CRC, then copied.
    FTesting = RipAuditSettings().TestPass && !FTested;
    try {
        const TRipEntry entry = ParseRipEntry(FEntries.value(index));
        SelectTrack(entry.TrackNumber);
        if (!FTesting && FCue) {
            FResults[index].Output = FCueFile;
            FFlacOut->SetLevel(OptionsSetting.FlacOptions.Level);
            FFlacOut->SetComments(FlacDiscComments(OptionsSetting.CDInfo));
            FFlacOut->SetCover(RipCover());
            FFlacOut->SetFileName(FCueFile);
            FCueOffsets.push_back(int64_t(FFlacOut->SamplesWritten()));
            FFlacOut->Run();
            return;
        }
        if (!FTesting && FlacDirect()) {
            ApplyFlacOptions(*FFlacOut, entry.Title, entry.TrackNumber, FCDIn.TracksCount());
            FFlacOut->SetFileName(OutputName(index));
            FFlacOut->Run();
            return;
        }
        FWaveOut->SetFileName(FTesting ? TestFile(index) : RipFile(index));
        FWaveOut->Run();
    } catch (const std::exception& e) {
        // The track cannot be read at all: told as a read error, and the job goes on.
        Post(ProgressCode::RipFinished, RipError::ReadFailed, QString::fromUtf8(e.what()));
    }
}

// The writer has ended (main thread): a run ended by an exception is a failed track.
void TCDRipJob::WaveDone()
{
    const QString wav = FWaveOut->FileName();
    if (FTesting) {
        FTesting = false;
        DeleteIfFree(wav);
        if (FWaveError.isEmpty() && !FDone) {
            FTested = true;
            FTestCrc = FCDIn.LastRead().Crc;
            QMetaObject::invokeMethod(this, [this] { StartRip(FCount); }, Qt::QueuedConnection);
            return;
        }
        Post(ProgressCode::RipFinished, RipError::ReadFailed, FWaveError);
        return;
    }
    if (!FWaveError.isEmpty()) {
        // The writer has removed its part file; a file that could not be made names itself.
        QString name = RipFile(FCount);
        name.chop(5);
        const bool created = !FWaveError.startsWith(QDir::toNativeSeparators(name));
        Post(ProgressCode::RipFinished, created ? RipError::ReadFailed : RipError::CreateFailed, FWaveError);
        return;
    }
    const TCommonOptions& common = OptionsSetting.CommonOptions;
    // With several workers the one that encodes the track normalizes it, off this thread.
    if (common.IsNormalize && (FWorkers.size() == 1 || FFormat == FormatWav)) {
        try {
            NormalizeWavFile(common.NormalizePercent, wav);
        } catch (const std::exception&) {
            // The WAV stays as ripped: the message, then the job goes on with it.
            FPrompter->ShowError(OutputName(FCount) + QStringLiteral(": ") + Res("RES_NormalizeError", QStringLiteral("音量规格化失败！")));
        }
    }
    Post(ProgressCode::RipFinished);
}

void TCDRipJob::RipFinished(const TProcessInfo& info)
{
    const int index = FCount;
    const QString wav = FFormat == FormatWav ? OutputName(index) : WavName(index);
    FCount += 1;
    FReading = false;
    FReaderRow.Track.clear();
    FReaderRow.Stage = QStringLiteral("idle");
    FReaderRow.Percent = 0;
    const int track = ParseRipEntry(FEntries.value(index)).TrackNumber;
    TRipLogTrack read = FCDIn.LastRead();
    if (read.Number != track) {
        // The track never began to be read: only its place on the disc is known.
        read = TRipLogTrack{};
        read.Number = track;
        if (FAudit && track >= 1 && track <= FAudit->Disc().Tracks()) {
            const TDiscLayout& disc = FAudit->Disc();
            read.FirstSector = disc.Starts[size_t(track - 1)];
            read.LastSector = (track < disc.Tracks() ? disc.Starts[size_t(track)] : disc.LeadOut) - 1;
        }
    }
    read.Read = info.ErrorCode == RipError::None;
    read.Tested = FTested;
    read.TestCrc = FTestCrc;
    FTested = false;
    const QString mismatch = TestCopyMismatch(read);
    if (info.ErrorCode != RipError::None || !mismatch.isEmpty()) {
        // A short or padded WAV is no rip: it goes, and nothing is encoded from it.
        const QString why = !mismatch.isEmpty() ? mismatch
                            : IsPlainWriteError(info.ElapsedText) ? info.ElapsedText
                            : info.ErrorCode == RipError::CreateFailed
                                ? wav + Res("RES_CreateWavFileError", QStringLiteral(" 不是有效文件名。请重命名CD曲目列表中的标题。"))
                                      + (info.ElapsedText.isEmpty() ? QString() : QStringLiteral(" (") + info.ElapsedText + QLatin1Char(')'))
                                : Res("RES_ReadCDAudioError", QStringLiteral("读取CD信息时出错！")) + QLatin1Char(' ')
                                      + info.ElapsedText;
        read.Failure = why;
        if (FAudit) FAudit->AddTrack(read, wav);
        if (FCue) {
            GiveUpCueFile(index, why);
            Next();
            return;
        }
        DiscardPart(RipFile(index));
        FPipeline.Finish(index, [this, index, why] {
            FPrompter->ShowError(why);
            Fail(index, why);
        });
        Next();
        return;
    }
    QString commitError;
    if (FFormat == FormatWav && !FCue && !CommitPart(RipFile(index), OutputName(index), &commitError)) {
        // The whole rip could not take its name (a full disk at the last moment).
        read.Failure = commitError;
        if (FAudit) FAudit->AddTrack(read, wav);
        FPipeline.Finish(index, [this, index, commitError] {
            FPrompter->ShowError(commitError);
            Fail(index, commitError);
        });
        Next();
        return;
    }
    if (FAudit) FAudit->AddTrack(read, wav);
    if (FCue) {
        if (FCount >= FEntries.size()) FinishCueFile();
        Next();
        return;
    }
    if (FFormat == FormatWav || FlacDirect()) {
        FPipeline.Finish(index, [this, index] { Succeed(index); });
        Next();
        return;
    }
    FPipeline.Ripped(index);
    Next();
}

void TCDRipJob::Next()
{
    if (FDone) return;
    FPipeline.NotePending(BusyWorkers());
    Dispatch();
    if (FDone) return;
    if (FReading) {
        // The reader is busy; the view follows what ended.
    } else if (FCount < FEntries.size()) {
        if (FPipeline.MayRead(BusyWorkers())) {
            StartRip(FCount);
            return;
        }
        FReaderRow.Stage = QStringLiteral("waiting");
    } else if (BusyWorkers() == 0 && FPipeline.Waiting() == 0) {
        FPipeline.Flush();
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
    const TPipelineRow* main = FReading ? &FReaderRow : nullptr;
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
}

// ---- notifications ------------------------------------------------------------------

// The reader's events; the workers' reach them.
bool TCDRipJob::event(QEvent* e)
{
    if (e->type() != ProgressInfoEventType) return TJobBase::event(e);
    auto* pe = static_cast<TProcessInfoEvent*>(e);
    if (FDone || !pe->Info) return true;
    const TProcessInfo& info = *pe->Info;
    if (info.Percent == ProgressCode::RipFinished) {
        RipFinished(info);
    } else if (info.Percent >= 1 && info.Percent <= 100 && FReading) {
        FReaderRow.Percent = info.Percent;
        UpdateView();
        Changed();
    }
    return true;
}

// ---- end ----------------------------------------------------------------------------

void TCDRipJob::StopJob()
{
    if (FDone) return;
    FStopped = true;
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
    // An abort asked for while nothing reads would end the component's next rip: it is
    // asked only of a running rip, and whatever is left of it is cleared by the reset.
    // The writers learn of the stop before the read is cut short: an input ended by the
    // abort must not pass for a whole one (it was committed as a finished file).
    const bool reading = FWaveOut->Busy() || FFlacOut->Busy();
    FWaveOut->Stop(true);
    FFlacOut->Stop(true);
    if (reading) FCDIn.AbortRead();
    FWaveOut->Stop(false);
    FFlacOut->Stop(false);
    // A whole-disc file not finished by now is not whole.
    FFlacOut->DiscardFile();
    // A test pass cut short leaves its scratch file.
    if (FTesting && FCount < FEntries.size()) DiscardPart(TestFile(FCount));
    FTesting = false;
    FReading = false;
    FCDIn.Reset();
    FCDIn.SetReadOffset(0);
    for (auto& worker : FWorkers) {
        worker->Abort();
        worker->Step().WaveIn1().SetFileName(QString());
        worker->Step().VorbisOut1().SetFileName(QString());
    }
    // Rips that were waiting for an encoder are work files: they go with the job.
    if (FFormat != FormatWav)
        for (int i = 0; i < FEntries.size(); ++i) DiscardPart(RipFile(i));
}

QString TCDRipJob::TestFile(int i) const
{
    return PartPathOf(WavName(i) + QStringLiteral(".test"));
}

void TCDRipJob::KeepOrDiscardRip(int index)
{
    const QString rip = RipFile(index);
    const QString keep = FKeepWav.value(index);
    if (keep.isEmpty()) {
        DiscardPart(rip);
        return;
    }
    QString error;
    if (!CommitPart(rip, keep, &error)) FPrompter->ShowError(error);
}
