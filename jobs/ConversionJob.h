#pragma once
// A conversion job: one job over a list of entries, one entry after another, driven by the
// notifications of its workers (the rip thread, the encoder processes, the job's own stream
// components). It holds the state machine and no widgets; the progress window TRipForm,
// the command line and the tests show what View() holds and forward Stop.
//
// (CD tracks are ripped by TCDRipJob.)
// Modes:
//   2  WAV to MP3 in the output folder        3  MP3 to WAV in the output folder
//   4  WAV to MP3 beside the input            5  WAV to OGG in the output folder
//   6  WAV to WMA in the output folder       7  WAV, MP3, OGG, FLAC or any file FFmpeg decodes
//                                              to FLAC in the output folder (MP3 decoded
//                                              first into a temporary WAV)
//   8  Opus, 9 AAC, 10 Apple Lossless: WAV or any file FFmpeg decodes, in the output folder,
//      through the format's encoder component (the input decoded in-process).
// Modes 2, 3, 5 and 6 also take FLAC files: each is first decoded into a temporary WAV
// (mode 3: straight into its output). With more than one worker, modes 2, 3, 5, 6 and 8-10
// encode that many files at once when every file goes straight to its encoder (no FLAC to
// decode, no resampling; modes 8-10 decode any readable input themselves); otherwise one
// after another.
// Every notification is a TProcessInfoEvent delivered to this object
// on the main thread; the Percent codes are those of cd/ProcessInfo.h. When the last entry
// is done (or the job is stopped) the job cleans up and emits CloseRequested, queued.
#include "platform/Prompter.h"
#include "encode/EncodeStep.h"
#include "jobs/JobBase.h"
#include "encode/JobEntry.h"
#include "jobs/RipPipeline.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <memory>


class TConversionJob : public TJobBase {
    Q_OBJECT
public:
    enum TMode { WavToMp3 = 2, Mp3ToWav = 3, RecordToMp3 = 4, WavToOgg = 5, WavToWma = 6, ToFlac = 7, ToOpus = 8,
                 ToAac = 9, ToAlac = 10 };
    // The file mode that converts sound files to output format `format` (WAV: from MP3);
    // 0 for a value that is no format.
    static int FileModeMaking(int format);

    using TView = TStepView;

    // settings: the job's copy (none: a copy of OptionsSetting now).
    TConversionJob(int mode, const QStringList& entries, TPrompter* prompter,
                   TMp3EncodeProcess* mp3 = nullptr, TWMAEncodeProcess* wma = nullptr,
                   std::shared_ptr<const TOptionsSetting> settings = {}, QObject* parent = nullptr);
    ~TConversionJob() override;

    // The first step (the window's constructor runs it).
    void Start() override;
    // The stop button: ends what runs, removes the interrupted entry's partial output and
    // the temporary files, and closes.
    void StopJob() override;
    // The window closes: the clean-up, once.
    void Close() override;
    QString StepCaption() const override { return FView.Caption; }
    int StepPercent() const override { return FView.PercentTextVisible ? FView.Gauge : -1; }
    QVector<TPipelineRow> ProgressRows() const override { return FView.Rows; }
    // The encode workers (none: one step at a time), and the most files that were waiting
    // for or being encoded at once.
    int Workers() const override { return int(FWorkers.size()); }
    const TStepView& StepView() const override { return FView; }
    int MaxPending() const { return FPipeline.MaxPending(); }

    const TView& View() const { return FView; }
    int Mode() const { return FMode; }
    TEncodeStep& Step() { return *FStep; }

    int EncodeIndex = 0;
    int OggIndex = 0;
    bool ProgressSeen = false;

protected:
    bool event(QEvent* e) override;

private:
    void HandleInfo(TProcessInfo& info);
    void Mp3End(const TProcessInfo& info);
    void OggEnd(const TProcessInfo& info);
    void StreamEnd(int index, const TProcessInfo& info);
    void ResampleEnd(const TProcessInfo& info);
    void WmaEnd(const TProcessInfo& info);
    void Progress(const TProcessInfo& info);
    void WmaTick();
    void FlacEnd(const TProcessInfo& info);
    void FlacDecoded(const TProcessInfo& info);
    void Mp3DecodedForFlac(const TProcessInfo& info);
    // Modes 8-10 (ConversionJobEncoders.cpp): the entry EncodeIndex through the format
    // table's component, and that component's end.
    bool EncoderMode() const { return FMode == ToOpus || FMode == ToAac || FMode == ToAlac; }
    void NextEncoderFile();
    void EncoderEnd(const TProcessInfo& info);

    // The pipelined rip (ConversionJobPipeline.cpp).
    // Every file goes straight to its encoder (see above), so the workers may take them.
    bool FilesGoStraight() const;
    void StartFileWorkers();
    // What the workers write: the rip's output format, or the file mode's (MP3 for mode 3,
    // whose MP3 encoder process decodes).
    int PipelineFormat() const;
    void PipelineNext();
    void PipelineEncode(TEncodeWorker& worker, int index);
    void PipelineEncodeEnd(TEncodeWorker& worker, const TProcessInfo& info);
    void PipelineRows();
    void PipelineWmaTick();

    // Steps.
    // The start every step that writes entry `index`'s output shares: its name by the Existing
    // rule and its folders. Empty when the entry is over (kept, skipped, no folder; its end
    // is posted as `endPercent`) or the job was stopped.
    QString BeginOutput(int index, const QString& wanted, int endPercent);
    void StartMp3(int index, const QString& input, const QString& output, bool encode);
    void StartWma(int index, const QString& input, const QString& output);
    void StartOgg(int index, const QString& input, const QString& output);
    void StartResample(int index, const QString& input, const QString& temp);
    void NextAfterEncoderEnd();
    void NextMp3File(bool first);
    void NextOggFile(bool first);
    void NextFlacFile();
    // A FLAC entry not yet decoded: starts its decoding and returns true.
    bool DecodeFlacFirst(int index, bool first);
    void StartFlac(int index, TAuInput* input, const QString& output);
    void Skip(int endPercent, int index, const QString& why);
    bool RefuseUnreadable(int index, int endPercent);
    bool RefuseMissingInput(int index, int endPercent);
    // Tells "<entry><cause>" and skips the entry; false.
    bool Refuse(int index, int endPercent, const QString& cause);

    void SetCaption(const QString& prefix, int number, int index);
    void SetGroup(const QString& key, const QString& builtIn);
    void ShowInitializing();

    void CleanUp() override;

    QString EntryName(int index) const;
    QString OutputOf(int index) const;    // modes 2, 3, 5, 6: the entry's output file
    bool MakeFolders(int index, int endPercent);
    // The work WAV of entry `index` (its input decoded or resampled): a part file named by
    // the entry's output, never a name a user's file could have.
    QString WorkWav(int index) const;
    // The name entry `index` writes for `wanted`, decided once by the Existing rule; empty
    // when the entry is over (its file kept: produced or failed as the rule says).
    QString Claim(int index, const QString& wanted);
    // The end of an entry over before its step began (ErrorCode 4, no message).
    void PostSkipped(int endPercent);
    // The file an entry's encoding reads: the entry, or the WAV its FLAC was decoded into.
    QString InputOf(int index) const { return FDecoded.value(index, FEntries.value(index)); }
    QString OutputFolder() const;
    // What carries entry `index`'s tags and cover into the part file of `output` before its
    // rename (none for a work file).
    std::function<QString(const QString& part)> CopyTagsFrom(int index, const QString& output) const;

    int FMode;
    bool FEntriesAlive = true;            // the entry list of the design: freed by the clean-up
    std::unique_ptr<TEncodeStep> FStep;
    TView FView;
    QTimer FTimer1;
    QElapsedTimer FWmaStart;
    int64_t FWmaInputSize = 0;
    QString FWmaOutput;
    int FCurrentEntry = -1;               // the entry whose output is being written
    QString FCurrentOutput;               // that output, removed when the job is stopped
    QStringList FPaths;                   // outputs relative to the output folder (not mode 4)
    QHash<int, QString> FDecoded;         // entry -> the WAV its FLAC was decoded into
    QHash<int, QString> FFinal;           // entry -> its output's decided name
    bool FFlacFirst = false;              // the first-file flag of the decoded entry's step
    std::vector<std::unique_ptr<TEncodeWorker>> FWorkers;   // pipelined rip only
    TRipPipeline FPipeline;
    std::unique_ptr<TEncoder> FEncoder;   // modes 8-10: the current entry's
    QTimer FWorkerTimer;                  // the WMA estimates of the workers
};
