#pragma once
// The rip log: what a rip read and what it is worth, as plain text a user can keep beside
// the files and show to others. The text is a pure function of the record, so the same
// rip always gives the same log. Field names are English whatever the program's language,
// so that log checkers can read them; the last line is the SHA-256 of the text above it.
#include "cd/AccurateRip.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct TRipLogTrack {
    int Number = 0;
    int64_t FirstSector = 0;          // the track's sectors as the table of contents gives them
    int64_t LastSector = -1;
    bool Data = false;                // a data track: listed, not read
    bool Read = false;                // a copy was made (else Failure says why)
    QString Failure;
    QString FileName;                 // the file it went to
    uint32_t Crc = 0;                 // of the bytes written, after the read offset correction
    uint32_t V1 = 0;
    uint32_t V2 = 0;
    bool Tested = false;              // a test pass ran first
    uint32_t TestCrc = 0;
    std::vector<int64_t> ReadErrors;  // absolute sectors a read failed on, in order met
    int JitterRepairs = 0;
    int64_t LeadZeros = 0;            // samples before the disc's first sector, given as zeros
    int64_t TailZeros = 0;            // samples past the disc's end, given as zeros
    int Peak = -1;                    // the largest sample magnitude of the copy (0..32768), -1 unknown
    int64_t ReadMs = -1;              // how long the copy's read took, -1 unknown
    TTrackVerdict Verdict;
    QString Ctdb;                     // the CUETools database's word for the track ("" not asked)
    QString Pass;                     // which read made the copy ("" the only one)
    QStringList Corrected;            // sample ranges a database repair corrected in the track
};

// One row of the table of contents.
struct TRipLogToc {
    int Track = 0;
    int64_t Start = 0;                // LBA
    int64_t End = 0;                  // the last sector
    bool Data = false;
    int64_t Pregap = -1;              // sectors before INDEX 01, -1 unknown
    QString Isrc;
};

struct TRipLogRecord {
    QString Program;                  // "VarnelCD 2.0"
    QString Date;                     // "2026-12-08 00:30:00 UTC"
    QString Disc;                     // "Artist - Album"
    QString Drive;
    int ReadOffset = 0;               // samples
    QString ReadMode;                 // "secure", "burst"
    QString ReadSpeed;                // "drive default", "8x", "not applicable (disc image)"; "" unknown
    QString Paranoia;                 // "full", "off", ...
    int Retries = 0;
    bool TestAndCopy = false;
    QString GapHandling;
    QString OutputFormat;             // the format with its encoder settings
    QString Catalog;                  // the disc's MCN/UPC, "" when none
    QString HiddenAudio;              // what became of the audio before track 1 ("" none)
    QString AccurateRipId;            // TAccurateRipId::Text()
    QString CtdbId;                   // the CUETools database's TOC id, "" when not asked
    QStringList CtdbLines;            // the database's verdict on the disc
    QStringList RepairLines;          // what a database repair did to the files
    bool Normalized = false;          // the files were normalized after the checksums were taken
    bool Stopped = false;             // the user stopped the rip
    int Selected = 0;                 // tracks the job was to rip (0: those listed)
    std::vector<TRipLogToc> Toc;
    std::vector<TRipLogTrack> Tracks;
};

// What the CUETools database said of a rip, and what its repair did.
struct TRipLogCtdb {
    QString TocId;
    QStringList Disc;                 // the verdict's lines
    QStringList Repair;               // what the repair did to the files
    QStringList Tracks;               // per audio track, in order
    std::vector<QStringList> Corrected;   // per audio track: the sample ranges repaired
};

// The log's lines, each ended by '\n', the checksum line last.
QString RipLogText(const TRipLogRecord& record);
// "+6", "-30", "0".
QString SignedNumber(int value);
// Sectors in order collapsed to runs: "Read error at sector 5", "Read error at sectors 7-9".
QStringList ReadErrorLines(const std::vector<int64_t>& sectors);
// Sectors as "MM:SS.FF" (minutes, seconds, frames of 75).
QString MsfText(int64_t sectors);

// The last line of a log: "==== Log checksum SHA-256 <64 hex digits> ====" over the UTF-8
// bytes before it.
QByteArray RipLogChecksumLine(const QByteArray& text);
// True when a log's last line is the checksum of the bytes before it.
bool RipLogChecksumOk(const QByteArray& log);
