#pragma once
// Overlapped rip and encode: one reader rips track n+1 while workers encode the tracks
// already ripped. This file holds the parts every job shares:
//   TEncodeWorker  one worker: its own encode step (encoder processes, OGG/FLAC writers),
//                  the entry it encodes, and its row in the job's view; its step's events
//                  reach it, not the job, so several workers can run at once.
//   TRipPipeline   the bookkeeping: the ripped WAVs waiting for a worker, when the reader
//                  may read on, and the outcomes of the entries handed back in entry order
//                  (messages, failures and successes in track order whatever finishes first).
// With one worker the reader waits for the encoder, which is the plain rip-then-encode
// sequence.
#include "platform/Prompter.h"
#include "platform/ProcessInfo.h"
#include "encode/EncodeStep.h"
#include "encode/Encoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class TMp3EncodeProcess;
class TWMAEncodeProcess;

// One row of a job's progress list: the reader ("rip") or a worker ("w1", "w2", ...).
struct TPipelineRow {
    QString Name;
    QString Track;       // the entry's title; empty when idle
    QString Stage;       // "Extracting...", "Encoding...", "waiting", "idle"
    int Percent = 0;
};

class TEncodeWorker : public QObject {
    Q_OBJECT
public:
    // The encoder processes may be shared (the main window's, for the first worker).
    TEncodeWorker(int number, TPrompter* prompter, TMp3EncodeProcess* mp3 = nullptr,
                  TWMAEncodeProcess* wma = nullptr);
    ~TEncodeWorker() override;

    TEncodeStep& Step() { return *FStep; }
    bool Busy() const { return Index >= 0; }
    // Stops the step and removes the partial output; the worker is idle afterwards.
    void Abort();
    // Posts an end notification of the worker's own, as its encoder would (e.g. one that
    // could not start).
    void PostEnd(int percent, int errorCode, const QString& text);
    // Starts the encoder component of `format` (the format table's) on the request for
    // entry `index` (the worker's entry): Output is set while a file is being written; an
    // encoder that cannot start posts the failed end of its format.
    void StartEncoder(int format, int index, const TEncodeRequest& request);
    // The encoder's end `end` has come: what it means for the entry; the worker is idle
    // afterwards.
    TEncodeOutcome Finish(const TProcessInfo& end);
    // The running encoder reports no progress of its own (the estimate's clock runs).
    bool Estimating() const;
    QString EstimatedFile() const;

    int Index = -1;              // the entry encoded; -1: idle
    QString Output;              // the final name being written; its part file goes when stopped
    TPipelineRow Row;
    QElapsedTimer WmaStart;      // the WMA estimate's clock and input size
    int64_t WmaInputSize = 0;
    bool ProgressSeen = false;   // the encoder reported progress for this entry
    // The current entry's encoder has ended (its format's end notification), and its
    // progress (0..100; the row's percent is set and the estimate's clock stopped first).
    std::function<void(TEncodeWorker&, const TProcessInfo&)> OnEnd;
    std::function<void(TEncodeWorker&, const TProcessInfo&)> OnProgress;

protected:
    bool event(QEvent* e) override;

private:
    std::unique_ptr<TEncodeStep> FStep;
    std::unique_ptr<TEncoder> FEncoder;   // the current entry's
    int FEndCode = 0;                     // its format's end notification
};

class TRipPipeline {
public:
    // The worker count of a Jobs setting: 0 (or less) is the number of cores.
    static int ResolveJobs(int setting);

    explicit TRipPipeline(int jobs = 1) { Reset(jobs); }
    void Reset(int jobs);
    int Jobs() const { return FJobs; }

    // A ripped WAV waits for a worker; a worker takes the oldest (-1: none waits).
    void Ripped(int index);
    int Take();
    int Waiting() const { return int(FWaiting.size()); }
    // May the reader start another read, with `busy` workers encoding? One worker: only
    // when nothing is ripped and unencoded; more: while fewer than Jobs+1 ripped WAVs
    // are unencoded, so at most Jobs+1 are on disk waiting or being encoded.
    bool MayRead(int busy) const;
    // The most ripped-and-unencoded WAVs seen at once (the tests' check of the bound).
    int MaxPending() const { return FMaxPending; }
    void NotePending(int busy);

    // Entry `index` is over; `outcome` (messages, Fail/Succeed) runs once every earlier
    // entry's has run. Flush runs whatever is recorded, in order, skipping gaps.
    void Finish(int index, std::function<void()> outcome);
    void Flush();
    int Retired() const { return FRetired; }

private:
    void Retire();

    int FJobs = 1;
    std::deque<int> FWaiting;
    int FMaxPending = 0;
    int FRetired = 0;
    std::map<int, std::function<void()>> FOutcomes;
};

// An encoder with no progress reports (WMA): each such busy worker's row takes the estimate
// from its clock and its output's size so far. Busy: some worker still runs such an encoder.
struct TWmaTick {
    bool Busy = false;
    bool Changed = false;
};
TWmaTick TickWmaWorkers(std::vector<std::unique_ptr<TEncodeWorker>>& workers, int sizeRatio);
