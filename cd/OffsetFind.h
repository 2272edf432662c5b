#pragma once
// Finding a drive's read offset from one plain read of a disc AccurateRip knows: the disc's
// PCM streams through once; every offset in -range..+range is then tried against the
// database's v1 checksums of every track, each in constant time from running sums kept
// only near the tracks' ends; the best offset is confirmed by v2 on one track whose samples
// were kept.
#include "cd/AccurateRip.h"
#include "cd/RipAudit.h"

#include <cstdint>
#include <vector>

constexpr int OffsetFindRange = 2940;

struct TOffsetFound {
    bool Found = false;         // at least one track matched by v1
    int Offset = 0;             // the correction: sample p of a rip is sample p + Offset of the disc
    int Tracks = 0;             // audio tracks matched by v1 at Offset
    int AudioTracks = 0;
    int Confidence = 0;         // the sum of the matching entries' confidences
    int V2Track = 0;            // the track v2 was checked on (0: none)
    bool V2 = false;            // its v2 checksum matched too
    int V2Confidence = 0;
};

class TOffsetFinder {
public:
    // The disc (audio tracks only) and the database's answer for it.
    TOffsetFinder(const TDiscLayout& disc, const TDbarReply& reply, int range = OffsetFindRange);
    // The disc's PCM from sector 0 on, in order, in chunks of any size.
    void Add(const uint8_t* data, size_t bytes);
    TOffsetFound Find() const;

    // The v1 checksum of audio track `audio` (1-based) at offset o, from the running sums.
    uint32_t V1(int audio, int offset) const;

private:
    struct TTrack {
        int64_t Start = 0;      // samples
        int64_t Lo = 1, Hi = 0; // the 1-based sample numbers that count
    };
    struct TSpan {              // running sums kept for samples [First, First + size)
        int64_t First = 0;
        std::vector<uint32_t> P, Q;
    };
    void Sample(uint32_t value);
    void Sums(int64_t t, uint32_t& p, uint32_t& q) const;
    uint32_t V2At(int audio, int offset) const;

    int FRange;
    TDbarReply FReply;
    std::vector<TTrack> FTracks;
    std::vector<TSpan> FSpans;  // merged, ascending
    size_t FNextSpan = 0;
    int64_t FPos = 0;           // samples seen
    uint32_t FP = 0, FQ = 0;    // sums of D[t] and t * D[t] over t < FPos
    int FKeepTrack = 0;         // the track whose samples are kept for v2
    int64_t FKeepFirst = 0;
    std::vector<uint32_t> FKept;
    uint8_t FPending[4] = {};
    int FPendingBytes = 0;
};
