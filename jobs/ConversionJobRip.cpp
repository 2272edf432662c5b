// The conversion job's CD mode: a track ripped by the rip thread, then handed to its
// encoder (or produced as it is, WAV and FLAC straight from the read).
#include "jobs/ConversionJob.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "cd/CDRipThread.h"
#include "cd/RipAudit.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/OggOptions.h"
#include "encode/RipCover.h"
#include "platform/OutputFile.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

// A track whose output the Existing rule kept: the reader goes on with the next one.
void TConversionJob::SkipRip(int index)
{
    if (FDone) return;
    if (!FWorkers.empty()) {
        RipIndex = index + 1;
        FPipeline.Finish(index, nullptr);
        PipelineNext();
        return;
    }
    RipIndex = index + 1;
    if (FFormat == FormatWav || (FFormat == FormatFlac && !OptionsSetting.CommonOptions.IsNormalize)) {
        if (RipIndex >= FEntries.size()) Complete();
        else StartRip(RipIndex);
        return;
    }
    // As after a failed rip: the encoder's end, with nothing to tell, moves the job on.
    PostSkipped(EncoderEndCode(FFormat));
}

void TConversionJob::StartRip(int index)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FRip.reset();
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    QString wav = ChangeFileExt(FPaths.value(index), QStringLiteral(".wav"));
    if (!FCue && !FFinal.contains(index)) {
        // The output's name by the Existing rule; an entry whose file is kept is over.
        const QString wanted = FFormat == FormatWav ? RipWav(index) : ChangeFileExt(RipWav(index), FormatExtension(FFormat));
        // A rip a killed run left behind is stale whatever happens now.
        if (FFormat != FormatWav) DiscardPart(PartPathOf(RipWav(index)));
        if (Claim(index, wanted).isEmpty()) {
            QMetaObject::invokeMethod(this, [this, index] { SkipRip(index); }, Qt::QueuedConnection);
            return;
        }
        if (FFormat != FormatWav && OptionsSetting.CommonOptions.IsKeepWav) FKeepWav[index] = ClaimExtra(RipWav(index));
    }
    // The whole-disc file keeps the WAVs made beside it when asked to.
    if (FCue && OptionsSetting.CommonOptions.IsKeepWav && !FKeepWav.contains(index))
        FKeepWav[index] = ClaimExtra(RipWav(index));
    // A WAV renamed by the Existing rule is ripped under its new name.
    if (FFormat == FormatWav && !FCue) wav = QDir(OutputFolder()).relativeFilePath(FFinal.value(index));
    FRip = std::make_unique<TCDRipThread>(entry.TrackNumber, wav.left(wav.size() - 4));
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
    // FLAC encodes what is read, unless the WAV is normalized first; the WAV is made too
    // only when it is to be kept.
    FFlacDirect = FFormat == FormatFlac && (FCue || !OptionsSetting.CommonOptions.IsNormalize);
    if (FCue) {
        // One sink for the whole disc: each track follows the last in its stream.
        if (!FRipSink)
            FRipSink = std::make_unique<TFlacRipSink>(FCueFile, OptionsSetting.FlacOptions.Level,
                                                      FlacDiscComments(OptionsSetting.CDInfo), false);
        FRip->Sink = FRipSink.get();
        FRip->WriteWav = OptionsSetting.CommonOptions.IsKeepWav;
        FResults[index].Output = FCueFile;
    } else if (FFlacDirect) {
        FRipSink = std::make_unique<TFlacRipSink>(
            RipFlac(index), OptionsSetting.FlacOptions.Level,
            FlacTrackComments(OptionsSetting.CDInfo, entry.TrackNumber, entry.Title, FDiscTracks));
        FRip->Sink = FRipSink.get();
        FRip->WriteWav = OptionsSetting.CommonOptions.IsKeepWav;
        FResults[index].Output = RipFlac(index);
    }
    SetCaption(QStringLiteral("抓取中("), index + 1, index);
    ShowInitializing();
    if (!FWorkers.empty()) {
        FReaderRow.Track = RipTitle(index);
        FReaderRow.Stage = Res("RES_Extracting_Dots", QStringLiteral("Extracting..."));
        FReaderRow.Percent = 0;
        PipelineRows();
        Changed();
    }
    // A stop from a view handler above has freed the thread.
    if (FDone || !FRip) return;
    FRip->Start();
}

void TConversionJob::NextRipAfterEncode()
{
    SetGroup(QStringLiteral("RES_Extracting"), QStringLiteral("Extracting"));
    StartRip(RipIndex);
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

void TConversionJob::RipDone(TProcessInfo& info)
{
    const int index = RipIndex;
    // The rip is a part file: the WAV's, or the work file an encoder reads.
    const QString wav = FRip->PartFileName();
    const QString wavName = FRip->WavFileName();
    // The file the messages name: the FLAC file when the rip wrote one straight away.
    const QString made = FCue ? FCueFile : FFlacDirect ? RipFlac(index) : wavName;
    const QString cause = FRip->WriteFailure();
    // The completion is the thread's last message: it has ended, and is freed.
    TRipLogTrack read = FRip->Result();
    FRip.reset();
    if (!FCue) FRipSink.reset();
    int code = info.ErrorCode;
    QString failure;
    switch (code) {
    case RipError::None:
        break;
    case RipError::ReadFailed:
        failure = Res("RES_ReadCDAudioError", QStringLiteral("读取CD信息时出错！"));
        break;
    case RipError::CreateFailed:
        failure = IsPlainWriteError(cause) ? cause
                  : made + Res("RES_CreateWavFileError", QStringLiteral(" 不是有效文件名。请重命名CD曲目列表中的标题。"));
        break;
    case RipError::WriteFailed:
        failure = !cause.isEmpty() ? cause : made + QStringLiteral(": ") + Res("RES_WriteWavFileError", QStringLiteral("写入WAV文件时出错！"));
        break;
    case RipError::NormalizeFailed:
        // The WAV keeps its ripped content: the message, then the job goes on with it.
        FPrompter->ShowError(wavName + QStringLiteral(": ") + Res("RES_NormalizeError", QStringLiteral("音量规格化失败！")));
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
    if (code != RipError::None) {
        DiscardPart(wav);
    } else if (FFormat == FormatWav && !FCue) {
        // A whole rip takes its name.
        QString error;
        if (!CommitPart(wav, wavName, &error)) {
            failure = error;
            code = RipError::WriteFailed;
        }
    } else if (FFlacDirect) {
        // The WAV made beside the FLAC file is the kept one.
        KeepOrDiscardRip(index);
    }
    read.Failure = read.Failure.isEmpty() || failure.isEmpty() ? failure : failure + QLatin1Char(' ') + read.Failure;
    if (FAudit) FAudit->AddTrack(read, wavName);
    if (!FWorkers.empty()) {
        PipelineRipDone(index, failure);
        return;
    }
    if (!failure.isEmpty()) {
        FPrompter->ShowError(failure);
        Fail(index, failure);
    }
    RipIndex += 1;

    if (FCue) {
        if (code != RipError::None) {
            GiveUpCueFile(index + 1, failure);   // the failed entry has been told already
            Complete();
        } else if (RipIndex >= FEntries.size()) {
            FinishCueFile();
            Complete();
        } else {
            StartRip(RipIndex);
        }
        return;
    }
    if (FFormat == FormatWav || (FFormat == FormatFlac && FFlacDirect)) {
        if (code == RipError::None) Succeed(index);
        if (RipIndex >= FEntries.size()) Complete();
        else StartRip(RipIndex);
        return;
    }
    if (code != RipError::None) {
        Skip(EncoderEndCode(FFormat), index, failure);
        return;
    }
    SetCaption(QStringLiteral("编码中("), RipIndex, index);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    const QString out = RipOutput(index);
    switch (FFormat) {
    case FormatOgg: {
        const TRipEntry entry = ParseRipEntry(FEntries.value(index));
        ApplyOggRipComments(FStep->VorbisOut1(), entry.Title, entry.TrackNumber);
        StartOgg(index, wav, out);
        break;
    }
    case FormatWma:
        StartWma(index, wav, out);
        break;
    case FormatFlac: {
        const TRipEntry entry = ParseRipEntry(FEntries.value(index));
        ApplyFlacOptions(FStep->FlacOut1(), entry.Title, entry.TrackNumber, FDiscTracks);
        FStep->WaveIn1().SetFileName(wav);
        StartFlac(index, &FStep->WaveIn1(), out);
        break;
    }
    default:
        StartMp3(index, wav, out, true, OptionsSetting.ID3Use);
        break;
    }
}

void TConversionJob::KeepOrDiscardRip(int index)
{
    const QString rip = PartPathOf(RipWav(index));
    if (!QFileInfo::exists(rip)) return;
    const QString keep = FKeepWav.value(index);
    QString error;
    if (keep.isEmpty()) DiscardPart(rip);
    else if (!CommitPart(rip, keep, &error)) FPrompter->ShowError(error);
}
