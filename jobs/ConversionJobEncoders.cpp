// The conversion job's modes that make a format through its encoder component (Opus, AAC,
// Apple Lossless): any input FFmpeg decodes (or a WAV file) goes straight to the component,
// decoded in-process; its end arrives as the format's end notification.
#include "jobs/ConversionJob.h"

#include "encode/AvIn.h"
#include "encode/Encoder.h"
#include "encode/OutputFormats.h"
#include "platform/OutputFile.h"

namespace {

int FormatOfMode(int mode)
{
    switch (mode) {
    case TConversionJob::ToAac: return FormatAac;
    case TConversionJob::ToAlac: return FormatAlac;
    default: return FormatOpus;
    }
}

} // namespace

void TConversionJob::NextEncoderFile()
{
    const int i = EncodeIndex;
    const int format = FormatOfMode(FMode);
    const int endCode = EncoderEndCode(format);
    if (!RefuseMissingInput(i, endCode)) return;
    const QString in = FEntries.value(i);
    // A file with no audio to decode is refused with its cause before any output is begun.
    if (in.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
        FStep->ReaderOf(in);
        if (!RefuseUnreadable(i, endCode)) return;
    } else if (const QString problem = TAvIn::ProblemOf(in); !problem.isEmpty()) {
        Refuse(i, endCode, QStringLiteral(": ") + problem + QLatin1Char('.'));
        return;
    }
    SetCaption(QStringLiteral("编码中("), i + 1, i);
    SetGroup(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding"));
    const QString output = BeginOutput(i, OutputOf(i), endCode);
    if (output.isEmpty()) return;
    TEncodeRequest request;
    request.Wav = in;
    request.Output = output;
    request.Kind = FMode;
    request.Settings = FSettingsCopy;
    request.BeforeCommit = CopyTagsFrom(i, output);
    FEncoder = MakeEncoder(format, *FStep);
    try {
        FEncoder->Start(request);
    } catch (const std::exception& e) {
        FEncoder.reset();
        const QString text = output + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(endCode, i, text);
        return;
    }
    FCurrentOutput = output;
}

void TConversionJob::EncoderEnd(const TProcessInfo& info)
{
    const int i = EncodeIndex;
    FCurrentOutput.clear();
    if (info.ErrorCode != EntrySkipped) {
        const TEncodeOutcome outcome = FEncoder ? FEncoder->Outcome(info, ProgressSeen) : TEncodeOutcome{};
        if (!outcome.Failure.isEmpty()) {
            if (!outcome.Message.isEmpty()) FPrompter->ShowError(outcome.Message);
            Fail(i, outcome.Failure);
        } else {
            Succeed(i);
        }
    }
    FEncoder.reset();
    NextAfterEncoderEnd();
}
