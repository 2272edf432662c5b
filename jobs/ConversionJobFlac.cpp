// The conversion job's FLAC steps: encoding to FLAC (mode 7) and decoding FLAC input for
// the other modes.
#include "jobs/ConversionJob.h"

#include "audio/VorbisIn.h"
#include "audio/WaveIn.h"
#include "encode/AvIn.h"
#include "encode/FlacIn.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/Mp3EncodeProcess.h"
#include "platform/OutputFile.h"
#include "settings/Global.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

bool HasExtension(const QString& path, const char* ext)
{
    return path.endsWith(QLatin1String(ext), Qt::CaseInsensitive);
}

// Inputs read by a reader of our own (the MP3 ones by lame): the rest are decoded by FFmpeg.
bool OwnReaderReads(const QString& path)
{
    return HasExtension(path, ".wav") || HasExtension(path, ".mp3") || HasExtension(path, ".flac")
           || HasExtension(path, ".ogg");
}

} // namespace

// Mode 7: the entry EncodeIndex, read by the reader its extension names.
void TConversionJob::NextFlacFile()
{
    const int i = EncodeIndex;
    const QString in = FEntries.value(i);
    if (!RefuseMissingInput(i, ProgressCode::FlacWriterDone)) return;
    if (HasExtension(in, ".mp3") && !FDecoded.contains(i)) {
        // The MP3 decoder writes a work WAV that the FLAC encoder then reads.
        const QString temp = WorkWav(i);
        FStep->WaveIn1().SetFileName(QString());
        DeleteIfFree(temp);
        FDecoded.insert(i, temp);
        SetCaption(QStringLiteral("解码中("), i + 1, i);
        SetGroup(QStringLiteral("RES_Decoding"), QStringLiteral("Decoding"));
        StartMp3(i, in, temp, false);
        return;
    }
    SetCaption(QStringLiteral("编码中("), i + 1, i);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    TFlacOut& flac = FStep->FlacOut1();
    flac.SetLevel(FSettings.FlacOptions.Level);
    QStringList comments;
    TAuInput* input = nullptr;
    try {
        if (HasExtension(in, ".flac")) {
            FStep->FlacIn1().SetFileName(in);
            comments = FStep->FlacIn1().Comments();
            input = &FStep->FlacIn1();
        } else if (HasExtension(in, ".ogg")) {
            TVorbisIn& ogg = FStep->VorbisIn1();
            ogg.SetFileName(in);
            const TVorbisTags& tags = ogg.VorbisComments();
            for (int f = 0; f < TVorbisTags::FieldCount; ++f)
                if (!tags.Value(f).isEmpty())
                    comments << QString::fromLatin1(TVorbisTags::FieldNames[size_t(f)]).toUpper() + QLatin1Char('=')
                                    + tags.Value(f);
            input = &ogg;
        }
    } catch (const std::exception& e) {
        const QString text = in + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::FlacWriterDone, i, text);
        return;
    }
    if (!input && !OwnReaderReads(in)) {
        // WMA, AAC, Opus, ALAC, WavPack, APE, ...: decoded in-process; a file without audio
        // is refused with its cause before any output is begun.
        if (const QString problem = TAvIn::ProblemOf(in); !problem.isEmpty()) {
            Refuse(i, ProgressCode::FlacWriterDone, QStringLiteral(": ") + problem + QLatin1Char('.'));
            return;
        }
        input = FStep->ReaderOf(in);
    }
    if (!input) {
        FStep->WaveIn1().SetFileName(InputOf(i));
        if (!RefuseUnreadable(i, ProgressCode::FlacWriterDone)) return;
        input = &FStep->WaveIn1();
    }
    flac.SetComments(comments);
    StartFlac(i, input, OutputOf(i));
}

void TConversionJob::StartFlac(int index, TAuInput* input, const QString& wanted)
{
    const QString output = BeginOutput(index, wanted, ProgressCode::FlacWriterDone);
    if (output.isEmpty()) return;
    try {
        FStep->FlacOut1().SetBeforeCommit(CopyTagsFrom(index, output));
        FStep->RunFlac(input, output);
    } catch (const std::exception& e) {
        const QString text = output + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::FlacWriterDone, index, text);
        return;
    }
    FCurrentOutput = output;
}

bool TConversionJob::DecodeFlacFirst(int index, bool first)
{
    const QString in = FEntries.value(index);
    // Mode 4 writes beside its (recorded WAV) input and takes no FLAC. WAV files go to the
    // encoders as they are, MP3 files to mode 3's decoder; FLAC and whatever else FFmpeg
    // decodes are decoded first.
    const bool decode = HasExtension(in, ".flac")
                        || (!HasExtension(in, ".wav") && !(FMode == Mp3ToWav && HasExtension(in, ".mp3")));
    if (FMode == RecordToMp3 || !decode || FDecoded.contains(index)) return false;
    if (FDone) return true;
    // Mode 3 decodes straight into its output; the others into a work WAV they encode.
    const QString out = FMode == Mp3ToWav ? Claim(index, OutputOf(index)) : WorkWav(index);
    if (out.isEmpty()) {
        // The Existing rule kept the file: the entry is over.
        FDecoded.insert(index, out);
        PostSkipped(ProgressCode::Mp3EncoderEnd);
        return true;
    }
    FFlacFirst = first;
    FCurrentEntry = index;
    FResults[index].Output = out;
    // The work file (or the output) lies in the output's folder.
    const int endPercent = FMode == WavToOgg   ? ProgressCode::OggWriterDone
                           : FMode == WavToWma ? ProgressCode::WmaEncoderEnd
                                               : ProgressCode::Mp3EncoderEnd;
    if (!MakeFolders(index, endPercent)) {
        FDecoded.insert(index, QString());
        return true;
    }
    SetCaption(QStringLiteral("解码中("), index + 1, index);
    SetGroup(QStringLiteral("RES_Decoding"), QStringLiteral("Decoding"));
    FDecoded.insert(index, out);
    FCurrentOutput = out;
    try {
        FStep->RunFlacDecode(in, out);
    } catch (const std::exception& e) {
        auto info = std::make_unique<TProcessInfo>();
        info->Percent = ProgressCode::FlacDecoderDone;
        info->ErrorCode = StreamFailed;
        info->ElapsedText = QString::fromUtf8(e.what());
        QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
    }
    return true;
}

void TConversionJob::FlacEnd(const TProcessInfo& info)
{
    StreamEnd(EncodeIndex, info);
    NextAfterEncoderEnd();
}

void TConversionJob::FlacDecoded(const TProcessInfo& info)
{
    const int i = FMode == WavToOgg ? OggIndex : EncodeIndex;
    const int endPercent = FMode == WavToOgg   ? ProgressCode::OggWriterDone
                           : FMode == WavToWma ? ProgressCode::WmaEncoderEnd
                                               : ProgressCode::Mp3EncoderEnd;
    const QString out = FDecoded.value(i);
    FCurrentOutput.clear();
    if (info.ErrorCode == StreamFailed) {
        // A damaged or short FLAC file gives no output at all (the writer has removed its
        // part file).
        const QString text = FEntries.value(i) + QStringLiteral(": ") + info.ElapsedText;
        FPrompter->ShowError(text);
        if (FMode == Mp3ToWav) FResults[i].Output.clear();
        Skip(endPercent, i, text);
        return;
    }
    if (FMode == Mp3ToWav) {
        Succeed(i);
        NextAfterEncoderEnd();
    } else if (FMode == WavToOgg) {
        NextOggFile(FFlacFirst);
    } else {
        NextMp3File(FFlacFirst);
    }
}

// Mode 7: the MP3 decoder has ended; a WAV it wrote whole goes on to the FLAC encoder.
void TConversionJob::Mp3DecodedForFlac(const TProcessInfo& info)
{
    const int i = EncodeIndex;
    if (FStep->Mp3().Active) FStep->Mp3().Stop(0);
    FCurrentOutput.clear();
    const QString temp = FDecoded.value(i);
    if (info.ErrorCode == 2 && ProgressSeen && FileSizeOf(temp) > 44) {
        NextFlacFile();
        return;
    }
    if (info.ErrorCode != EntrySkipped) {
        const QString text = FEntries.value(i) + QStringLiteral(": ")
                             + QStringLiteral("the MP3 decoder produced nothing");
        FPrompter->ShowError(text);
        Fail(i, text);
    }
    DeleteIfFree(temp);
    NextAfterEncoderEnd();
}
