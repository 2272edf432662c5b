#pragma once
// The rows of the track list, computed from a disc's table of contents, and the disc
// identifier under which the disc's titles are cached.
#include "platform/akrip32.h"
#include <QString>
#include <QVector>

struct TTrackRow {
    int Number = 0;        // the row's caption
    QString Title;         // sub-item 0: what every other window reads as the track's title
    QString Length;        // sub-item 1: "MM:SS"
    QString Size;          // sub-item 2: megabytes with two decimals
    int Position = 0;      // what a rip entry numbers it by: 1 = the table's first track, 0 the hidden track
    bool Data = false;     // a data track: listed, never ticked or read
    bool PreEmphasis = false;
    QString Isrc;          // "" when none
    QString Catalog;       // the disc's catalogue number (MCN), "" when none
    int Pregap = 0;        // sectors of INDEX 00 before INDEX 01
    QVector<int> Indices;  // INDEX 02, 03, ... as sectors after INDEX 01
};

// "MM:SS" and the size in megabytes of a track of the given length (frames are ignored).
QString TrackLengthText(int minutes, int seconds);
QString TrackSizeText(int minutes, int seconds);

// Minutes and seconds between the start of track entry `index` of an MSF table of contents
// and the entry after it (the lead-out after the last track).
void TrackLength(const TTocRecord& toc, int index, int& minutes, int& seconds);

// Number of track entries of a table of contents, or -1 when its track numbers are not
// those of an audio CD (first > last, a number outside 1..99).
int TocTrackCount(const TTocRecord& toc);

// The disc identifier of an MSF table of contents: the audio-CD volume serial number that
// the system shows for the disc, as signed decimal text. Empty for a table without tracks.
QString DiscIdFromToc(const TTocRecord& toc);
uint32_t DiscSerialFromToc(const TTocRecord& toc);
