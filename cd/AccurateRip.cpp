#include "cd/AccurateRip.h"
#include "cd/DiscId.h"
#include "platform/CDRipLib.h"
#include "platform/HttpClient.h"
#include "settings/Options.h"

#include <algorithm>
#include <zlib.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr qsizetype kDbarHeaderBytes = 13;     // u8 track count, u32 id1, id2, id3
constexpr qsizetype kDbarEntryBytes = 9;       // u8 confidence, u32 CRC, u32 offset-finding CRC
constexpr qint64 kMaxDbarBytes = 1 << 20;      // 99 tracks x 100 pressings is under 100 KiB

uint32_t LittleEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Adds w_m·m for the samples m = from .. to at p (the first at p) to the sums of the low
// and high halves of the products. This runs over every ripped byte, so on x86 it takes four
// samples a step: pmuludq gives two 64-bit products, whose halves add up lane by lane.
void AddProducts(const uint8_t* p, uint64_t from, uint64_t to, uint32_t& sumLo, uint32_t& sumHi)
{
    uint64_t m = from;
#if defined(__SSE2__)
    if (to < UINT32_MAX - 4) {
        __m128i even = _mm_setzero_si128();
        __m128i odd = _mm_setzero_si128();
        __m128i mv = _mm_set_epi32(int(m + 3), int(m + 2), int(m + 1), int(m));
        const __m128i four = _mm_set1_epi32(4);
        for (; m + 3 <= to; m += 4, p += 16) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            even = _mm_add_epi32(even, _mm_mul_epu32(w, mv));
            odd = _mm_add_epi32(odd, _mm_mul_epu32(_mm_srli_epi64(w, 32), _mm_srli_epi64(mv, 32)));
            mv = _mm_add_epi32(mv, four);
        }
        alignas(16) uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_add_epi32(even, odd));
        sumLo += lanes[0] + lanes[2];
        sumHi += lanes[1] + lanes[3];
    }
#endif
    for (; m <= to; ++m, p += 4) {
        const uint64_t product = uint64_t(LittleEndian32(p)) * m;
        sumLo += uint32_t(product);
        sumHi += uint32_t(product >> 32);
    }
}

QString Hex8(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

} // namespace

// --- checksums ---------------------------------------------------------------------------

TTrackChecksum::TTrackChecksum(int64_t totalSamples, bool first, bool last)
{
    Reset(totalSamples, first, last);
}

void TTrackChecksum::Reset(int64_t totalSamples, bool first, bool last)
{
    FTotal = totalSamples;
    FFirst = first;
    FLast = last;
    FIndex = 0;
    FV1 = 0;
    FV2 = 0;
    FCrc = uint32_t(crc32_z(0, nullptr, 0));
    FPendingBytes = 0;
}

uint32_t TTrackChecksum::Crc32() const
{
    return FCrc;
}

void TTrackChecksum::Add(const uint8_t* data, size_t bytes)
{
    if (bytes == 0)
        return;
    FCrc = uint32_t(crc32_z(FCrc, data, bytes));

    // Sample numbers m (counted from 1) that enter the sums: the first track leaves out
    // m < 2940, the last one m > N - 2940.
    const int64_t lo = FFirst ? AccurateRipSkipSamples : 1;
    const int64_t hi = FLast ? FTotal - AccurateRipSkipSamples : INT64_MAX;
    uint32_t sumLo = 0;
    uint32_t sumHi = 0;
    auto one = [&](const uint8_t* p) {
        const int64_t m = ++FIndex;
        if (m >= lo && m <= hi) {
            const uint64_t product = uint64_t(LittleEndian32(p)) * uint64_t(m);
            sumLo += uint32_t(product);
            sumHi += uint32_t(product >> 32);
        }
    };

    if (FPendingBytes > 0) {
        const size_t take = std::min(bytes, size_t(4 - FPendingBytes));
        std::copy(data, data + take, FPending + FPendingBytes);
        FPendingBytes += int(take);
        data += take;
        bytes -= take;
        if (FPendingBytes < 4)
            return;
        one(FPending);
        FPendingBytes = 0;
    }

    const size_t whole = bytes / 4;
    // The samples of this call are m = first .. first + whole - 1; only [from, to] count.
    const int64_t first = FIndex + 1;
    const int64_t from = std::max(first, lo);
    const int64_t to = std::min(first + int64_t(whole) - 1, hi);
    if (from <= to)
        AddProducts(data + size_t(from - first) * 4, uint64_t(from), uint64_t(to), sumLo, sumHi);
    FIndex += int64_t(whole);
    data += whole * 4;
    bytes -= whole * 4;

    std::copy(data, data + bytes, FPending);
    FPendingBytes = int(bytes);
    FV1 += sumLo;
    FV2 += sumLo + sumHi;
}

// --- disc id -----------------------------------------------------------------------------

QString TAccurateRipId::Text() const
{
    return QStringLiteral("%1-%2-%3-%4")
        .arg(Tracks, 3, 10, QLatin1Char('0'))
        .arg(Hex8(Id1), Hex8(Id2), Hex8(Id3));
}

QString TAccurateRipId::Path() const
{
    return QStringLiteral("%1/%2/%3/dBAR-%4.bin")
        .arg(Id1 & 15, 0, 16)
        .arg(Id1 >> 4 & 15, 0, 16)
        .arg(Id1 >> 8 & 15, 0, 16)
        .arg(Text());
}

TAccurateRipId AccurateRipDiscId(const std::vector<uint32_t>& trackLbas, uint32_t leadOutLba, uint32_t cddbId)
{
    TAccurateRipId id;
    id.Tracks = int(trackLbas.size());
    id.Id3 = cddbId;
    uint32_t t = 0;
    for (uint32_t lba : trackLbas) {
        ++t;
        id.Id1 += lba;
        id.Id2 += std::max(lba, 1u) * t;
    }
    id.Id1 += leadOutLba;
    id.Id2 += leadOutLba * (t + 1);
    return id;
}

QUrl AccurateRipUrl(const QString& base, const TAccurateRipId& id)
{
    QString b = base.trimmed();
    while (b.endsWith(QLatin1Char('/')))
        b.chop(1);
    return QUrl(b + QLatin1Char('/') + id.Path());
}

TAccurateRipDisc AccurateRipDiscOf(const std::vector<TCRTocEntry>& toc)
{
    TAccurateRipDisc disc;
    if (toc.size() < 2)
        return disc;
    TCddbToc cddb;
    std::vector<uint32_t> audio;
    for (size_t i = 0; i + 1 < toc.size(); ++i) {
        cddb.Starts << int(toc[i].StartSector);
        if (toc[i].Flags & CR_DATA_TRACK_FLAG)
            disc.DataTrack = true;
        else
            audio.push_back(uint32_t(toc[i].StartSector));
    }
    cddb.LeadOut = int(toc.back().StartSector);
    const TCddbDiscId cddbId = CddbDiscIdOf(cddb);
    if (!cddbId.Valid || audio.empty())
        return disc;
    disc.Valid = true;
    disc.Id = AccurateRipDiscId(audio, uint32_t(cddb.LeadOut), cddbId.Id);
    return disc;
}

// --- the database's reply ----------------------------------------------------------------

TDbarReply ParseDbar(const QByteArray& body, const TAccurateRipId& id)
{
    TDbarReply reply;
    reply.Tracks.resize(size_t(std::max(id.Tracks, 0)));
    const auto* bytes = reinterpret_cast<const uint8_t*>(body.constData());
    const qsizetype size = body.size();
    qsizetype pos = 0;
    while (pos < size) {
        if (size - pos < kDbarHeaderBytes) {
            reply.Error = QStringLiteral("damaged reply: a chunk header cut short at byte %1 of %2").arg(pos).arg(size);
            return reply;
        }
        const uint8_t *head = bytes + pos;
        const int count = head[0];
        const qsizetype chunk = kDbarHeaderBytes + kDbarEntryBytes * count;
        if (size - pos < chunk) {
            reply.Error = QStringLiteral("damaged reply: a chunk of %1 tracks cut short at byte %2 of %3")
                              .arg(count).arg(pos).arg(size);
            return reply;
        }
        const bool ours = count == id.Tracks && LittleEndian32(head + 1) == id.Id1
                          && LittleEndian32(head + 5) == id.Id2 && LittleEndian32(head + 9) == id.Id3;
        if (ours) {
            ++reply.Pressings;
            for (int t = 0; t < count; ++t) {
                const uint8_t* e = head + kDbarHeaderBytes + kDbarEntryBytes * t;
                reply.Tracks[size_t(t)].push_back({e[0], LittleEndian32(e + 1), LittleEndian32(e + 5)});
            }
        }
        pos += chunk;
    }
    reply.Ok = true;
    return reply;
}

QString TTrackVerdict::Text() const
{
    switch (Kind) {
    case Accurate:
        return QStringLiteral("accurate (%1, confidence %2)").arg(QLatin1String(V2 ? "v2" : "v1")).arg(Confidence);
    case NotAccurate:
        return QStringLiteral("not accurate");
    case NotInDatabase:
        return QStringLiteral("not in database");
    case NoAnswer:
        return QStringLiteral("no database answer: ") + Reason;
    case DataTrack:
        return QStringLiteral("not checked (data track)");
    case NotChecked:
        break;
    }
    return QStringLiteral("not checked");
}

TTrackVerdict AccurateRipVerdict(const TAccurateRipLookup& lookup, int track, uint32_t v1, uint32_t v2)
{
    TTrackVerdict v;
    switch (lookup.Status) {
    case TAccurateRipLookup::Off:
        return v;
    case TAccurateRipLookup::DataTrack:
        v.Kind = TTrackVerdict::DataTrack;
        return v;
    case TAccurateRipLookup::NotInDatabase:
        v.Kind = TTrackVerdict::NotInDatabase;
        return v;
    case TAccurateRipLookup::Failed:
        v.Kind = TTrackVerdict::NoAnswer;
        v.Reason = lookup.Error;
        return v;
    case TAccurateRipLookup::Found:
        break;
    }
    const TDbarReply& reply = lookup.Reply;
    if (!reply.Ok) {
        v.Kind = TTrackVerdict::NoAnswer;
        v.Reason = reply.Error;
        return v;
    }
    if (reply.Pressings == 0 || track < 1 || size_t(track) > reply.Tracks.size()) {
        v.Kind = TTrackVerdict::NotInDatabase;
        return v;
    }
    // The confidence reported is that of the checksum version named: the most rips of
    // any pressing that agree with this one by that version. An entry nobody submitted
    // (confidence 0) proves nothing.
    int best1 = -1, best2 = -1;
    for (const TDbarEntry& e : reply.Tracks[size_t(track - 1)]) {
        if (e.Confidence == 0)
            continue;
        if (e.Crc == v2)
            best2 = std::max(best2, int(e.Confidence));
        if (e.Crc == v1)
            best1 = std::max(best1, int(e.Confidence));
    }
    if (best2 >= 0 || best1 >= 0) {
        v.Kind = TTrackVerdict::Accurate;
        v.V2 = best2 >= 0;
        v.Confidence = v.V2 ? best2 : best1;
    } else {
        v.Kind = TTrackVerdict::NotAccurate;
    }
    return v;
}

TAccurateRipLookup LookupAccurateRip(const QString& base, const TAccurateRipId& id, const THttpOptions& options,
                                     THttpAbort* abort)
{
    TAccurateRipLookup lookup;
    THttpOptions o = options;
    o.MaxBytes = o.MaxBytes > 0 ? std::min(o.MaxBytes, kMaxDbarBytes) : kMaxDbarBytes;
    const QUrl url = AccurateRipUrl(base, id);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        lookup.Status = TAccurateRipLookup::Failed;
        lookup.Error = QStringLiteral("not a database address: %1").arg(base);
        return lookup;
    }
    const THttpResult r = HttpGet(url, o, abort);
    if (!r.Ok) {
        if (r.Status == 404) {
            lookup.Status = TAccurateRipLookup::NotInDatabase;
        } else {
            lookup.Status = TAccurateRipLookup::Failed;
            lookup.Error = r.Error.isEmpty() ? QStringLiteral("no reply") : r.Error;
        }
        return lookup;
    }
    lookup.Reply = ParseDbar(r.Body, id);
    if (!lookup.Reply.Ok) {
        lookup.Status = TAccurateRipLookup::Failed;
        lookup.Error = lookup.Reply.Error;
    } else if (lookup.Reply.Pressings == 0) {
        // A reply without a pressing of this disc (empty, or others' chunks only).
        lookup.Status = TAccurateRipLookup::NotInDatabase;
    } else {
        lookup.Status = TAccurateRipLookup::Found;
    }
    return lookup;
}

THttpOptions AccurateRipHttpOptions(const TOptionsSetting& settings)
{
    THttpOptions o;
    o.MaxBytes = kMaxDbarBytes;
    o.UseProxy = settings.QueryCDDB.UseProxy;
    o.ProxyAddress = settings.QueryCDDB.ProxyAddress;
    o.ProxyPort = settings.QueryCDDB.Port;
    o.UserAgent = QByteArrayLiteral("VarnelCD");
    return o;
}
