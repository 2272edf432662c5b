#pragma once
// The per-entry pieces of a conversion job, kept apart from its state machine so that
// every job that rips or encodes files shares them: what an entry of a CD job means,
// where each output goes, the ID3 tag of a ripped track, the WMA progress estimate,
// deleting work files, and what became of each entry.
#include "encode/EncoderOutput.h"   // MinutesSeconds
#include "encode/OutputFormats.h"
#include "settings/CDInfo.h"

#include <QString>
#include <cstdint>

// An entry of a CD job: the track's position on the disc in its first two characters, the
// track's title after them as stored (what the tags get; the file names are cleaned from it).
struct TRipEntry {
    int TrackNumber = 0;     // 0 when the first two characters are not a number
    QString Title;
};
TRipEntry ParseRipEntry(const QString& entry);
// The entry for track `trackNumber` (1 = first) titled `title`: its number in two digits
// and the title as it is.
QString RipEntryText(int trackNumber, const QString& title);

// outputFolder (with its trailing separator) + the file name of `input` with its last
// extension replaced by `extension` (".mp3").
QString OutputPathFor(const QString& outputFolder, const QString& input, const QString& extension);
// `path` with its last extension replaced (the same folder).
QString ChangeFileExt(const QString& path, const QString& extension);

// Why an input file cannot be read at all ("does not exist", "is a folder, not a file",
// "is empty", "cannot be opened: ..."); empty when it can be opened and holds something.
QString InputFileProblem(const QString& path);
// Whether the file starts as MP3 audio does: after an optional ID3v2 tag, two MPEG audio
// frame headers one frame length apart (a lone sync pattern is no proof). False for a file
// that cannot be read.
bool LooksLikeMp3(const QString& path);

// Deletes `path` when it exists and is not in use; true when it is gone afterwards.
bool DeleteIfFree(const QString& path);

// Writes the ID3v1 tag of a ripped track into `mp3Path`: the title, the disc's artist,
// album, year, genre and comment, and the track number. Returns the tag writer's status
// (above 255: failed).
uint16_t WriteTrackTag(const QString& mp3Path, const QString& title, int trackNumber, const TCDInfo& disc);
// The message shown when the tag could not be written.
QString TagErrorText(uint16_t status);

// The estimated total seconds of a WMA encoding `elapsed` seconds in: 2 for an input under
// 2,000,000 bytes; else the expected output size (input * 1000 / ratio, at least the
// current size) scaled by the time the current size took. At least elapsed + 1.
// -1 when there is nothing to estimate from yet (no output bytes).
int64_t WmaEstimatedTotal(int64_t elapsed, int64_t inputSize, int64_t outputSize, int ratio);
constexpr int64_t WMA_SMALL_INPUT = 2000000;

// What became of one entry of a job.
struct TEntryResult {
    QString Output;          // the file the entry was to produce (empty: not reached)
    bool Produced = false;
    QString Failure;         // why not, when known
};
