#pragma once
// The CUETools database's part in a rip job: the rip thread hands it the same corrected PCM
// the AccurateRip sums see (one pass, no second read); when the job's tracks are all in,
// the database is asked on a thread of its own and, for a lossless rip ([CTDB] Repair) that
// an entry's parity can mend, the files are repaired in place and checked again there. The
// outcome goes into the rip log and the job's verdict lines.
//
//   proof.Begin(disc)                      // the job starts ([CTDB] Use, --no-ctdb)
//   rip->Tap = proof.Tap(), ...            // every track's copy
//   proof.Hold(files, resume)              // the job is over: true when resume will come
//   proof.Log()                            // for TRipAudit::SetCtdb
#include "cd/RipAudit.h"
#include "metadata/CtdbRipCheck.h"
#include "platform/HttpClient.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TRipProof : public QObject {
    Q_OBJECT
public:
    TRipProof(const TOptionsSetting& settings, QObject* parent = nullptr);
    ~TRipProof() override;

    void Begin(const TDiscLayout& disc);
    bool Active() const { return FActive; }

    // A burst rip: the database is asked at once, so that each track read can be
    // confirmed by an entry's track CRC (Confirmed) while the rip goes on.
    void LookUpEarly();
    bool Confirmed(int track) const;
    // The early lookup is over, or was never asked for.
    bool EarlyEnded() const;
    // Keeps the check as it stands before a track is read, and goes back to it when the
    // track is read again (main thread, no read running).
    void Mark();
    void Rewind();

    // The rip thread's tap of one track's copy (one track at a time, in disc order). The
    // bytes are summed on a thread of the check's own, beside the read.
    void Add(int track, const uint8_t* data, size_t bytes);
    void EndTrack(int track);

    // The job's tracks are all read and its files have their names: asks the database and
    // repairs `files` (the rip's WAV or FLAC files in disc order, the first from the first
    // track's INDEX 01; none: a rip that cannot be repaired in place, `why` says why) on a
    // thread. True when `resume` will be called (queued) once that is over.
    bool Hold(const QStringList& files, const QString& why, std::function<void()> resume);
    // Ends the lookup and the repair at once (Stop).
    void Abort();

    // The outcome for the log (empty before it is known).
    TRipLogCtdb Log() const;

private:
    struct TChunk {
        int Track = 0;
        std::vector<uint8_t> Data;
        bool End = false;
    };
    void Feed();
    // Waits until every chunk handed over is in the check.
    void Drain() const;
    void Run(QStringList files, QString why);
    void Repair(const TCtdbVerdict& verdict, const QStringList& files, TRipLogCtdb& log);

    bool FActive = false;
    QString FUrl;
    bool FRepair = true;
    THttpOptions FHttp;
    TDiscLayout FDisc;
    TCtdbRipCheck FCheck;
    TCtdbRipCheck FMark;
    std::thread FFeeder;
    mutable std::mutex FQueueLock;
    mutable std::condition_variable FQueueChanged;
    std::deque<TChunk> FQueue;        // guarded by FQueueLock, as the two below
    size_t FQueued = 0;               // bytes waiting
    bool FFeeding = false;            // the feeder holds a chunk
    bool FQuit = false;
    THttpAbort FAbort;
    std::thread FThread;
    std::thread FEarly;
    bool FEarlyDone = false;          // guarded by FLock, as FEntries
    std::vector<TCtdbEntry> FEntries;
    mutable std::mutex FLock;
    TRipLogCtdb FLog;                 // guarded by FLock
    std::function<void()> FResume;
};

// Rip words (16-bit samples, L and R alternating) as runs of samples "first-last".
QStringList CtdbSampleRanges(const std::vector<int64_t>& words);
