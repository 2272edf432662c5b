// The conversion job's state machine: one handler per notification, each deciding the
// entry's next step.
#include "encode/ConversionJob.h"

#include "audio/AudioConverter.h"
#include "audio/WaveIn.h"
#include "cd/CDRipThread.h"
#include "cd/RipAudit.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "metadata/id3.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cmath>

namespace {

constexpr int MinDirectRate = 44100;
constexpr int MaxDirectBits = 16;
constexpr int TimerIntervalMs = 1000;

// Output formats of a CD job.
enum { FormatMp3 = 0, FormatWav = 1, FormatOgg = 2, FormatWma = 3 };

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

int EndPercentOf(int format)
{
    switch (format) {
    case FormatOgg: return ProgressCode::OggWriterDone;
    case FormatWma: return ProgressCode::WmaEncoderEnd;
    default: return ProgressCode::Mp3EncoderEnd;
    }
}

} // namespace

TConversionJob::TConversionJob(int mode, HCDROM cdHandle, const QStringList& entries, TPrompter* prompter,
                               TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma, QObject* parent)
    : TJobBase(entries, prompter, parent), FMode(mode), FCDHandle(cdHandle)
{
    FFormat = OptionsSetting.CommonOptions.OutputFormat;
    // A format the settings do not know is encoded as the default, MP3, rather than left
    // waiting after the rip for an encoder that never starts.
    if (FFormat < FormatMp3 || FFormat > FormatWma) FFormat = FormatMp3;
    FStep = std::make_unique<TEncodeStep>(this, prompter, mp3, wma);
    FTimer1.setInterval(TimerIntervalMs);
    connect(&FTimer1, &QTimer::timeout, this, &TConversionJob::WmaTick);
    FView.Label3 = Res("RES_Initing", QStringLiteral("Initializing..."));
}

TConversionJob::~TConversionJob()
{
    Close();
}

QString TConversionJob::OutputFolder() const
{
    return WithBackslash(OptionsSetting.CommonOptions.OutputFolder);
}

QString TConversionJob::RipWav(int index) const
{
    return OutputFolder() + RipTitle(index) + QStringLiteral(".wav");
}

QString TConversionJob::EntryName(int index) const
{
    return FMode == RipCD ? RipTitle(index) : FEntries.value(index);
}

void TConversionJob::SetCaption(const QString& prefix, int number, int index)
{
    FView.Caption = prefix + TwoDigits(number) + QLatin1Char('/') + TwoDigits(int(FEntries.size()))
                    + QStringLiteral("): ") + EntryName(index);
    Changed();
}

void TConversionJob::SetGroup(const QString& key, const QString& builtIn)
{
    FView.GroupCaption = LangString(key, builtIn);
    Changed();
}

void TConversionJob::ShowInitializing()
{
    FView.Label3 = Res("RES_Initing", QStringLiteral("Initializing..."));
    FView.Label3Visible = true;
    Changed();
}

// ---- first step ---------------------------------------------------------------------

void TConversionJob::Start()
{
    if (FEntries.isEmpty()) {
        Complete();
        return;
    }
    switch (FMode) {
    case RipCD:
        StartRip(0);
        break;
    case WavToMp3:
        NextMp3File(true);
        break;
    case WavToOgg:
        NextOggFile(true);
        break;
    case Mp3ToWav:
    case RecordToMp3:
    case WavToWma:
        NextMp3File(true);   // the three single-step modes share their start with mode 2
        break;
    default:
        Complete();
        break;
    }
}

// ---- steps --------------------------------------------------------------------------

void TConversionJob::StartRip(int index)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FRip.reset();
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    FRip = std::make_unique<TCDRipThread>(entry.TrackNumber, entry.Title);
    FRip->CDHandle = FCDHandle;
    FRip->OwnerWindow = this;
    if (!FAudit) {
        FAudit = new TRipAudit(FPrompter, this);
        BeginAudit(*FAudit, FCDHandle);
        // A stopped job closes at once; its log is written when the job goes.
        FBeforeClose = [this](std::function<void()> resume) {
            return !FStopped && FAudit->HoldCompletion(std::move(resume));
        };
    }
    FRip->ReadOffset = FAudit->Offset();
    FRip->TestPass = RipAuditSettings().TestPass;
    FResults[index].Output = FRip->WavFileName();
    SetCaption(QStringLiteral("抓取中("), index + 1, index);
    ShowInitializing();
    FRip->Start();
}

void TConversionJob::StartMp3(int index, const QString& input, const QString& output, bool encode)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FResults[index].Output = output;
    FCurrentEntry = index;
    ProgressSeen = false;
    try {
        FStep->StartMp3(input, output, encode, FMode);
    } catch (const EEncodeProcessError& e) {
        const QString text = QString::fromStdString(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::Mp3EncoderEnd, index, text);
        return;
    }
    // Only a running child writes the output; a refused start leaves an existing file alone.
    if (FStep->Mp3().Running()) FCurrentOutput = output;
}

void TConversionJob::StartWma(int index, const QString& input, const QString& output)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FResults[index].Output = output;
    FCurrentEntry = index;
    ProgressSeen = false;
    // The estimate is set up before the start: a refusal is sent from inside Start and
    // switches the timer off again.
    FWmaStart.start();
    FWmaInputSize = FileSizeOf(input);
    FWmaOutput = output;
    FView.Gauge = 0;
    Changed();
    FTimer1.start();
    const int encodeIndex = EncodeIndex;
    try {
        FStep->StartWma(input, output, FMode);
    } catch (const EEncodeProcessError& e) {
        FTimer1.stop();
        const QString text = QString::fromStdString(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::WmaEncoderEnd, index, text);
        return;
    }
    if (EncodeIndex == encodeIndex && !FDone && FStep->Wma().Running()) FCurrentOutput = output;
}

void TConversionJob::StartOgg(int index, const QString& input, const QString& output)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FResults[index].Output = output;
    FCurrentEntry = index;
    ProgressSeen = false;
    FStep->WaveIn1().SetFileName(input);
    try {
        FStep->RunOgg(output, TEncodeStep::OggCompression());
    } catch (const std::exception& e) {
        const QString text = output + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::OggWriterDone, index, text);
        return;
    }
    FCurrentOutput = output;
}

void TConversionJob::StartResample(int index, const QString& input, const QString& temp)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FCurrentEntry = index;
    FStep->WaveIn1().SetFileName(input);
    try {
        FStep->RunResample(temp);
    } catch (const std::exception& e) {
        const QString text = input + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(FMode == WavToOgg ? ProgressCode::OggWriterDone : ProgressCode::Mp3EncoderEnd, index, text);
    }
}

// The entry's encoding cannot happen: its end arrives as a posted record with ErrorCode 4,
// which shows no message.
void TConversionJob::Skip(int endPercent, int index, const QString& why)
{
    Fail(index, why);
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = endPercent;
    info->ErrorCode = EntrySkipped;
    QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
    ProgressSeen = true;
}

void TConversionJob::NextRipAfterEncode()
{
    SetGroup(QStringLiteral("RES_Extracting"), QStringLiteral("Extracting"));
    StartRip(RipIndex);
}

// A file the WAV reader cannot read is told and skipped (its format cannot even be asked
// for). True when the file can be read.
bool TConversionJob::RefuseUnreadable(int index, int endPercent)
{
    if (FStep->WaveIn1().Valid()) return true;
    const QString text = FEntries.value(index) + Res("RES_Not_Wav_File", QStringLiteral(" is not a WAV file that can be read."));
    SetCaption(QStringLiteral("编码中("), index + 1, index);
    FPrompter->ShowError(text);
    Skip(endPercent, index, text);
    return false;
}

// Modes 2, 3, 4 and 6: the entry EncodeIndex.
void TConversionJob::NextMp3File(bool first)
{
    const int i = EncodeIndex;
    const QString in = FEntries.value(i);
    const QString folder = OutputFolder();
    switch (FMode) {
    case WavToMp3: {
        TWaveIn& wave = FStep->WaveIn1();
        wave.SetFileName(in);
        if (!RefuseUnreadable(i, ProgressCode::Mp3EncoderEnd)) break;
        const int rate = wave.SampleRate();
        const int bits = wave.BitsPerSample();
        const QString out = OutputPathFor(folder, in, QStringLiteral(".mp3"));
        const QString temp = folder + QLatin1String(Mp3TempName);
        if (first) {
            if (rate >= MinDirectRate && bits <= MaxDirectBits) {
                SetGroup(QStringLiteral("RES_WAV_TO_MP3"), QStringLiteral("Encoding WAV to MP3"));
                SetCaption(QStringLiteral("编码中("), i + 1, i);
                StartMp3(i, in, out, true);
            } else {
                if (bits > MaxDirectBits) FStep->AudioConverter1().SetOutBitsPerSample(MaxDirectBits);
                SetGroup(QStringLiteral("RES_WAV_RESAMPLE"), QStringLiteral("Resampling WAV"));
                SetCaption(QStringLiteral("重采样("), i + 1, i);
                StartResample(i, in, temp);
            }
        } else if (rate >= MinDirectRate) {
            // Later files: bits per sample are not looked at.
            SetCaption(QStringLiteral("Encoding("), i + 1, i);
            SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
            StartMp3(i, in, out, true);
        } else {
            SetGroup(QStringLiteral("RES_WAV_RESAMPLE"), QStringLiteral("Resampling WAV"));
            SetCaption(QStringLiteral("编码中("), i + 1, i);
            StartResample(i, in, temp);
        }
        break;
    }
    case Mp3ToWav:
        SetCaption(QStringLiteral("解码中("), i + 1, i);
        if (first) SetGroup(QStringLiteral("RES_MP3_TO_WAV"), QStringLiteral("Decoding MP3 to WAV"));
        else SetGroup(QStringLiteral("RES_Decoding"), QStringLiteral("Decoding"));
        StartMp3(i, in, OutputPathFor(folder, in, QStringLiteral(".wav")), false);
        break;
    case RecordToMp3:
        SetCaption(QStringLiteral("编码中("), i + 1, i);
        SetGroup(QStringLiteral("RES_WAV_TO_MP3"), QStringLiteral("Encoding WAV to MP3"));
        StartMp3(i, in, ChangeFileExt(in, QStringLiteral(".mp3")), true);
        break;
    case WavToWma:
        SetCaption(QStringLiteral("编码中("), i + 1, i);
        if (first) {
            SetGroup(QStringLiteral("RES_WAV_TO_WMA"), QStringLiteral("Encoding WAV to WMA"));
        } else {
            SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
            FView.Label2.clear();
        }
        StartWma(i, in, OutputPathFor(folder, in, QStringLiteral(".wma")));
        break;
    default:
        break;
    }
}

// Mode 5: the entry OggIndex.
void TConversionJob::NextOggFile(bool first)
{
    const int i = OggIndex;
    const QString in = FEntries.value(i);
    TWaveIn& wave = FStep->WaveIn1();
    wave.SetFileName(in);
    if (!RefuseUnreadable(i, ProgressCode::OggWriterDone)) return;
    if (wave.SampleRate() >= MinDirectRate) {
        SetCaption(QStringLiteral("编码中("), i + 1, i);
        if (first) SetGroup(QStringLiteral("RES_WAV_TO_OGG"), QStringLiteral("Encoding WAV to OGG"));
        else SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
        StartOgg(i, in, OutputPathFor(OutputFolder(), in, QStringLiteral(".ogg")));
    } else {
        SetGroup(QStringLiteral("RES_WAV_RESAMPLE"), QStringLiteral("Resampling WAV"));
        SetCaption(QStringLiteral("重采样("), i + 1, i);
        StartResample(i, in, OutputFolder() + QLatin1String(OggTempName));
    }
}

// ---- notifications ------------------------------------------------------------------

bool TConversionJob::event(QEvent* e)
{
    if (e->type() == RipFailedEventType) {
        if (!FDone) HandleRipFailed(static_cast<TRipFailedEvent*>(e)->Reason);
        return true;
    }
    if (e->type() == ProgressInfoEventType) {
        auto* pe = static_cast<TProcessInfoEvent*>(e);
        if (!FDone && pe->Info) HandleInfo(*pe->Info);
        return true;
    }
    return QObject::event(e);
}

void TConversionJob::HandleRipFailed(int reason)
{
    QString text;
    switch (reason) {
    case 1: text = Res("RES_ModifyCDParmsError", QStringLiteral("抓取CD音轨失败！请重新尝试！")); break;
    case 2: text = Res("RES_ReadTocError", QStringLiteral("读取toc信息出错！")); break;
    case 3: text = Res("RES_CreateFileError", QStringLiteral("要产生的WAV文件可能正在被使用，抓轨失败！")); break;
    default: break;
    }
    if (!text.isEmpty()) FPrompter->ShowError(text);
    Fail(RipIndex, text);
    // Nothing else happens: the job waits for the user's stop.
    emit RipStalled(reason);
}

void TConversionJob::HandleInfo(TProcessInfo& info)
{
    switch (info.Percent) {
    case ProgressCode::NormalizeBegins:
        SetCaption(QStringLiteral("规格化("), RipIndex + 1, RipIndex);
        break;
    case ProgressCode::RipFinished: RipDone(info); break;
    case ProgressCode::Mp3EncoderEnd: Mp3End(info); break;
    case ProgressCode::OggWriterDone: OggEnd(info); break;
    case ProgressCode::WavWriterDone: ResampleEnd(info); break;
    case ProgressCode::WmaEncoderEnd: WmaEnd(info); break;
    default: Progress(info); break;
    }
}

void TConversionJob::RipDone(TProcessInfo& info)
{
    const int index = RipIndex;
    const QString wav = RipWav(index);
    // The completion is the thread's last message: it has ended, and is freed.
    TRipLogTrack read = FRip->Result();
    FRip.reset();
    int code = info.ErrorCode;
    QString failure;
    switch (code) {
    case RipError::None:
        break;
    case RipError::ReadFailed:
        failure = Res("RES_ReadCDAudioError", QStringLiteral("读取CD信息时出错！"));
        break;
    case RipError::CreateFailed:
        failure = wav + Res("RES_CreateWavFileError", QStringLiteral(" 不是有效文件名。请重命名CD曲目列表中的标题。"));
        break;
    case RipError::WriteFailed:
        failure = wav + QStringLiteral(": ") + Res("RES_WriteWavFileError", QStringLiteral("写入WAV文件时出错！"));
        break;
    case RipError::NormalizeFailed:
        // The WAV keeps its ripped content: the message, then the job goes on with it.
        FPrompter->ShowError(wav + QStringLiteral(": ") + Res("RES_NormalizeError", QStringLiteral("音量规格化失败！")));
        code = RipError::None;
        break;
    default:
        failure = Res("RES_ReadCDAudioError", QStringLiteral("读取CD信息时出错！"));
        break;
    }
    if (code == RipError::None && !TestCopyMismatch(read).isEmpty()) {
        failure = TestCopyMismatch(read);
        code = RipError::ReadFailed;
    }
    read.Failure = read.Failure.isEmpty() || failure.isEmpty() ? failure : failure + QLatin1Char(' ') + read.Failure;
    if (FAudit) FAudit->AddTrack(read, wav);
    if (!failure.isEmpty()) {
        FPrompter->ShowError(failure);
        Fail(index, failure);
    }
    RipIndex += 1;

    if (FFormat == FormatWav) {
        if (code == RipError::None) Succeed(index);
        if (RipIndex >= FEntries.size()) Complete();
        else StartRip(RipIndex);
        return;
    }
    if (code != RipError::None) {
        Skip(EndPercentOf(FFormat), index, failure);
        return;
    }
    SetCaption(QStringLiteral("编码中("), RipIndex, index);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    switch (FFormat) {
    case FormatOgg:
        StartOgg(index, wav, ChangeFileExt(wav, QStringLiteral(".ogg")));
        break;
    case FormatWma:
        StartWma(index, wav, ChangeFileExt(wav, QStringLiteral(".wma")));
        break;
    default:
        StartMp3(index, wav, ChangeFileExt(wav, QStringLiteral(".mp3")), true);
        break;
    }
}

// An MP3 or WMA encoder has ended (its entry's result is set): on to the next entry.
void TConversionJob::NextAfterEncoderEnd()
{
    ProgressSeen = false;
    EncodeIndex += 1;
    if (EncodeIndex >= FEntries.size()) {
        Complete();
        return;
    }
    if (FMode == RipCD) NextRipAfterEncode();
    else NextMp3File(false);
}

void TConversionJob::Mp3End(const TProcessInfo& info)
{
    const int i = EncodeIndex;
    const int code = info.ErrorCode;
    // The encoder's job is over; a child still printing is ended with it.
    if (FStep->Mp3().Active) FStep->Mp3().Stop(0);
    FCurrentOutput.clear();
    if (code == 1 && !ProgressSeen) {
        FPrompter->ShowError(FEntries.value(i) + Res("RES_Operate_Fail", QStringLiteral(" 可能正在被使用，操作失败！")));
        Fail(i, FResults[i].Output + QStringLiteral(": in use"));
    } else if ((code == 2 || code == 3) && !ProgressSeen) {
        FPrompter->ShowError(Res("RES_Check_Mp3Options", QStringLiteral("请检查MP3编码参数或重新运行程序！")));
        Fail(i, FResults[i].Output + QStringLiteral(": the encoder produced nothing"));
    } else if (code == 0) {
        Fail(i, FResults[i].Output + QStringLiteral(": kept the existing file"));
    }
    if (FMode == RipCD && code == 2 && ProgressSeen && OptionsSetting.ID3Use) {
        const TRipEntry entry = ParseRipEntry(FEntries.value(RipIndex - 1));
        const uint16_t status = WriteTrackTag(OutputFolder() + entry.Title + QStringLiteral(".mp3"), entry.Title,
                                              entry.TrackNumber, OptionsSetting.CDInfo);
        if (Tid3tag::Failed(status)) {
            FPrompter->ShowInformation(TagErrorText(status));
            Fail(i, TagErrorText(status));
        }
    }
    if (code == 2 && ProgressSeen) Succeed(i);
    NextAfterEncoderEnd();
}

void TConversionJob::OggEnd(const TProcessInfo& info)
{
    const int i = OggIndex;
    if (info.ErrorCode == StreamFailed) {
        const QString text = FResults.value(i).Output + QStringLiteral(": ") + info.ElapsedText;
        FPrompter->ShowError(text);
        // A failed encoding leaves no half-written file behind.
        DeleteIfFree(FCurrentOutput);
        Fail(i, text);
    } else if (info.ErrorCode != EntrySkipped) {
        Succeed(i);
    }
    FCurrentOutput.clear();
    ProgressSeen = false;
    OggIndex += 1;
    if (OggIndex >= FEntries.size()) {
        Complete();
        return;
    }
    if (FMode == RipCD) NextRipAfterEncode();
    else NextOggFile(false);
}

void TConversionJob::ResampleEnd(const TProcessInfo& info)
{
    const bool ogg = FMode == WavToOgg;
    const int i = ogg ? OggIndex : EncodeIndex;
    if (info.ErrorCode == StreamFailed) {
        const QString text = FEntries.value(i) + QStringLiteral(": ") + info.ElapsedText;
        FPrompter->ShowError(text);
        Skip(ogg ? ProgressCode::OggWriterDone : ProgressCode::Mp3EncoderEnd, i, text);
        return;
    }
    const QString folder = OutputFolder();
    SetCaption(QStringLiteral("编码中("), i + 1, i);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    if (ogg) {
        StartOgg(i, folder + QLatin1String(OggTempName), OutputPathFor(folder, FEntries.value(i), QStringLiteral(".ogg")));
    } else if (FMode == WavToMp3) {
        StartMp3(i, folder + QLatin1String(Mp3TempName), OutputPathFor(folder, FEntries.value(i), QStringLiteral(".mp3")),
                 true);
    }
}

void TConversionJob::WmaEnd(const TProcessInfo& info)
{
    FTimer1.stop();
    const int i = EncodeIndex;
    const int code = info.ErrorCode;
    if (FStep->Wma().Active) FStep->Wma().Stop(0);
    FCurrentOutput.clear();
    if (code == 1 && !ProgressSeen) {
        FPrompter->ShowError(FEntries.value(i) + Res("RES_Operate_Fail", QStringLiteral(" 可能正在被使用，操作失败！")));
        Fail(i, FResults[i].Output + QStringLiteral(": in use"));
    } else if (code == 8) {
        FPrompter->ShowError(info.ElapsedText);
        Fail(i, info.ElapsedText.trimmed());
    } else if (code == 0) {
        Fail(i, FResults[i].Output + QStringLiteral(": not encoded"));
    } else if (code == 2 && !ProgressSeen) {
        Fail(i, FResults[i].Output + QStringLiteral(": the encoder produced nothing"));
    }
    if (code == 2 && ProgressSeen) Succeed(i);
    NextAfterEncoderEnd();
}

void TConversionJob::Progress(const TProcessInfo& info)
{
    FTimer1.stop();
    ProgressSeen = true;
    FView.Label1 = info.ElapsedText;
    FView.Label2 = info.TotalText;
    if (info.Percent > 0) {
        FView.Label3Visible = false;
        FView.PercentTextVisible = true;
        FView.Gauge = info.Percent;
    }
    Changed();
}

void TConversionJob::WmaTick()
{
    const int64_t elapsed = std::llround(double(FWmaStart.elapsed()) / 1000.0);
    FView.Label1 = MinutesSeconds(elapsed);
    Changed();
    if (!FStep->Wma().Active) return;
    FView.Label3Visible = false;
    const int64_t total = WmaEstimatedTotal(elapsed, FWmaInputSize, std::max<int64_t>(FileSizeOf(FWmaOutput), 0),
                                            WMASizeRatio());
    if (total < 0) {
        Changed();
        return;
    }
    FView.Label2 = MinutesSeconds(total);
    FView.PercentTextVisible = true;
    const int percent = int(std::llround(double(elapsed) * 100.0 / double(total)));
    if (percent > FView.Gauge) FView.Gauge = percent;
    Changed();
}

// ---- end ----------------------------------------------------------------------------

void TConversionJob::StopJob()
{
    if (FDone) return;
    FStopped = true;
    const QString partial = FCurrentOutput;
    CleanUp();
    // What the interrupted encoder wrote is not a whole file: it goes.
    if (!partial.isEmpty()) DeleteIfFree(partial);
    FailUnproduced();
    Complete();
}

void TConversionJob::Close()
{
    CleanUp();
    FDone = true;
}

void TConversionJob::CleanUp()
{
    if (!FEntriesAlive) return;
    FTimer1.stop();
    if (FRip) {
        FRip->StopRequested = true;
        FRip.reset();
    }
    if (FMode == RipCD && RipIndex >= FEntries.size() && FFormat != FormatWav
        && !OptionsSetting.CommonOptions.IsKeepWav) {
        for (int i = 0; i < FEntries.size(); ++i)
            DeleteIfFree(RipWav(i));
    }
    FEntriesAlive = false;
    // The stream components are stopped too (the design leaves a running resampling chain
    // to the window's destruction): its temporary file can then be deleted.
    FStep->StopAll();
    if (FMode == WavToOgg) DeleteIfFree(OutputFolder() + QLatin1String(OggTempName));
    if (FMode == WavToMp3) DeleteIfFree(OutputFolder() + QLatin1String(Mp3TempName));
    FCurrentOutput.clear();
}
