#include "encode/EncodeStep.h"
#include "encode/OggOptions.h"

#include "audio/AudioConverter.h"
#include "audio/FastResampler.h"
#include "audio/VorbisIn.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "encode/AvIn.h"
#include "encode/FlacIn.h"
#include "encode/FlacOut.h"
#include "encode/JobEntry.h"
#include "encode/M4aOut.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/OpusOut.h"
#include "encode/WMAEncodeProcess.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <cmath>

namespace {
constexpr uint32_t TargetRate = 44100;
}

TEncodeStep::TEncodeStep(QObject* owner, TPrompter* prompter, TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
    : FOwner(owner), FPrompter(prompter)
{
    if (!mp3) FOwnMp3 = std::make_unique<TMp3EncodeProcess>();
    if (!wma) FOwnWma = std::make_unique<TWMAEncodeProcess>();
    FMp3 = mp3 ? mp3 : FOwnMp3.get();
    FWma = wma ? wma : FOwnWma.get();

    FWaveIn = std::make_unique<TWaveIn>();
    FWaveIn->SetLoop(false);
    FWaveIn->SetEndSample(-1);
    FResampler = std::make_unique<TFastResampler>();
    FResampler->SetInput(FWaveIn.get());
    FResampler->SetOutSampleRate(TargetRate);
    FConverter = std::make_unique<TAudioConverter>();
    FConverter->SetInput(FResampler.get());
    FConverter->SetMode(msmMonoToBoth);
    FConverter->SetOutBitsPerSample(0);
    FConverter->SetOutChannels(0);
    FWaveOut = std::make_unique<TWaveOut>();
    FWaveOut->SetInput(FConverter.get());
    FWaveOut->SetWavType(wtPCM);
    FWaveOut->SetBlockSize(512);
    FWaveOut->SetCreateNonMsHeaders(true);
    FWaveOut->SetFileMode(foRewrite);
    FVorbisOut = std::make_unique<TVorbisOut>();
    FVorbisOut->SetInput(FWaveIn.get());
    FVorbisOut->SetCompression(0.2f);
    FVorbisOut->SetDesiredMaximumBitrate(brAutoSelect);
    FVorbisOut->SetDesiredNominalBitrate(brAutoSelect);
    FVorbisOut->SetMinimumBitrate(brAutoSelect);
    FVorbisOut->SetFileMode(foRewrite);
    FVorbisOut->SetSerial(0);

    auto onError = [this](QObject* sender) {
        FStreamError = static_cast<TAuOutput*>(sender)->ExceptionMessage();
    };
    FVorbisOut->SetOnProgress([this](QObject*) { PostStreamProgress(FVorbisOut->Progress()); });
    FVorbisOut->SetOnThreadException(onError);
    FVorbisOut->SetOnDone([this](QObject*) { StreamDone(ProgressCode::OggWriterDone); });
    FWaveOut->SetOnProgress([this](QObject*) { PostStreamProgress(FWaveOut->Progress()); });
    FWaveOut->SetOnThreadException(onError);
    FWaveOut->SetOnDone([this](QObject*) { StreamDone(ProgressCode::WavWriterDone); });

    FFlacIn = std::make_unique<TFlacIn>();
    FVorbisIn = std::make_unique<TVorbisIn>();
    FFlacOut = std::make_unique<TFlacOut>();
    FFlacOut->SetInput(FWaveIn.get());
    FFlacOut->SetOnProgress([this](QObject*) { PostStreamProgress(FFlacOut->Progress()); });
    FFlacOut->SetOnThreadException(onError);
    FFlacOut->SetOnDone([this](QObject*) { StreamDone(ProgressCode::FlacWriterDone); });
    FFlacWaveOut = std::make_unique<TWaveOut>();
    FFlacWaveOut->SetInput(FFlacIn.get());
    FFlacWaveOut->SetWavType(wtPCM);
    FFlacWaveOut->SetFileMode(foRewrite);
    FFlacWaveOut->SetOnProgress([this](QObject*) { PostStreamProgress(FFlacWaveOut->Progress()); });
    FFlacWaveOut->SetOnThreadException(onError);
    FFlacWaveOut->SetOnDone([this](QObject*) { StreamDone(ProgressCode::FlacDecoderDone); });
    FAvIn = std::make_unique<TAvIn>();
    FOpusOut = std::make_unique<TOpusOut>();
    FM4aOut = std::make_unique<TM4aOut>();
    for (const auto& [out, code] : {std::pair<TAuFileOut*, int>{FOpusOut.get(), ProgressCode::OpusWriterDone},
                                    std::pair<TAuFileOut*, int>{FM4aOut.get(), ProgressCode::M4aWriterDone}}) {
        out->SetOnProgress([this, out = out](QObject*) { PostStreamProgress(out->Progress()); });
        out->SetOnThreadException(onError);
        out->SetOnDone([this, code = code](QObject*) { StreamDone(code); });
    }
    // Every file is written as its part file and renamed into place when complete (a work
    // file named as a part file is written as it is).
    for (TAuFileOut* out : std::initializer_list<TAuFileOut*>{FWaveOut.get(), FVorbisOut.get(), FFlacOut.get(),
                                                              FFlacWaveOut.get(), FOpusOut.get(), FM4aOut.get()})
        out->SetWriteAsPart(true);
}

TEncodeStep::~TEncodeStep()
{
    StopAll();
}

void TEncodeStep::StartMp3(const QString& input, const QString& output, bool encode, int kind,
                           std::function<QString(const QString& part)> beforeCommit)
{
    FMp3->BeforeCommit = std::move(beforeCommit);
    FMp3->Settings = Settings;
    FMp3->Active = true;
    FMp3->InputFile = input;
    FMp3->OutputFile = output;
    FMp3->OwnerWindow = FOwner;
    FMp3->Encode = encode;
    FMp3->Kind = kind;
    FMp3->Prompter = FPrompter;
    // A job's output is written as a part file and committed by the job.
    FMp3->WriteAsPart = kind != 0;
    FMp3->Start();
}

void TEncodeStep::StartWma(const QString& input, const QString& output, int kind,
                           std::function<QString(const QString& part)> beforeCommit)
{
    FWma->BeforeCommit = std::move(beforeCommit);
    FWma->Settings = Settings;
    FWma->Active = true;
    FWma->InputFile = input;
    FWma->OutputFile = output;
    FWma->OwnerWindow = FOwner;
    FWma->Encode = true;
    FWma->Kind = kind;
    FWma->Prompter = FPrompter;
    FWma->WriteAsPart = kind != 0;
    FWma->Start();
}

float TEncodeStep::OggCompression() const
{
    return ::OggCompression(Settings ? *Settings : OptionsSetting);
}

void TEncodeStep::RunOgg(const QString& output, float compression)
{
    FVorbisOut->SetCompression(compression);
    RunOggAsSet(output);
}

void TEncodeStep::RunOggAsSet(const QString& output)
{
    FStreamError.clear();
    FVorbisOut->SetFileName(output);
    FVorbisOut->Run();
    FStreamStart.start();
}

void TEncodeStep::RunResample(const QString& tempPath)
{
    FStreamError.clear();
    FWaveOut->SetFileName(tempPath);
    FWaveOut->Run();
    FStreamStart.start();
}

void TEncodeStep::RunFlac(TAuInput* input, const QString& output)
{
    FStreamError.clear();
    FFlacOut->SetInput(input);
    FFlacOut->SetFileName(output);
    FFlacOut->Run();
    FStreamStart.start();
}

void TEncodeStep::RunOpus(TAuInput* input, const QString& output)
{
    FStreamError.clear();
    FOpusOut->SetInput(input);
    FOpusOut->SetFileName(output);
    FOpusOut->Run();
    FStreamStart.start();
}

void TEncodeStep::RunM4a(TAuInput* input, const QString& output)
{
    FStreamError.clear();
    FM4aOut->SetInput(input);
    FM4aOut->SetFileName(output);
    FM4aOut->Run();
    FStreamStart.start();
}

TAuInput* TEncodeStep::ReaderOf(const QString& path)
{
    // A rip's WAV waits as its part file.
    QString name = path;
    if (name.endsWith(QLatin1String(".part"))) name.chop(5);
    if (name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
        FWaveIn->SetFileName(path);
        return FWaveIn.get();
    }
    FAvIn->SetFileName(path);
    return FAvIn.get();
}

void TEncodeStep::RunFlacDecode(const QString& input, const QString& output)
{
    FStreamError.clear();
    // A FLAC file through our own decoder, anything else through FFmpeg's.
    if (input.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive)) {
        FFlacIn->SetFileName(input);
        FFlacWaveOut->SetInput(FFlacIn.get());
    } else {
        FAvIn->SetFileName(input);
        FFlacWaveOut->SetInput(FAvIn.get());
    }
    FFlacWaveOut->SetFileName(output);
    FFlacWaveOut->Run();
    FStreamStart.start();
}

void TEncodeStep::PostStreamProgress(int percent)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    if (percent > 0) {
        const int64_t elapsed = std::llround(double(FStreamStart.isValid() ? FStreamStart.elapsed() : 0) / 1000.0);
        info->ElapsedText = MinutesSeconds(elapsed);
        info->TotalText = MinutesSeconds(std::llround(double(elapsed) * 100.0 / percent));
    }
    QCoreApplication::postEvent(FOwner, new TProcessInfoEvent(std::move(info)));
}

void TEncodeStep::StreamDone(int code)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = code;
    if (!FStreamError.isEmpty()) {
        info->ErrorCode = StreamFailed;
        info->ElapsedText = FStreamError;
    }
    FStreamError.clear();
    if (code == ProgressCode::WavWriterDone) {
        TProcessInfoEvent event(std::move(info));
        QCoreApplication::sendEvent(FOwner, &event);
    } else {
        QCoreApplication::postEvent(FOwner, new TProcessInfoEvent(std::move(info)));
    }
}

void TEncodeStep::StopAll()
{
    if (FMp3 && FMp3->Active) FMp3->Stop(0);
    if (FWma && FWma->Active) FWma->Stop(0);
    FVorbisOut->Stop(false);
    FWaveOut->Stop(false);
    FFlacOut->Stop(false);
    FFlacWaveOut->Stop(false);
    FOpusOut->Stop(false);
    FM4aOut->Stop(false);
}

void TEncodeStep::StopOggAsync()
{
    FVorbisOut->Pause();
    FVorbisOut->Stop(true);
}

bool TEncodeStep::StreamBusy() const
{
    return FVorbisOut->Busy() || FWaveOut->Busy() || FFlacOut->Busy() || FFlacWaveOut->Busy() || FOpusOut->Busy()
           || FM4aOut->Busy();
}
