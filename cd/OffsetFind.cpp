#include "cd/OffsetFind.h"

#include <algorithm>

namespace {

constexpr int64_t kSamplesPerSector = CDSectorBytes / 4;

} // namespace

TOffsetFinder::TOffsetFinder(const TDiscLayout& disc, const TDbarReply& reply, int range)
    : FRange(range), FReply(reply)
{
    const int audio = int(std::count(disc.Data.begin(), disc.Data.end(), false));
    std::vector<std::pair<int64_t, int64_t>> windows;
    int64_t shortest = INT64_MAX;
    for (int t = 1; t <= disc.Tracks(); ++t) {
        if (disc.Data[size_t(t - 1)])
            continue;
        TTrack tr;
        tr.Start = disc.Starts[size_t(t - 1)] * kSamplesPerSector;
        const int64_t n = (t < disc.Tracks() ? disc.Starts[size_t(t)] : disc.LeadOut) * kSamplesPerSector - tr.Start;
        const int index = int(FTracks.size()) + 1;
        tr.Lo = index == 1 ? AccurateRipSkipSamples : 1;
        tr.Hi = index == audio ? n - AccurateRipSkipSamples : n;
        FTracks.push_back(tr);
        // The sums are wanted at Start + o + Lo - 1 and Start + o + Hi for every o.
        windows.emplace_back(tr.Start + tr.Lo - 1 - range, tr.Start + tr.Lo - 1 + range + 1);
        windows.emplace_back(tr.Start + tr.Hi - range, tr.Start + tr.Hi + range + 1);
        const bool known = size_t(index) <= reply.Tracks.size() && !reply.Tracks[size_t(index - 1)].empty();
        if (known && n < shortest) {
            shortest = n;
            FKeepTrack = index;
        }
    }
    std::sort(windows.begin(), windows.end());
    for (const auto& [first, end] : windows) {
        if (!FSpans.empty() && first <= FSpans.back().First + int64_t(FSpans.back().P.size())) {
            TSpan& last = FSpans.back();
            const size_t size = size_t(std::max<int64_t>(int64_t(last.P.size()), end - last.First));
            last.P.resize(size);
            last.Q.resize(size);
            continue;
        }
        TSpan span;
        span.First = first;
        span.P.assign(size_t(end - first), 0);
        span.Q.assign(size_t(end - first), 0);
        FSpans.push_back(std::move(span));
    }
    if (FKeepTrack > 0) {
        const TTrack& k = FTracks[size_t(FKeepTrack - 1)];
        FKeepFirst = k.Start - range;
        FKept.assign(size_t(k.Hi + 2 * range + 1), 0);
    }
    // Sums at points before the disc are 0: the spans start filled so.
    while (FNextSpan < FSpans.size() && FSpans[FNextSpan].First + int64_t(FSpans[FNextSpan].P.size()) <= 0)
        ++FNextSpan;
}

void TOffsetFinder::Sample(uint32_t value)
{
    const int64_t t = FPos;
    // Record the sums before sample t where a window wants them.
    while (FNextSpan < FSpans.size() && t >= FSpans[FNextSpan].First + int64_t(FSpans[FNextSpan].P.size()))
        ++FNextSpan;
    if (FNextSpan < FSpans.size() && t >= FSpans[FNextSpan].First) {
        TSpan& s = FSpans[FNextSpan];
        s.P[size_t(t - s.First)] = FP;
        s.Q[size_t(t - s.First)] = FQ;
    }
    if (t >= FKeepFirst && t - FKeepFirst < int64_t(FKept.size()))
        FKept[size_t(t - FKeepFirst)] = value;
    FP += value;
    FQ += uint32_t(t) * value;
    ++FPos;
}

void TOffsetFinder::Add(const uint8_t* data, size_t bytes)
{
    const auto word = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    while (FPendingBytes > 0 && bytes > 0) {
        FPending[FPendingBytes++] = *data++;
        --bytes;
        if (FPendingBytes == 4) {
            Sample(word(FPending));
            FPendingBytes = 0;
        }
    }
    for (; bytes >= 4; bytes -= 4, data += 4)
        Sample(word(data));
    while (bytes-- > 0)
        FPending[FPendingBytes++] = *data++;
}

void TOffsetFinder::Sums(int64_t t, uint32_t& p, uint32_t& q) const
{
    // Past the samples seen the sums stay as they ended (silence); before the disc they are 0.
    if (t >= FPos) {
        p = FP, q = FQ;
        return;
    }
    p = q = 0;
    if (t <= 0)
        return;
    const auto it = std::upper_bound(FSpans.begin(), FSpans.end(), t, [](int64_t v, const TSpan& s) { return v < s.First; });
    if (it == FSpans.begin())
        return;
    const TSpan& s = *std::prev(it);
    if (t - s.First < int64_t(s.P.size())) {
        p = s.P[size_t(t - s.First)];
        q = s.Q[size_t(t - s.First)];
    }
}

uint32_t TOffsetFinder::V1(int audio, int offset) const
{
    const TTrack& tr = FTracks[size_t(audio - 1)];
    const int64_t a = tr.Start + offset;
    uint32_t p1, q1, p2, q2;
    Sums(a + tr.Lo - 1, p1, q1);
    Sums(a + tr.Hi, p2, q2);
    // sum over t of (t - a + 1) * D[t] = (Q2 - Q1) - (a - 1) * (P2 - P1), modulo 2^32.
    return (q2 - q1) - uint32_t(a - 1) * (p2 - p1);
}

uint32_t TOffsetFinder::V2At(int audio, int offset) const
{
    const TTrack& tr = FTracks[size_t(audio - 1)];
    uint32_t sum = 0;
    for (int64_t m = tr.Lo; m <= tr.Hi; ++m) {
        const int64_t at = tr.Start + offset + m - 1 - FKeepFirst;
        const uint64_t product = uint64_t(FKept[size_t(at)]) * uint64_t(m);
        sum += uint32_t(product) + uint32_t(product >> 32);
    }
    return sum;
}

TOffsetFound TOffsetFinder::Find() const
{
    TOffsetFound best;
    best.AudioTracks = int(FTracks.size());
    const auto confidence = [this](int audio, uint32_t crc) {
        int c = 0;
        if (size_t(audio) <= FReply.Tracks.size())
            for (const TDbarEntry& e : FReply.Tracks[size_t(audio - 1)])
                if (e.Crc == crc)
                    c = std::max(c, int(e.Confidence));
        return c;
    };
    for (int o = -FRange; o <= FRange; ++o) {
        int tracks = 0, sum = 0;
        for (int a = 1; a <= int(FTracks.size()); ++a)
            if (const int c = confidence(a, V1(a, o)); c > 0)
                ++tracks, sum += c;
        const bool better = tracks > best.Tracks || (tracks == best.Tracks && tracks > 0 && sum > best.Confidence)
                            || (tracks == best.Tracks && tracks > 0 && sum == best.Confidence && std::abs(o) < std::abs(best.Offset));
        if (better) {
            best.Found = true;
            best.Offset = o;
            best.Tracks = tracks;
            best.Confidence = sum;
        }
    }
    if (best.Found && FKeepTrack > 0) {
        best.V2Track = FKeepTrack;
        best.V2Confidence = confidence(FKeepTrack, V2At(FKeepTrack, best.Offset));
        best.V2 = best.V2Confidence > 0;
    }
    return best;
}
