#pragma once
// The CUETools database check of a rip in progress, for the rip job: it is fed the same
// corrected PCM as the AccurateRip sums, track by track, and asks the database once the
// last audio track is in. Repairs are not made here (the files are the job's): the verdict
// says which entry would repair the rip and where (TCtdbVerdict::BestRepair()).
//
//   check.Begin(disc);                         // when the rip starts
//   check.Add(track, data, bytes);             // beside TTrackChecksum::Add, any chunking
//   check.EndTrack(track);                     // when the track's stream has ended
//   verdict = check.Verify(base, http, &abort) // on a worker thread, after the last track
//   log: verdict.Lines(), and per track TrackText(verdict, audioIndex)
#include "cd/Ctdb.h"
#include "cd/RipAudit.h"
#include "platform/HttpClient.h"

#include <QString>

class TCtdbRipCheck {
public:
    void Begin(const TDiscLayout& disc);
    // Disc track `track` (its number on the disc); data tracks are ignored. The audio tracks
    // must come whole and in the disc's order, else the rip is not checked.
    void Add(int track, const uint8_t* data, size_t bytes);
    void EndTrack(int track);
    // Every audio track came whole, in order.
    bool Complete() const { return !FBroken && FRip.Complete(); }
    const TCtdbAccumulator& Rip() const { return FRip; }

    // Blocks while the database is asked (and parity files fetched); a Stop through `abort`
    // ends it at once. A rip not Complete gives the verdict Off (no lines).
    TCtdbVerdict Verify(const QString& base, const THttpOptions& http, THttpAbort* abort = nullptr) const;

    // One audio track's word for the log: "verified, confidence N", "not verified", else
    // the disc's verdict ("disc not present in database", "database access error: ...") or
    // "not checked".
    static QString TrackText(const TCtdbVerdict& verdict, int audioTrack);

private:
    TDiscLayout FDisc;
    TCtdbAccumulator FRip;
    int FExpected = 1;          // the audio index of the next track to come
    bool FInTrack = false;
    bool FBroken = false;
};
