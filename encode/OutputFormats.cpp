#include "encode/OutputFormats.h"

#include "encode/Encoder.h"
#include "platform/ProcessInfo.h"

const std::array<TOutputFormatRow, 8> OutputFormats = {{
    {FormatMp3, "mp3", "MP3", ".mp3", "MP3 file(*.MP3)", ProgressCode::Mp3EncoderEnd, NewMp3Encoder},
    {FormatWav, "wav", "WAV", ".wav", "WAV file(*.WAV)", ProgressCode::Mp3EncoderEnd, nullptr},
    {FormatOgg, "ogg", "OGG", ".ogg", "OGG file(*.OGG)", ProgressCode::OggWriterDone, NewOggEncoder},
    {FormatWma, "wma", "WMA", ".wma", "WMA file(*.WMA)", ProgressCode::WmaEncoderEnd, NewWmaEncoder},
    {FormatFlac, "flac", "FLAC", ".flac", "FLAC file(*.FLAC)", ProgressCode::FlacWriterDone, NewFlacEncoder},
    {FormatOpus, "opus", "Opus", ".opus", "Opus file(*.OPUS)", ProgressCode::OpusWriterDone, NewOpusEncoder},
    {FormatAac, "aac", "AAC", ".m4a", "AAC file(*.M4A)", ProgressCode::M4aWriterDone, NewAacEncoder},
    {FormatAlac, "alac", "ALAC", ".m4a", "Apple Lossless file(*.M4A)", ProgressCode::M4aWriterDone, NewAlacEncoder},
}};

std::unique_ptr<TEncoder> MakeEncoder(int format, TEncodeStep& step)
{
    return IsOutputFormat(format) && OutputFormats[size_t(format)].Encoder ? OutputFormats[size_t(format)].Encoder(step)
                                                                           : nullptr;
}

namespace {

const TOutputFormatRow& RowOrMp3(int format)
{
    return OutputFormats[IsOutputFormat(format) ? format : FormatMp3];
}

} // namespace

bool IsOutputFormat(int format)
{
    return format >= 0 && format < int(OutputFormats.size());
}

int OutputFormatOfWord(const QString& word)
{
    for (const TOutputFormatRow& row : OutputFormats)
        if (word.compare(QLatin1String(row.Word), Qt::CaseInsensitive) == 0) return row.Format;
    return -1;
}

QStringList OutputFormatWords()
{
    QStringList words;
    for (const TOutputFormatRow& row : OutputFormats) words.append(QLatin1String(row.Word));
    return words;
}

QString OutputFormatWordList()
{
    QStringList words = OutputFormatWords();
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QString FormatExtension(int format)
{
    return QLatin1String(RowOrMp3(format).Extension);
}

int EncoderEndCode(int format)
{
    return RowOrMp3(format).EndCode;
}
