#pragma once
// The rip log: what a rip read and what it is worth, as plain text a user can keep beside
// the files and show to others. The text is a pure function of the record, so the same
// rip always gives the same log.
#include "cd/AccurateRip.h"

#include <QString>
#include <cstdint>
#include <vector>

struct TRipLogTrack {
    int Number = 0;
    int64_t FirstSector = 0;          // the track's sectors as the table of contents gives them
    int64_t LastSector = -1;
    bool Data = false;                // a data track: listed, not read
    bool Read = false;                // a copy was made (else Failure says why)
    QString Failure;
    uint32_t Crc = 0;                 // of the bytes written, after the read offset correction
    uint32_t V1 = 0;
    uint32_t V2 = 0;
    bool Tested = false;              // a test pass ran first
    uint32_t TestCrc = 0;
    std::vector<int64_t> ReadErrors;  // absolute sectors a read failed on, in order met
    int JitterRepairs = 0;
    int64_t LeadZeros = 0;            // samples before the disc's first sector, given as zeros
    int64_t TailZeros = 0;            // samples past the disc's end, given as zeros
    TTrackVerdict Verdict;
};

struct TRipLogRecord {
    QString Disc;                     // "Artist - Album"
    QString Drive;
    int ReadOffset = 0;               // samples
    QString Paranoia;                 // "full", "off", ...
    int Retries = 0;
    QString AccurateRipId;            // TAccurateRipId::Text()
    bool Normalized = false;          // the files were normalized after the checksums were taken
    std::vector<TRipLogTrack> Tracks;
};

// The log's lines, each ended by '\n'.
QString RipLogText(const TRipLogRecord& record);
// "+6", "-30", "0".
QString SignedNumber(int value);
// Sectors in order collapsed to runs: "Read error at sector 5", "Read error at sectors 7-9".
QStringList ReadErrorLines(const std::vector<int64_t>& sectors);
