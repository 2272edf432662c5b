#pragma once
// The rip job: the ticked tracks ("NN" + title entries) read one after another by the rip
// thread through the disc's reader (either CD library, see cd/DiscReader.h) into a WAV part
// file each, checked (test pass, checksums, the database verdicts and the rip log through
// TRipAudit) and, when the output format is not WAV, each WAV encoded by its format's
// encoder component (Encoder.h) on one of the job's workers ([CommonOptions] Jobs of them,
// see RipPipeline.h) while the reader goes on with the next track; with one worker each
// track is encoded before the next is read. With the FLAC cue-sheet setting the tracks go
// into one "<Artist> - <Album>.flac" instead, encoded on the rip thread from the read itself
// (one stream cannot be split over workers; no WAV unless it is kept), its cue sheet written
// when the last one is done; a track that fails gives up that file.
//
// It holds the state machine and no widgets. Two windows show it: the CD rip window
// (View()) and the step-by-step progress window (StepView()); the command line and the
// tests follow the same views and forward Stop.
//
// Every step's outcome reaches the job on the main thread: the rip thread's events
// (progress, NormalizeBegins, RipFinished with RipError codes, or a TRipFailedEvent when
// the disc's table cannot be had) and, through its worker, each encoder's end.
#include "audio/ReplayGain.h"
#include "cd/CDRipThread.h"
#include "encode/EncodeStep.h"
#include "encode/OutputFormats.h"
#include "jobs/JobBase.h"
#include "jobs/RipPipeline.h"
#include "metadata/TrackTags.h"
#include "settings/Options.h"

#include <QHash>
#include <QSet>
#include <QTimer>

struct TWholeDiscLayout;
#include <memory>

class TDiscSource;
class TRipAudit;
class TRipProof;

class TCDRipJob : public TJobBase {
    Q_OBJECT
public:
    using enum TOutputFormat;

    // What the CD rip window shows.
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
        // The databases' verdicts once the job's end has them (VerdictLines).
        QStringList Verdicts;
    };

    // disc: where the tracks are read (it must outlive the job). settings: the job's copy
    // (none: a copy of OptionsSetting now).
    TCDRipJob(TDiscSource& disc, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3 = nullptr,
              TWMAEncodeProcess* wma = nullptr, std::shared_ptr<const TOptionsSetting> settings = {},
              QObject* parent = nullptr);
    ~TCDRipJob() override;

    void Start() override;
    void StopJob() override;
    void Close() override;
    QString StepCaption() const override { return FView.ProgressHint + QLatin1Char(' ') + FView.CurrentTrack; }
    int StepPercent() const override { return FView.Gauge; }
    QVector<TPipelineRow> ProgressRows() const override { return FView.Rows; }
    const TStepView& StepView() const override { return FStepView; }
    int Workers() const override { return int(FWorkers.size()); }

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
    // The checks of the rip: "Track N: AccurateRip ...; CTDB ..." per track read that a
    // database was asked about, then the CUETools database's lines on the disc and its
    // repair. Empty before the job's end, or when no database was asked.
    QStringList VerdictLines() const;
    // The log's line on the audio before track 1: ripped as track 0, left out as chosen,
    // or digital silence and so not ripped.
    void NoteHiddenAudio();
    // "AccurateRip: N of M tracks accurate" and the CUETools database's verdict on the disc.
    QString VerdictSummary() const override;
    // The rip log was due and could not be written.
    bool LogFailed() const;

protected:
    bool event(QEvent* e) override;
    void CleanUp() override;

private:
    // Reading (CDRipJob.cpp).
    void StartRip(int index);
    void RipProgress(const TProcessInfo& info);
    // The step window's times and gauge from a progress record (the reader's or an encoder's).
    void ShowStepProgress(const TProcessInfo& info);
    void RipFinished(const TProcessInfo& info);
    // The disc's table cannot be had: every entry not yet read fails, the job ends.
    void LayoutFailed(int reason);
    // The reader has done with entry FCount - 1: hands out waiting WAVs, reads on when the
    // pipeline lets it, ends the job when everything is over.
    void Next();
    void UpdateView();
    void SetCaption(const QString& prefix, int number, int index);
    void SetGroup(const QString& key, const QString& builtIn);

    // Encoding (CDRipJobEncode.cpp).
    void Dispatch();
    void Encode(TEncodeWorker& worker, int task);
    void WorkerProgress(const TProcessInfo& info);
    void EncodeEnd(TEncodeWorker& worker, const TProcessInfo& info);
    int BusyWorkers() const;
    void WmaTick();

    // The whole-disc FLAC file (CDRipJobFlac.cpp): ends it and writes its cue sheet; the entries' results follow.
    void FinishCueFile();
    void GiveUpCueFile(int failedIndex, const QString& why);
    // The cue sheet of a rip of separate files, when the job ends (CDRipJobCue.cpp).
    void WriteRipCueSheet();
    TWholeDiscLayout CueLayout() const;

    // Several formats from one read (CDRipJobFormats.cpp). Entry i's work in format slot k
    // (FFormats[k]; slot 0 is FFormat) is task i * FFormats.size() + k.
    void SetUpFormats(const QSet<QString>& primaryPaths);
    int TaskOf(int index, int slot) const { return index * int(FFormats.size()) + slot; }
    int EntryOf(int task) const { return task / int(FFormats.size()); }
    int SlotOf(int task) const { return task % int(FFormats.size()); }
    // The outputs of the other formats by the Existing rule, when entry `index` is read.
    void ClaimExtraFormats(int index);
    // Hands the ripped entry's encodes to the workers; none: the entry is over.
    void QueueEncodes(int index);
    // The WAV the encoders of entry `index` read.
    QString EncodeInput(int index) const;
    // An encode of the entry has ended (why: its failure, message: what to tell); the last
    // one decides what becomes of the rip and hands the entry's outcome back.
    void TaskEnded(int task, const QString& why, const QString& message);
    void EntryEncoded(int index);

    QString EncodedName(int index) const;
    // The entry's output by the Existing rule (its wanted name until decided); the part
    // file its track is ripped into.
    QString OutputName(int index) const;
    QString RipFile(int index) const;
    // After the encoding: the rip becomes the kept WAV (by the Existing rule), or goes.
    void KeepOrDiscardRip(int index);
    // The job is over: the CUETools database's check (and repair), then the log.
    bool HoldForChecks(std::function<void()> resume);
    // The files a database repair may mend in place, in disc order; none with the reason.
    QStringList RepairableFiles(QString& why) const;

    // Tags (CDRipJobTags.cpp): entry `index`'s record (its gain when measured); what writes
    // it into the part file of `output` (none: nothing to write); the album's gain into
    // every finished file.
    TTagRecord TagsOf(int index) const;
    // The whole-disc file's: the album's fields and loudness.
    TTagRecord DiscTags() const;
    std::function<QString(const QString& part)> TagWriter(int index, const QString& output) const;
    void TagAlbumGain();

    TDiscSource& FDisc;
    QStringList FTitles;
    QStringList FPaths;                   // output files relative to the output folder
    QHash<int, QString> FFinal;           // entry -> its output's decided name
    QHash<int, QString> FKeepWav;         // entry -> the kept WAV's decided name
    int FFormat = FormatWav;
    int FDiscTracks = 0;                  // the disc's tracks, for the tags' track totals
    int FCount = 0;                       // entries finished; entry FCount is worked on
    std::vector<std::unique_ptr<TEncodeWorker>> FWorkers;
    TRipPipeline FPipeline;
    std::unique_ptr<TCDRipThread> FRip;   // the read of entry FCount, while it runs
    std::unique_ptr<TRipSink> FRipSink;   // the whole-disc FLAC file, encoded from the read
    TPipelineRow FReaderRow;
    TView FView;
    TStepView FStepView;
    QTimer FTimer1;
    QElapsedTimer FJobClock;              // since Start: the step window's times
    bool FCleaned = false;
    bool FCue = false;                    // the whole disc as one FLAC file
    QString FCueFile;
    TRipAudit* FAudit = nullptr;          // checksums, database verdicts, rip log (a child)
    TRipProof* FProof = nullptr;          // the CUETools database's check and repair (a child)
    bool FBurst = false;                  // read fast; a track no database confirms is read again
    QHash<int, QString> FReread;          // entry -> why its burst copy was read again
    TReplayGain FGain;                    // the loudness of the tracks read whole
    QHash<int, TReplayGainResult> FTrackGain;   // entry -> its track's
    TDiscTagExtras FTagExtras;            // the disc's CD-Text and cover for the tags
    QVector<int> FFormats;                // the formats made; the first is FFormat
    QVector<QStringList> FSlotPaths;      // slot k > 0: its outputs relative to the output folder
    QHash<int, QString> FSlotFinal;       // task of slot k > 0 -> its output's decided name ("": none)
    QHash<int, int> FOpenTasks;           // entry -> its encodes not yet ended
    QHash<int, QList<QPair<QString, QString>>> FTaskFailures;   // entry -> (why, message) of failed encodes
    QHash<int, QStringList> FSlotMade;    // entry -> its whole outputs of slots k > 0
};
