#pragma once
// Cue sheets the program writes beside a rip (one FILE per track, each track's gap at the
// end of the file before it) and into a whole-disc FLAC file, and reads back: enough of the
// disc's layout (gaps, index points, ISRC, catalogue number, flags, CD-Text titles) to
// rebuild it.
#include "platform/DiscExtras.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct TCDInfo;

struct TCueIndex {
    int Number = 1;
    QString File;                  // the file the position counts in
    int64_t Frames = 0;            // CD frames (1/75 s) from the file's start
};

struct TCueTrack {
    int Number = 1;
    QString Title;
    QString Performer;
    QString Isrc;
    bool PreEmphasis = false;
    bool CopyPermitted = false;
    int64_t Pregap = 0;            // PREGAP: a gap in no file (frames)
    std::vector<TCueIndex> Indices;   // in order; INDEX 00 (when there) first
};

struct TCueDisc {
    QString Title;
    QString Performer;
    QString Genre;
    QString Date;
    QString DiscId;
    QString Comment;
    QString Catalog;
    std::vector<TCueTrack> Tracks;
};

// A text as a cue sheet can hold it: line breaks and other control characters become
// spaces, double quotes become single ones, at most 1000 UTF-8 bytes (whole characters).
// What ReadCueSheet gives back for a text written.
QString CueText(const QString& text);

// The sheet as UTF-8 without a byte-order mark, one line per "\n".
QByteArray WriteCueSheet(const TCueDisc& disc);
// Reads a sheet (UTF-8) back; what it cannot parse is left out.
TCueDisc ReadCueSheet(const QByteArray& text);

// One file of a rip: disc track `Track` (1-based) whose INDEX 01 lies `At` frames into `File`.
struct TCuePiece {
    int Track = 1;
    QString File;
    int64_t At = 0;
};

// The sheet of a rip: the disc's fields and each piece's track with its titles (from info),
// ISRC, flags, gap and index points (from extras; starts: the table's track starts then the
// lead-out). A track's gap is INDEX 00 in the file of the track before it when that track
// is the piece before (track 1's when a piece of track 0, the hidden track, comes first);
// else track 1's gap, in no file, is a PREGAP.
TCueDisc RipCueSheet(const std::vector<TCuePiece>& pieces, const std::vector<int64_t>& starts, const TDiscExtras& extras,
                     const TCDInfo& info, const QString& discId, const QStringList& performers = {});
