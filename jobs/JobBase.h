#pragma once
// What every ripping or encoding job shares, whatever its state machine: the entry list,
// the prompter, what became of each entry, the stop/close/end bookkeeping, and the two
// signals its window and the command line follow. A job is driven by TProcessInfoEvents
// delivered to it on the main thread; when it is over it emits CloseRequested, queued.
#include "platform/Prompter.h"
#include "encode/JobEntry.h"
#include "jobs/RipPipeline.h"
#include "platform/OutputFile.h"
#include "settings/Options.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

// What the step-by-step progress window shows of a job: the step and its entry in the
// window's title, the group box's caption, the elapsed and estimated times, the gauge.
struct TStepView {
    QString Caption;                          // step prefix, "NN/MM): ", entry name
    QString GroupCaption = QStringLiteral("抓取中");
    QString Label1;                           // elapsed "mm:ss"
    QString Label2;                           // estimated total "mm:ss"
    QString Label3;                           // "Initializing..." over the gauge
    bool Label3Visible = true;
    int Gauge = 0;
    bool PercentTextVisible = false;
    // With several workers: the reader's row (rips), then one per worker.
    QVector<TPipelineRow> Rows;
};

class TJobBase : public QObject {
    Q_OBJECT
public:
    // settings: the job's own copy (none: a copy of OptionsSetting now); the job reads no
    // other settings while it runs.
    TJobBase(const QStringList& entries, TPrompter* prompter, std::shared_ptr<const TOptionsSetting> settings,
             QObject* parent = nullptr);

    // The first step (the window's constructor runs it).
    virtual void Start() = 0;
    // The stop button: ends what runs, removes the interrupted entry's partial output, closes.
    virtual void StopJob() = 0;
    // The window closes: the clean-up, once.
    virtual void Close() = 0;

    // One line naming the current step and its entry, and its progress 0..100 (-1: none
    // to show): what the command line prints.
    virtual QString StepCaption() const = 0;
    virtual int StepPercent() const = 0;
    // What the reader and each encode worker do, one row each (none: a job of one step at
    // a time).
    virtual QVector<TPipelineRow> ProgressRows() const { return {}; }
    // The step-by-step window's view of the job.
    virtual const TStepView& StepView() const = 0;
    // The encode workers beside the reader (none: one step at a time).
    virtual int Workers() const { return 0; }
    // Once the job is done: a line on how far its results are proven (a rip's database
    // verdicts), empty when the job has none.
    virtual QString VerdictSummary() const { return {}; }

    int Count() const { return FEntries.size(); }
    const QStringList& Entries() const { return FEntries; }
    bool Done() const { return FDone; }
    bool WasStopped() const { return FStopped; }
    const QVector<TEntryResult>& Results() const { return FResults; }

signals:
    void ViewChanged();
    void CloseRequested();

protected:
    void Changed() { emit ViewChanged(); }
    // Entry `index` failed for `why` (the first reason given is kept).
    void Fail(int index, const QString& why);
    // Entry `index` was produced, unless a failure was recorded for it.
    void Succeed(int index);
    // Marks every entry not produced as stopped.
    void FailUnproduced();
    // The job is over: the clean-up, then one queued CloseRequested.
    void Complete();
    virtual void CleanUp() = 0;
    // Entry `index` wants to write `wanted`: the name to write, by the job's Existing rule
    // ([CommonOptions] Existing; asked through the prompter). Empty when the entry is over
    // already: an existing file it skips counts as produced (Succeed), one the user kept
    // fails it with a message that says so.
    QString ClaimOutput(int index, const QString& wanted);
    // The same for a second file of the entry (a kept WAV): empty when it is not written.
    QString ClaimExtra(const QString& wanted);
    // The one output every entry shares (a whole-disc file): true with `path` set to the
    // name to write; false when the rule kept the file (every entry produced or failed).
    bool ClaimSharedOutput(QString& path);
    // Asked once when the job is over, before it closes: true when something still has to
    // finish first (a rip log waiting for a database answer), which then calls `resume`.
    std::function<bool(std::function<void()> resume)> FBeforeClose;
    // Called with an entry's output when Succeed finds it produced (rip jobs: the disc's
    // cover beside it).
    std::function<void(const QString& output)> FOnProduced;

    QStringList FEntries;
    TPrompter* FPrompter;
    std::shared_ptr<const TOptionsSetting> FSettingsCopy;
    const TOptionsSetting& FSettings;
    QVector<TEntryResult> FResults;
    bool FDone = false;
    bool FStopped = false;
    TExistingFiles FExisting;
};
