#pragma once
// The rip job of the CD input component: the ticked tracks ("NN" + title entries) read
// through a TCDIn into one WAV file each, and, when the output format is not WAV, each WAV
// encoded (MP3 or WMA through the encoder processes, OGG through a Vorbis writer) by one of
// the job's workers ([CommonOptions] Jobs of them, see RipPipeline.h) while the reader goes
// on with the next track; with one worker each track is encoded before the next is read.
// With several workers a normalized track is normalized by its worker. FLAC is encoded
// from the read itself (no WAV) unless the WAV is to be kept or normalized, which takes
// the WAV-then-encode way. With the FLAC
// cue-sheet setting the tracks go into one "<Artist> - <Album>.flac" instead, read in
// order into one stream, and its cue sheet is written when the last one is done; a track
// that fails gives up that file. It holds the state machine and no widgets; TfrmCDRip, the
// command line and the tests show what View() holds and forward Stop.
//
// Every step's outcome reaches the job as a TProcessInfoEvent on the main thread:
//   WAV writer      progress 0..100; done 1000 (ErrorCode: 0, or RipError::ReadFailed /
//                   CreateFailed with the reason in ElapsedText)
//   encode step     MP3 end 2000, OGG done 3000, WMA end 5000 (see EncodeStep.h), to the
//                   worker whose step it is
#include "encode/EncodeStep.h"
#include "encode/OutputFormats.h"
#include "jobs/JobBase.h"
#include "jobs/RipPipeline.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <memory>

class TCDIn;
class TFlacOut;
class TRipAudit;
class TWaveOut;

class TCDRipJob : public TJobBase {
    Q_OBJECT
public:
    using enum TOutputFormat;

    // What the window shows.
    struct TView {
        QString CurrentTrack;      // the title of the entry worked on
        QString OutputFormat;      // the format's name: "MP3", "WAV", "OGG", "WMA", "FLAC"
        int SelectedTracks = 0;
        int Completed = 0;
        QString ProgressHint;      // "Extracting..." / "Encoding..."
        QString GaugeHint;         // "Initializing...", then the step's name
        int Gauge = 0;
        // The reader's row, then one per worker.
        QVector<TPipelineRow> Rows;
    };

    // cdIn: the component to read (its current drive is used); it must outlive the job.
    TCDRipJob(TCDIn& cdIn, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3 = nullptr,
              TWMAEncodeProcess* wma = nullptr, QObject* parent = nullptr);
    ~TCDRipJob() override;

    void Start() override;
    void StopJob() override;
    void Close() override;
    QString StepCaption() const override { return FView.ProgressHint + QLatin1Char(' ') + FView.CurrentTrack; }
    int StepPercent() const override { return FView.Gauge; }
    QVector<TPipelineRow> ProgressRows() const override { return FView.Rows; }

    const TView& View() const { return FView; }
    int Format() const { return FFormat; }
    // The title of entry i as the progress rows show it (unique within the job, never empty;
    // tags and cue sheets take the entry's own title) and its WAV path (below the output
    // folder, by the pattern).
    QString Title(int i) const { return FTitles.value(i); }
    QString WavName(int i) const;
    // The first worker's encode step; the number of workers; the most ripped WAVs that
    // were waiting for or being encoded at once.
    TEncodeStep& Step() { return FWorkers.front()->Step(); }
    int Jobs() const { return int(FWorkers.size()); }
    int MaxPending() const { return FPipeline.MaxPending(); }
    TWaveOut& WaveOut1() { return *FWaveOut; }
    TFlacOut& FlacOut1() { return *FFlacOut; }

protected:
    bool event(QEvent* e) override;
    void CleanUp() override;

private:
    void StartRip(int index);
    void SelectTrack(int trackNumber);
    void WaveDone();
    void FlacRipDone();
    // FLAC from the read itself: no WAV is kept or normalized.
    bool FlacDirect() const;
    // The whole-disc file: ends it and writes its cue sheet; the entries' results follow.
    void FinishCueFile();
    void GiveUpCueFile(int failedIndex, const QString& why);
    void RipFinished(const TProcessInfo& info);
    // With several workers and normalize, the worker normalizes the WAV first; Encode
    // then starts its encoder.
    void StartEncode(TEncodeWorker& worker, int index);
    void Encode(TEncodeWorker& worker, int index);
    void WorkerInfo(TEncodeWorker& worker, const TProcessInfo& info);
    void EncodeEnd(TEncodeWorker& worker, const TProcessInfo& info);
    // The reader has done with entry FCount - 1: hands out waiting WAVs, reads on when the
    // pipeline lets it, ends the job when everything is over.
    void Next();
    void Dispatch();
    int BusyWorkers() const;
    void UpdateView();
    void WmaTick();
    void Post(int percent, int errorCode = 0, const QString& text = QString());
    QString EncodedName(int index) const;
    // The entry's output by the Existing rule (its wanted name until decided); the part
    // file its track is ripped into; the test pass's scratch file.
    QString OutputName(int index) const;
    QString RipFile(int index) const;
    QString TestFile(int index) const;
    // After the encoding: the rip becomes the kept WAV (by the Existing rule), or goes.
    void KeepOrDiscardRip(int index);

    TCDIn& FCDIn;
    QStringList FTitles;
    QStringList FPaths;                   // output files relative to the output folder
    QHash<int, QString> FFinal;           // entry -> its output's decided name
    QHash<int, QString> FKeepWav;         // entry -> the kept WAV's decided name
    int FFormat = FormatWav;
    int FCount = 0;                       // entries finished; entry FCount is worked on
    std::vector<std::unique_ptr<TEncodeWorker>> FWorkers;
    TRipPipeline FPipeline;
    bool FReading = false;                // the reader works on entry FCount
    TPipelineRow FReaderRow;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TFlacOut> FFlacOut;   // FLAC straight from the disc
    QString FWaveError;                   // the writer's thread exception of this run
    TView FView;
    QTimer FTimer1;
    bool FCleaned = false;
    bool FCue = false;                    // the whole disc as one FLAC file
    QString FCueFile;
    std::vector<int64_t> FCueOffsets;     // each ripped entry's first frame in that file
    TRipAudit* FAudit = nullptr;          // checksums, database verdicts, rip log (a child)
    bool FTesting = false;                // the test pass of the current track runs
    bool FTested = false;                 // ... has run; its CRC is FTestCrc
    uint32_t FTestCrc = 0;
};
