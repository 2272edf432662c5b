// The conversion job's file modes: the next file of the list to its encoder, and the
// inputs it cannot read refused with their cause.
#include "jobs/ConversionJob.h"

#include "audio/AudioConverter.h"
#include "audio/WaveIn.h"
#include "encode/Mp3EncodeProcess.h"
#include "platform/OutputFile.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QFileInfo>

namespace {

// Inputs at this rate or above, of at most this many bits, go to the encoder as they are.
constexpr int MinDirectRate = 44100;
constexpr int MaxDirectBits = 16;
QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

} // namespace

// A file the WAV reader cannot read is told and skipped (its format cannot even be asked
// for). True when the file can be read.
bool TConversionJob::RefuseUnreadable(int index, int endPercent)
{
    if (FStep->WaveIn1().Valid()) return true;
    return Refuse(index, endPercent, Res("RES_Not_Wav_File", QStringLiteral(" 不是可以读取的WAV文件。")));
}

// An entry whose file is missing, a folder, empty or closed to us is told with that cause
// and skipped, whatever its format. True when there is a file to read.
bool TConversionJob::RefuseMissingInput(int index, int endPercent)
{
    const QString problem = InputFileProblem(FEntries.value(index));
    return problem.isEmpty() || Refuse(index, endPercent, QLatin1Char(' ') + problem + QLatin1Char('.'));
}

bool TConversionJob::Refuse(int index, int endPercent, const QString& cause)
{
    const QString text = FEntries.value(index) + cause;
    SetCaption(QStringLiteral("编码中("), index + 1, index);
    FPrompter->ShowError(text);
    Skip(endPercent, index, text);
    return false;
}

// Modes 2, 3, 4 and 6: the entry EncodeIndex.
void TConversionJob::NextMp3File(bool first)
{
    const int i = EncodeIndex;
    if (!RefuseMissingInput(i, FMode == WavToWma ? ProgressCode::WmaEncoderEnd : ProgressCode::Mp3EncoderEnd)) return;
    if (DecodeFlacFirst(i, first)) return;
    const QString in = InputOf(i);
    const QString name = FEntries.value(i);
    switch (FMode) {
    case WavToMp3: {
        TWaveIn& wave = FStep->WaveIn1();
        wave.SetFileName(in);
        if (!RefuseUnreadable(i, ProgressCode::Mp3EncoderEnd)) break;
        const int rate = wave.SampleRate();
        const int bits = wave.BitsPerSample();
        const QString out = OutputOf(i);
        const QString temp = WorkWav(i);
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
            SetCaption(QStringLiteral("编码中("), i + 1, i);
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
        // lame's decoder makes a WAV of whatever it is given (a header alone, or noise from
        // stray sync bytes): what is not MP3 audio is refused first.
        if (!FDecoded.contains(i) && !LooksLikeMp3(in)) {
            Refuse(i, ProgressCode::Mp3EncoderEnd, Res("RES_Not_Mp3_File", QStringLiteral(" 不是可以读取的MP3文件。")));
            break;
        }
        SetCaption(QStringLiteral("解码中("), i + 1, i);
        if (first) SetGroup(QStringLiteral("RES_MP3_TO_WAV"), QStringLiteral("Decoding MP3 to WAV"));
        else SetGroup(QStringLiteral("RES_Decoding"), QStringLiteral("Decoding"));
        StartMp3(i, in, OutputOf(i), false);
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
        StartWma(i, in, OutputOf(i));
        break;
    default:
        break;
    }
}

// Mode 5: the entry OggIndex.
void TConversionJob::NextOggFile(bool first)
{
    const int i = OggIndex;
    if (!RefuseMissingInput(i, ProgressCode::OggWriterDone)) return;
    if (DecodeFlacFirst(i, first)) return;
    const QString in = InputOf(i);
    TWaveIn& wave = FStep->WaveIn1();
    wave.SetFileName(in);
    if (!RefuseUnreadable(i, ProgressCode::OggWriterDone)) return;
    if (wave.SampleRate() >= MinDirectRate) {
        SetCaption(QStringLiteral("编码中("), i + 1, i);
        if (first) SetGroup(QStringLiteral("RES_WAV_TO_OGG"), QStringLiteral("Encoding WAV to OGG"));
        else SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
        StartOgg(i, in, OutputOf(i));
    } else {
        SetGroup(QStringLiteral("RES_WAV_RESAMPLE"), QStringLiteral("Resampling WAV"));
        SetCaption(QStringLiteral("重采样("), i + 1, i);
        StartResample(i, in, WorkWav(i));
    }
}
void TConversionJob::StartResample(int index, const QString& input, const QString& temp)
{
    if (FDone) return;   // a stop from a view handler ends the job between steps
    FCurrentEntry = index;
    // The work file lies in the output's folder.
    if (!MakeFolders(index, FMode == WavToOgg ? ProgressCode::OggWriterDone : ProgressCode::Mp3EncoderEnd)) return;
    FStep->WaveIn1().SetFileName(input);
    try {
        FStep->RunResample(temp);
    } catch (const std::exception& e) {
        const QString text = input + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(FMode == WavToOgg ? ProgressCode::OggWriterDone : ProgressCode::Mp3EncoderEnd, index, text);
    }
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
    SetCaption(QStringLiteral("编码中("), i + 1, i);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    if (ogg) {
        StartOgg(i, WorkWav(i), OutputOf(i));
    } else if (FMode == WavToMp3) {
        StartMp3(i, WorkWav(i), OutputOf(i), true);
    }
}
