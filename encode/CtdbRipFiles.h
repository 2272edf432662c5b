#pragma once
// A rip kept as files (WAV or FLAC, 16-bit stereo 44.1 kHz, one per track or one for the
// disc) with its cue sheet, as the CUETools database sees it: the disc layout the sheet and
// the files' lengths give, the PCM streamed into an accumulator, and the repair of the files
// in place (the part file written whole, then renamed over the original).
#include "cd/Ctdb.h"
#include "cd/RipAudit.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// What a cue sheet says: its audio files in order and, per track, the file and the INDEX 01
// position within it (sectors). Data tracks are not part of such a rip.
struct TRipCue {
    bool Ok = false;
    QString Error;
    QStringList Files;                 // as paths (relative names taken from the sheet's folder)
    std::vector<int> TrackFile;        // index into Files
    std::vector<int64_t> TrackIndex1;  // sectors from the start of that file
};
TRipCue ParseRipCue(const QByteArray& text, const QString& folder);

// The rip's files, their lengths and the disc they make.
struct TRipFiles {
    QStringList Paths;
    std::vector<int64_t> FirstSample;  // of each file, counted from the first file's start
    std::vector<int64_t> Samples;
    TDiscLayout Disc;                  // LBAs from the first file's start
    int64_t SkipSamples = 0;           // before the first track's INDEX 01 (a pregap on file)
};
// Opens every file of the sheet (16-bit stereo 44.1 kHz WAV or FLAC) and lays out the disc;
// false with the reason.
bool OpenRipFiles(const QString& cuePath, TRipFiles& files, QString& error);
// The files of the sheet as given (no sheet: one file is the disc, one track).
bool OpenRipFiles(const QStringList& paths, TRipFiles& files, QString& error);

// Streams the files' audio, from the first track's INDEX 01, into the accumulator.
bool ReadRipFiles(const TRipFiles& files, TCtdbAccumulator& rip, QString& error);

// Rewrites every file the repair touches; the number of files rewritten, -1 on failure
// (error says which and why; files already rewritten stay repaired).
int RepairRipFiles(const TRipFiles& files, const TCtdbRepair& repair, QString& error);
// One file whose first sample is `firstSample` of the rip (after the skipped pregap).
bool RepairRipFile(const QString& path, int64_t firstSample, const TCtdbRepair& repair, QString& error);
