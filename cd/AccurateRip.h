#pragma once
// AccurateRip: the checksums of a ripped track, the disc's id in the database, and the
// database's answer for the disc. The checksums are fed with the PCM stream a rip writes
// (16-bit stereo, little-endian, after the read offset correction), in chunks of any size.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <vector>

struct THttpOptions;
class THttpAbort;
struct TCRTocEntry;
struct TOptionsSetting;

// Samples left out at the start of a disc's first track and at the end of its last one.
constexpr int64_t AccurateRipSkipSamples = 5 * 588;   // five sectors, 2940

// CRC-32 (zlib's) of every byte, and AccurateRip v1 and v2 of the track's stereo samples.
class TTrackChecksum {
public:
    // totalSamples: the track's length in stereo samples (bytes / 4); first/last: the
    // track is the first/last audio track of the disc.
    explicit TTrackChecksum(int64_t totalSamples = 0, bool first = false, bool last = false);
    void Reset(int64_t totalSamples, bool first, bool last);
    // Any split of the stream gives the same sums; a partial sample waits for the next call.
    void Add(const uint8_t* data, size_t bytes);

    uint32_t Crc32() const;
    uint32_t V1() const { return FV1; }
    uint32_t V2() const { return FV2; }
    int64_t Samples() const { return FIndex; }   // whole samples seen

private:
    int64_t FTotal = 0;
    bool FFirst = false;
    bool FLast = false;
    int64_t FIndex = 0;       // samples seen; the next one is number FIndex + 1
    uint32_t FV1 = 0;
    uint32_t FV2 = 0;
    uint32_t FCrc = 0;        // zlib's running value
    uint8_t FPending[4] = {};
    int FPendingBytes = 0;
};

// The disc's three ids. Tracks are the audio tracks; LBAs exclude the 150 sectors of the
// lead-in.
struct TAccurateRipId {
    int Tracks = 0;
    uint32_t Id1 = 0;
    uint32_t Id2 = 0;
    uint32_t Id3 = 0;     // the CDDB id

    QString Text() const;           // "003-000116e8-00037d44-1401bb03"
    QString Path() const;           // "8/e/6/dBAR-003-000116e8-00037d44-1401bb03.bin"
    bool operator==(const TAccurateRipId&) const = default;
};

TAccurateRipId AccurateRipDiscId(const std::vector<uint32_t>& trackLbas, uint32_t leadOutLba, uint32_t cddbId);
// The id of the disc whose table of contents the CD input component reports (entry t - 1
// track t, the last the lead-out). Valid: the table gives a CDDB id and has an audio track.
// A disc with data tracks (a mixed-mode disc opening with one, an enhanced CD ending with
// one) is known by its audio tracks' starts and the disc's lead-out (after the data
// session), counted as that many tracks, and the CDDB id of every track; DataTrack says it
// has one.
struct TAccurateRipDisc {
    bool Valid = false;
    bool DataTrack = false;
    TAccurateRipId Id;
};
TAccurateRipDisc AccurateRipDiscOf(const std::vector<TCRTocEntry>& toc);
// base (no trailing '/' needed) + "/" + Path().
QUrl AccurateRipUrl(const QString& base, const TAccurateRipId& id);

// One pressing's entry for one track.
struct TDbarEntry {
    uint8_t Confidence = 0;
    uint32_t Crc = 0;
    uint32_t FrameCrc = 0;    // the offset-finding CRC: parsed, not checked
};

// A dBAR reply: for each track of the disc, the entries of every pressing whose ids are
// the disc's. Ok false: a damaged reply (Error says why), nothing to judge by.
struct TDbarReply {
    bool Ok = false;
    QString Error;
    int Pressings = 0;                            // chunks with the disc's ids
    std::vector<std::vector<TDbarEntry>> Tracks;  // Tracks[t - 1]
};

TDbarReply ParseDbar(const QByteArray& body, const TAccurateRipId& id);

// What the database says of one track.
struct TTrackVerdict {
    enum TKind { Accurate, NotAccurate, NotInDatabase, NoAnswer, DataTrack, NotChecked };
    TKind Kind = NotChecked;
    bool V2 = false;          // Accurate: matched by v2 (else v1)
    int Confidence = 0;       // Accurate: the largest matching confidence
    QString Reason;           // NoAnswer: why

    // The log's words: "accurate (v2, confidence K)", "not accurate", "not in database",
    // "no database answer: <reason>", "not checked (data track)", "not checked".
    QString Text() const;
};

// The outcome of asking the database once for a disc.
struct TAccurateRipLookup {
    enum TStatus { Found, NotInDatabase, Failed, DataTrack, Off };
    TStatus Status = Off;
    TDbarReply Reply;         // Found
    QString Error;            // Failed
};

TTrackVerdict AccurateRipVerdict(const TAccurateRipLookup& lookup, int track, uint32_t v1, uint32_t v2);

// One GET of base/Path() through the program's HTTP client; 404 is NotInDatabase, any other
// failure (status, timeout, damaged reply, stop) Failed with the reason.
TAccurateRipLookup LookupAccurateRip(const QString& base, const TAccurateRipId& id, const THttpOptions& options,
                                     THttpAbort* abort = nullptr);

// The HTTP options of a lookup as the settings give them: the proxy of the CDDB settings,
// the program's user agent, the HTTP client's default timeouts.
THttpOptions AccurateRipHttpOptions(const TOptionsSetting& settings);
