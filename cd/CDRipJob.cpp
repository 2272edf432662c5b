// The rip job's state machine: each track is ripped, checked, encoded and cleaned up before
// the next one starts, so at most one writer or encoder runs at a time.
#include "cd/CDRipJob.h"

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
#include "settings/OggOptions.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <cmath>

namespace {

constexpr int RipJobKind = 1;   // the encoder processes' kind for this job: no overwrite question
constexpr int TimerIntervalMs = 1000;

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

QString FormatName(int format)
{
    static const char* const names[] = {"MP3", "WAV", "OGG", "WMA", "FLAC"};
    return QLatin1String(names[format]);
}

QString FormatExtension(int format)
{
    static const char* const ext[] = {".mp3", ".wav", ".ogg", ".wma", ".flac"};
    return QLatin1String(ext[format]);
}

} // namespace

TCDRipJob::TCDRipJob(TCDIn& cdIn, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3,
                     TWMAEncodeProcess* wma, QObject* parent)
    : TJobBase(entries, prompter, parent), FCDIn(cdIn)
{
    FFormat = OptionsSetting.CommonOptions.OutputFormat;
    // A format the job does not know would never finish: such a job rips to WAV.
    if (FFormat < FormatMp3 || FFormat > FormatFlac) FFormat = FormatWav;

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

    FStep = std::make_unique<TEncodeStep>(this, prompter, mp3, wma);
    FWaveOut = std::make_unique<TWaveOut>();
    FWaveOut->SetInput(&FCDIn);
    FWaveOut->SetWavType(wtPCM);
    FWaveOut->SetBlockSize(512);
    FWaveOut->SetFileMode(foRewrite);
    FWaveOut->SetOnProgress([this](QObject*) { Post(FWaveOut->Progress()); });
    FWaveOut->SetOnThreadException([this](QObject*) { FWaveError = FWaveOut->ExceptionMessage(); });
    FWaveOut->SetOnDone([this](QObject*) { WaveDone(); });
    FFlacOut = std::make_unique<TFlacOut>();
    FFlacOut->SetInput(&FCDIn);
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
    FView.OutputFormat = FormatName(FFormat);
    FView.SelectedTracks = int(FEntries.size());
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
    FCDIn.Reset();
    FCDIn.SetLockTray(true);
    if (FEntries.isEmpty()) {
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
    FEncoding = false;
    FView.ProgressHint = Res("RES_Extracting_Dots", QStringLiteral("Extracting..."));
    FView.GaugeHint = Res("RES_Initing", QStringLiteral("Initializing..."));
    FView.CurrentTrack = Title(index);
    FView.Completed = FCount;
    FView.Gauge = 0;
    Changed();
    const QString wav = WavName(index);
    FResults[index].Output = FFormat == FormatWav ? wav : EncodedName(index);
    FWaveError.clear();
    QString why;
    if (!MakeOutputFolders(OptionsSetting.CommonOptions.OutputFolder, FPaths.value(index), &why)) {
        Post(ProgressCode::RipFinished, RipError::CreateFailed, why);
        return;
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
            FFlacOut->SetFileName(EncodedName(index));
            FFlacOut->Run();
            return;
        }
        FWaveOut->SetFileName(FTesting ? wav + QStringLiteral(".test") : wav);
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
        const bool created = QFile::exists(wav);
        Post(ProgressCode::RipFinished, created ? RipError::ReadFailed : RipError::CreateFailed, FWaveError);
        return;
    }
    const TCommonOptions& common = OptionsSetting.CommonOptions;
    if (common.IsNormalize) {
        try {
            NormalizeWavFile(common.NormalizePercent, wav);
        } catch (const std::exception&) {
            // The WAV stays as ripped: the message, then the job goes on with it.
            FPrompter->ShowError(wav + QStringLiteral(": ") + Res("RES_NormalizeError", QStringLiteral("音量规格化失败！")));
        }
    }
    Post(ProgressCode::RipFinished);
}

void TCDRipJob::RipFinished(const TProcessInfo& info)
{
    const int index = FCount;
    const QString wav = WavName(index);
    FCount += 1;
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
        DeleteIfFree(wav);
        FPrompter->ShowError(why);
        Fail(index, why);
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
        Succeed(index);
        Next();
        return;
    }
    StartEncode(index);
}

void TCDRipJob::StartEncode(int index)
{
    if (FDone) return;
    FEncoding = true;
    FView.ProgressHint = Res("RES_Encoding_Dots", QStringLiteral("Encoding..."));
    FView.GaugeHint = FView.ProgressHint;
    FView.Gauge = 0;
    Changed();
    const QString wav = WavName(index);
    const QString out = EncodedName(index);
    FStep->WaveIn1().SetFileName(wav);
    try {
        switch (FFormat) {
        case FormatMp3:
            FStep->StartMp3(wav, out, true, RipJobKind);
            if (FStep->Mp3().Running()) FCurrentOutput = out;
            break;
        case FormatOgg: {
            const TRipEntry entry = ParseRipEntry(FEntries.value(index));
            ApplyOggOptions(FStep->VorbisOut1(), entry.Title, entry.TrackNumber);
            FCurrentOutput = out;
            FStep->RunOggAsSet(out);
            break;
        }
        case FormatFlac: {
            const TRipEntry entry = ParseRipEntry(FEntries.value(index));
            ApplyFlacOptions(FStep->FlacOut1(), entry.Title, entry.TrackNumber, FCDIn.TracksCount());
            FCurrentOutput = out;
            FStep->RunFlac(&FStep->WaveIn1(), out);
            break;
        }
        case FormatWma:
            FWmaStart.start();
            FWmaInputSize = FileSizeOf(wav);
            FTimer1.start();
            FStep->StartWma(wav, out, RipJobKind);
            if (FStep->Wma().Running() && FEncoding) FCurrentOutput = out;
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        FTimer1.stop();
        FCurrentOutput.clear();
        const int end = FFormat == FormatOgg    ? ProgressCode::OggWriterDone
                        : FFormat == FormatFlac ? ProgressCode::FlacWriterDone
                        : FFormat == FormatWma ? ProgressCode::WmaEncoderEnd
                                               : ProgressCode::Mp3EncoderEnd;
        Post(end, StreamFailed, out + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}

// The encoder of entry FCount - 1 has ended, well or not.
void TCDRipJob::EncodeEnd(const TProcessInfo& info)
{
    FTimer1.stop();
    if (!FEncoding) return;
    FEncoding = false;
    const int index = FCount - 1;
    const QString wav = WavName(index);
    const QString out = EncodedName(index);
    if (FStep->Mp3().Active) FStep->Mp3().Stop(0);
    if (FStep->Wma().Active) FStep->Wma().Stop(0);
    FCurrentOutput.clear();

    QString why;
    if (info.Percent == ProgressCode::OggWriterDone || info.Percent == ProgressCode::FlacWriterDone) {
        if (info.ErrorCode != 0) why = info.ElapsedText.startsWith(out) ? info.ElapsedText : out + QStringLiteral(": ") + info.ElapsedText;
    } else if (info.ErrorCode == StreamFailed) {
        why = info.ElapsedText;
    } else if (info.ErrorCode == 8) {
        why = out + QStringLiteral(": ") + info.ElapsedText.trimmed();
    } else if (info.ErrorCode != 2 || FileSizeOf(out) <= 0) {
        why = out + QStringLiteral(": ")
              + (FFormat == FormatMp3 ? Res("RES_Check_Mp3Options", QStringLiteral("请检查MP3编码参数或重新运行程序！"))
                                      : QStringLiteral("the encoder produced nothing"));
    }
    if (!why.isEmpty()) {
        // The rip is kept for another try; the failed output goes, untagged.
        DeleteIfFree(out);
        FPrompter->ShowError(why);
        Fail(index, why);
        Next();
        return;
    }
    if (!OptionsSetting.CommonOptions.IsKeepWav) DeleteIfFree(wav);
    if (FFormat == FormatMp3) {
        const TRipEntry entry = ParseRipEntry(FEntries.value(index));
        const uint16_t status = WriteTrackTag(out, entry.Title, entry.TrackNumber, OptionsSetting.CDInfo);
        if (Tid3tag::Failed(status)) {
            FPrompter->ShowInformation(TagErrorText(status));
            Fail(index, TagErrorText(status));
        }
    }
    Succeed(index);
    Next();
}

void TCDRipJob::Next()
{
    FView.Completed = FCount;
    Changed();
    if (FCount >= FEntries.size()) Complete();
    else StartRip(FCount);
}

void TCDRipJob::WmaTick()
{
    if (!FStep->Wma().Active) return;
    const int64_t elapsed = std::llround(double(FWmaStart.elapsed()) / 1000.0);
    const int64_t total = WmaEstimatedTotal(elapsed, FWmaInputSize,
                                            std::max<int64_t>(FileSizeOf(FStep->Wma().OutputFile), 0), WMASizeRatio());
    if (total <= 0) return;
    const int percent = int(std::llround(double(elapsed) * 100.0 / double(total)));
    if (percent > FView.Gauge) {
        FView.Gauge = percent;
        Changed();
    }
}

// ---- notifications ------------------------------------------------------------------

bool TCDRipJob::event(QEvent* e)
{
    if (e->type() != ProgressInfoEventType) return TJobBase::event(e);
    auto* pe = static_cast<TProcessInfoEvent*>(e);
    if (FDone || !pe->Info) return true;
    const TProcessInfo& info = *pe->Info;
    switch (info.Percent) {
    case ProgressCode::RipFinished:
        RipFinished(info);
        break;
    case ProgressCode::Mp3EncoderEnd:
    case ProgressCode::OggWriterDone:
    case ProgressCode::WmaEncoderEnd:
    case ProgressCode::FlacWriterDone:
        EncodeEnd(info);
        break;
    default:
        if (info.Percent >= 1 && info.Percent <= 100) {
            if (FEncoding && FFormat == FormatWma) FTimer1.stop();   // the encoder reports itself
            FView.Gauge = info.Percent;
            FView.GaugeHint = FView.ProgressHint;
            Changed();
        }
        break;
    }
    return true;
}

// ---- end ----------------------------------------------------------------------------

void TCDRipJob::StopJob()
{
    if (FDone) return;
    FStopped = true;
    const QString partial = FCurrentOutput;
    CleanUp();
    // What an interrupted encoder wrote is not a whole file; the stopped WAV keeps a
    // truthful header and stays, as does a finished WAV whose encode was stopped.
    if (!partial.isEmpty()) DeleteIfFree(partial);
    FailUnproduced();
    Complete();
}

void TCDRipJob::Close()
{
    if (!FDone && !FCleaned) {
        const QString partial = FCurrentOutput;
        CleanUp();
        if (!partial.isEmpty()) DeleteIfFree(partial);
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
    if (FWaveOut->Busy() || FFlacOut->Busy()) FCDIn.AbortRead();
    FWaveOut->Stop(false);
    FFlacOut->Stop(false);
    // A whole-disc file not finished by now is not whole.
    FFlacOut->DiscardFile();
    // A test pass cut short leaves its scratch file.
    if (FTesting && FCount < FEntries.size()) DeleteIfFree(WavName(FCount) + QStringLiteral(".test"));
    FTesting = false;
    FCDIn.Reset();
    FCDIn.SetReadOffset(0);
    FStep->StopAll();
    FStep->WaveIn1().SetFileName(QString());
    FStep->VorbisOut1().SetFileName(QString());
    FCurrentOutput.clear();
    FEncoding = false;
}
