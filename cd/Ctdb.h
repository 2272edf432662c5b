#pragma once
// The CUETools database (CTDB): a disc's id and lookup TOC, the CRCs and Reed-Solomon
// syndromes of a rip gathered as its PCM streams (16-bit stereo little-endian, sample 0 the
// first audio track's INDEX 01, the same bytes the AccurateRip sums see), the drive offset
// found from the syndromes, the verdict over the database's entries and the repair of
// damaged samples from an entry's parity.
//
// Offsets: o means rip[k] = ref[k + o]; the database's window of the disc starts at rip
// sample 5880 - o and holds Rows() rows of 5880 samples.
#include "cd/CtdbMath.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

struct TDiscLayout;

constexpr int CtdbMaxOffset = ctdb::StrideSamples - 1;   // the whole-disc search, either way
constexpr int CtdbTrackSearch = 2939;                     // the per-track search, either way

// The disc as the database sees it: the audio tracks only, relative to the first one.
struct TCtdbToc {
    bool Valid = false;
    std::vector<int64_t> TrackStarts;   // samples from the first audio track's INDEX 01
    int64_t AudioSamples = 0;           // N: up to the audio end (an enhanced CD's gap left out)
    QString Text;                       // the lookup TOC: "0:15000:30000:-56400:70000"
    QString Id;                         // "xFGYFlJdo92ikAXGH5LTHMImHww-"

    int Tracks() const { return int(TrackStarts.size()); }
    int Rows() const;                   // L = N / 5880 - 2 (0 when too short)
};

// From the rip's table of contents (LBAs without the 150, data flags, the lead-out).
TCtdbToc CtdbTocOf(const TDiscLayout& disc);
// From a TOC string as the lookup sends it and the database stores it; Valid false for junk.
TCtdbToc CtdbTocOf(const QString& text);

// One entry of the database's reply.
struct TCtdbEntry {
    qint64 Id = 0;
    uint32_t Crc = 0;
    int Confidence = 0;
    int Npar = 0;
    int Stride = 0;
    QString ParityUrl;                  // absolute; empty when the entry has no parity file
    std::vector<uint16_t> Syndrome;     // column 0, Npar values (from a legacy parity too)
    std::vector<uint32_t> TrackCrcs;
    QString Toc;
};

// The CRCs and syndromes of one rip, fed with its PCM in chunks of any size, in one pass.
// Keeps the running CRC at every sample near each track boundary and the window's ends,
// the rows around the window and one set of syndromes per column: a few MB whatever the
// length of the disc.
class TCtdbAccumulator {
public:
    TCtdbAccumulator() = default;
    explicit TCtdbAccumulator(const TCtdbToc& toc) { Reset(toc); }
    void Reset(const TCtdbToc& toc);
    // Bytes past the audio end are ignored.
    void Add(const uint8_t* data, size_t bytes);

    const TCtdbToc& Toc() const { return FToc; }
    int64_t Samples() const { return FBytes / 4; }
    // Every sample fed and the disc long enough for a window.
    bool Complete() const { return FToc.Valid && FRows > 0 && FBytes == FToc.AudioSamples * 4; }

    // zlib's CRC-32 of rip samples [a, b); both must lie within 5880 samples of a track
    // boundary, the window's ends or the rip's end (0 otherwise). CrcRange(0, N): the rip's.
    uint32_t CrcRange(int64_t a, int64_t b) const;
    uint32_t DiscCrc(int offset) const;
    // Audio track t (1-based) in the database's window at offset o.
    uint32_t TrackCrc(int track, int offset) const;
    // True when track t's CRC is `want` at some offset in -range..range.
    bool TrackCrcNear(int track, uint32_t want, int range) const;
    // The syndromes of the window at offset o: column 0 only (Npar values), or every column
    // (S[c * MaxNpar + x]).
    std::vector<uint16_t> Column0(int offset, int npar) const;
    std::vector<uint16_t> AllColumns(int offset) const;
    // The rip word (16-bit sample, L and R alternating) of window word j at offset o.
    int64_t RipWord(int offset, int64_t j) const { return ctdb::Columns - 2 * int64_t(offset) + j; }
    // The first and one past the last sample of track t in the window at offset 0.
    int64_t TrackBegin(int track) const;
    int64_t TrackEnd(int track) const;

private:
    uint16_t Shifted(int64_t word) const;
    void Words(const uint8_t* p, size_t n);
    void Word(int64_t w, uint16_t v);
    int64_t CrcAt(int64_t sample) const;

    TCtdbToc FToc;
    int FRows = 0;
    int64_t FBytes = 0;
    uint32_t FCrc = 0;
    std::vector<int64_t> FPoints;       // samples whose running CRC is kept, ascending
    std::vector<uint32_t> FPointCrc;
    size_t FNextPoint = 0;
    std::vector<uint16_t> FHead;        // rip words [0, 2 rows)
    std::vector<uint16_t> FTail;        // rip words of window rows L-1 and L (offset 0)
    std::vector<uint16_t> FSyn;         // per column, MaxNpar syndromes of the offset-0 window
    int FColumn = 0;
    uint8_t FOdd = 0;
    bool FHaveOdd = false;
};

// The corrections one entry's parity makes to a rip.
struct TCtdbRepair {
    bool Ok = false;
    QString Error;
    int Offset = 0;
    std::vector<int64_t> Words;         // rip words (sample = word / 2, channel = word % 2)
    std::vector<uint16_t> Xor;          // what each word is XORed with
    int Corrected() const { return int(Words.size()); }
    // Applies the corrections that fall inside a buffer of rip samples from firstSample.
    void Apply(uint8_t* pcm, int64_t firstSample, int64_t samples) const;
};

// A parity file's syndromes (S_x of column c at x * 11760 + c), checked against the entry's
// column 0; false with a reason when it is short or disagrees.
bool CtdbParitySyndromes(const QByteArray& file, const TCtdbEntry& entry, std::vector<uint16_t>& syndromes,
                         QString& error);
// The corrections at offset o; Ok only when every differing column decodes and the
// corrected window's CRC is the entry's.
TCtdbRepair CtdbPlanRepair(const TCtdbAccumulator& rip, const TCtdbEntry& entry, int offset,
                           const std::vector<uint16_t>& paritySyndromes);

// Where an entry fits the rip.
struct TCtdbMatch {
    enum TKind { NoMatch, ErrorFree, HasErrors };
    TKind Kind = NoMatch;
    int Offset = 0;
};
TCtdbMatch CtdbMatch(const TCtdbAccumulator& rip, const TCtdbEntry& entry);

// What the database says of the rip.
struct TCtdbEntryResult {
    TCtdbEntry Entry;
    int Offset = 0;
    bool ErrorFree = false;
    TCtdbRepair Repair;                 // an entry with errors that its parity repairs
};
struct TCtdbVerdict {
    enum TStatus { Off, Failed, NotInDatabase, Found };
    TStatus Status = Off;
    QString Error;                      // Failed: why
    std::vector<TCtdbEntryResult> Matches;   // error-free or repairable, highest confidence first
    int DiscConfidence = 0;             // error-free entries of our exact TOC
    std::vector<int> TrackConfidence;   // per audio track
    // "verified OK, confidence N" / "differs in K samples, confidence N" per match,
    // "disc not present in database", "could not be verified", "database access error: ...".
    QStringList Lines() const;
    QString Text() const { return Lines().value(0); }
    // The repair to apply: the best repairable match when no match is error-free.
    const TCtdbRepair* BestRepair() const;
};

// Fetches an entry's parity file: the bytes, or false with a reason.
using TCtdbParityFetch = std::function<bool(const TCtdbEntry&, QByteArray& file, QString& error)>;
TCtdbVerdict CtdbVerdictOf(const TCtdbAccumulator& rip, const std::vector<TCtdbEntry>& entries,
                           const TCtdbParityFetch& fetch);
