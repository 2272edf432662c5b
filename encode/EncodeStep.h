#pragma once
// The encoding half of a conversion job: the outside encoders (MP3 and WMA processes) and
// the job's own stream components (a WAV reader, a resampling chain that writes a
// temporary 44100 Hz WAV, an OGG encoder), started on one file at a time. Every outcome
// reaches the owner as a TProcessInfoEvent, like the rip thread's:
//   encoder processes  progress 1..100; end 2000 (MP3, posted) or 5000 (WMA, sent)
//   OGG encoder        progress (posted); done 3000 (posted)
//   resampling chain   progress (posted); done 4000 (sent: handled before the event returns)
//   FLAC encoder       progress (posted); done 6000 (posted)
//   FLAC decoder       progress (posted); done 6100 (posted), the WAV written from a FLAC file
//   Opus encoder       progress (posted); done 6200 (posted)
//   MP4 encoder        progress (posted); done 6300 (posted), AAC or Apple Lossless
// A stream run that failed ends with ErrorCode StreamFailed and the reason in ElapsedText.
// The step makes no decisions: the job's state machine does.
#include "platform/Prompter.h"
#include "audio/AuInput.h"
#include "platform/ProcessInfo.h"
#include "settings/Options.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class TAudioConverter;
class TAvIn;
class TM4aOut;
class TOpusOut;
class TEncodeProcess;
class TFastResampler;
class TFlacIn;
class TFlacOut;
class TVorbisIn;
class TMp3EncodeProcess;
class TVorbisOut;
class TWMAEncodeProcess;
class TWaveIn;
class TWaveOut;

// ErrorCode of a skipped entry (its rip failed, or its encoder could not start).
constexpr int EntrySkipped = 4;
// ErrorCode of a stream run (OGG encoder, resampling chain) that raised an error.
constexpr int StreamFailed = 9;

class TEncodeStep : public QObject {
    Q_OBJECT
public:
    // The encoder processes may be shared (the main window's); without them the step
    // makes its own.
    TEncodeStep(QObject* owner, TPrompter* prompter, TMp3EncodeProcess* mp3 = nullptr,
                TWMAEncodeProcess* wma = nullptr);
    ~TEncodeStep() override;

    // The WAV reader that feeds the chain and the OGG encoder.
    TWaveIn& WaveIn1() { return *FWaveIn; }
    TAudioConverter& AudioConverter1() { return *FConverter; }
    TVorbisOut& VorbisOut1() { return *FVorbisOut; }
    TWaveOut& WaveOut1() { return *FWaveOut; }
    TFlacOut& FlacOut1() { return *FFlacOut; }
    TFlacIn& FlacIn1() { return *FFlacIn; }
    TVorbisIn& VorbisIn1() { return *FVorbisIn; }
    // Any file FFmpeg decodes, for the inputs no reader of our own knows.
    TAvIn& AvIn1() { return *FAvIn; }
    TOpusOut& OpusOut1() { return *FOpusOut; }
    TM4aOut& M4aOut1() { return *FM4aOut; }
    TMp3EncodeProcess& Mp3() { return *FMp3; }
    TWMAEncodeProcess& Wma() { return *FWma; }

    // The settings the encoder processes and OggCompression read (a job's copy); none: the
    // global ones.
    std::shared_ptr<const TOptionsSetting> Settings;

    // Start an encoder process: Active, paths, owner, Encode, Kind, then Start. Throws
    // EEncodeProcessError when the child cannot be started.
    // beforeCommit: the tags into the whole part file before its rename (see
    // TEncodeProcess::BeforeCommit).
    void StartMp3(const QString& input, const QString& output, bool encode, int kind,
                  std::function<QString(const QString& part)> beforeCommit = {});
    void StartWma(const QString& input, const QString& output, int kind,
                  std::function<QString(const QString& part)> beforeCommit = {});
    // Run the OGG encoder on WaveIn1 (whose FileName the caller set) with the given
    // quality; run the resampling chain from WaveIn1 into `tempPath`.
    void RunOgg(const QString& output, float compression);
    // The same with the encoder's settings left as the caller made them (ApplyOggOptions).
    void RunOggAsSet(const QString& output);
    void RunResample(const QString& tempPath);
    // Run the FLAC encoder (level and comments as the caller set them) on `input`: WaveIn1,
    // FlacIn1, VorbisIn1 or a reader of the caller's, whose file the caller set.
    void RunFlac(TAuInput* input, const QString& output);
    // Run the Opus or MP4 encoder (settings as the caller made them) on `input`, as RunFlac.
    void RunOpus(TAuInput* input, const QString& output);
    void RunM4a(TAuInput* input, const QString& output);
    // The reader of a file for the encoders above: WaveIn1 for a WAV file, else AvIn1; its
    // file set.
    TAuInput* ReaderOf(const QString& path);
    // Decode the FLAC file `input` (or any other file FFmpeg decodes) into the WAV file
    // `output` (its own format).
    void RunFlacDecode(const QString& input, const QString& output);

    // Ends whatever runs: the encoder processes (Stop(0)) and the stream components
    // (synchronously; their pending events are dropped).
    void StopAll();
    // Asks the OGG encoder to finish without waiting for it (its done event follows).
    void StopOggAsync();
    bool StreamBusy() const;

    // The quality value of the OGG settings: (CompressPosition - 10) / 100 with
    // IsUseCompress, else 0.2.
    float OggCompression() const;

private:
    void PostStreamProgress(int percent);
    void StreamDone(int code);

    QObject* FOwner;
    TPrompter* FPrompter;
    std::unique_ptr<TMp3EncodeProcess> FOwnMp3;
    std::unique_ptr<TWMAEncodeProcess> FOwnWma;
    TMp3EncodeProcess* FMp3;
    TWMAEncodeProcess* FWma;
    // Declared source first: the outputs are destroyed (and stopped) before their inputs.
    std::unique_ptr<TWaveIn> FWaveIn;
    std::unique_ptr<TFastResampler> FResampler;
    std::unique_ptr<TAudioConverter> FConverter;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TVorbisOut> FVorbisOut;
    std::unique_ptr<TFlacIn> FFlacIn;
    std::unique_ptr<TVorbisIn> FVorbisIn;
    std::unique_ptr<TFlacOut> FFlacOut;
    std::unique_ptr<TWaveOut> FFlacWaveOut;     // FlacIn1 into a WAV
    std::unique_ptr<TAvIn> FAvIn;
    std::unique_ptr<TOpusOut> FOpusOut;
    std::unique_ptr<TM4aOut> FM4aOut;
    QElapsedTimer FStreamStart;
    QString FStreamError;                 // the error of the current stream run
};
