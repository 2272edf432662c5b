// The database's entries against a rip: where each fits, whether its parity repairs the
// rip, and the verdict texts.
#include "cd/Ctdb.h"

#include <algorithm>
#include <cstdlib>
#include <zlib.h>

using namespace ctdb;

namespace {

// An entry can fit only a rip of its audio length, with the one stride the database uses.
bool Comparable(const TCtdbAccumulator& rip, const TCtdbEntry& entry)
{
    if (!rip.Complete() || entry.Stride != StrideSamples || (entry.Npar != 8 && entry.Npar != 16) ||
        int(entry.Syndrome.size()) != entry.Npar)
        return false;
    if (!entry.Toc.isEmpty()) {
        const TCtdbToc theirs = CtdbTocOf(entry.Toc);
        if (theirs.Valid && theirs.AudioSamples != rip.Toc().AudioSamples)
            return false;
    }
    return true;
}

// Offsets by distance from 0: 0, 1, -1, 2, -2 ...
std::vector<int> Offsets()
{
    std::vector<int> o{0};
    for (int k = 1; k <= CtdbMaxOffset; ++k) {
        o.push_back(k);
        o.push_back(-k);
    }
    return o;
}

uint32_t RawCrcOfWord(uint16_t v)
{
    const uint8_t b[2] = {uint8_t(v & 0xff), uint8_t(v >> 8)};
    return ~uint32_t(crc32(0xffffffffUL, b, 2));
}

} // namespace

void TCtdbRepair::Apply(uint8_t* pcm, int64_t firstSample, int64_t samples) const
{
    const int64_t lo = firstSample * 2, hi = (firstSample + samples) * 2;
    for (size_t i = 0; i < Words.size(); ++i) {
        if (Words[i] < lo || Words[i] >= hi)
            continue;
        uint8_t* p = pcm + 2 * (Words[i] - lo);
        p[0] ^= uint8_t(Xor[i] & 0xff);
        p[1] ^= uint8_t(Xor[i] >> 8);
    }
}

bool CtdbParitySyndromes(const QByteArray& file, const TCtdbEntry& entry, std::vector<uint16_t>& syndromes,
                         QString& error)
{
    const qsizetype need = qsizetype(entry.Npar) * Columns * 2;
    if (entry.Npar <= 0 || file.size() < need) {
        error = QStringLiteral("the parity file is too short (%1 of %2 bytes)").arg(file.size()).arg(need);
        return false;
    }
    syndromes.assign(size_t(entry.Npar) * Columns, 0);
    const auto* p = reinterpret_cast<const uint8_t*>(file.constData());
    for (size_t i = 0; i < syndromes.size(); ++i)
        syndromes[i] = uint16_t(p[2 * i] | (p[2 * i + 1] << 8));
    for (int x = 0; x < entry.Npar && x < int(entry.Syndrome.size()); ++x)
        if (syndromes[size_t(x) * Columns] != entry.Syndrome[size_t(x)]) {
            error = QStringLiteral("the parity file does not belong to the entry (its syndromes differ)");
            return false;
        }
    return true;
}

TCtdbRepair CtdbPlanRepair(const TCtdbAccumulator& rip, const TCtdbEntry& entry, int offset,
                           const std::vector<uint16_t>& paritySyndromes)
{
    TCtdbRepair repair;
    repair.Offset = offset;
    const int rows = rip.Toc().Rows();
    if (!Comparable(rip, entry) || paritySyndromes.size() < size_t(entry.Npar) * Columns) {
        repair.Error = QStringLiteral("the entry does not fit the rip");
        return repair;
    }
    const std::vector<uint16_t> ours = rip.AllColumns(offset);
    const int64_t windowBytes = int64_t(rows) * Columns * 2;
    uint32_t crcChange = 0;
    uint16_t delta[MaxNpar];
    for (int c = 0; c < Columns; ++c) {
        bool any = false;
        for (int x = 0; x < entry.Npar; ++x) {
            delta[x] = uint16_t(ours[size_t(c) * MaxNpar + size_t(x)] ^ paritySyndromes[size_t(x) * Columns + size_t(c)]);
            any = any || delta[x] != 0;
        }
        if (!any)
            continue;
        const TColumnErrors errors = DecodeColumn(delta, entry.Npar, rows);
        if (!errors.Ok) {
            repair.Error = QStringLiteral("too many errors to repair");
            repair.Words.clear();
            repair.Xor.clear();
            return repair;
        }
        for (size_t i = 0; i < errors.Rows.size(); ++i) {
            const int64_t j = int64_t(errors.Rows[i]) * Columns + c;
            repair.Words.push_back(rip.RipWord(offset, j));
            repair.Xor.push_back(errors.Values[i]);
            // The CRC is affine: the corrected window's CRC differs by the CRC of the error
            // pattern alone, i.e. each word's CRC advanced over the zeros after it.
            crcChange ^= uint32_t(crc32_combine64(RawCrcOfWord(errors.Values[i]), 0, z_off64_t(windowBytes - 2 * j - 2)));
        }
    }
    if ((rip.DiscCrc(offset) ^ crcChange) != entry.Crc) {
        repair.Error = QStringLiteral("the repaired rip would not match the database's CRC");
        repair.Words.clear();
        repair.Xor.clear();
        return repair;
    }
    // In order of position: a file is then rewritten front to back.
    std::vector<size_t> order(repair.Words.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return repair.Words[a] < repair.Words[b]; });
    TCtdbRepair sorted = repair;
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.Words[i] = repair.Words[order[i]];
        sorted.Xor[i] = repair.Xor[order[i]];
    }
    sorted.Ok = true;
    return sorted;
}

TCtdbMatch CtdbMatch(const TCtdbAccumulator& rip, const TCtdbEntry& entry)
{
    TCtdbMatch match;
    if (!Comparable(rip, entry))
        return match;
    const int npar = entry.Npar;
    const std::vector<int> offsets = Offsets();
    // An exact syndrome match wins; among several (silence), the one whose CRC agrees.
    int firstExact = INT32_MIN;
    std::vector<std::pair<int, int>> decodable;   // errors, offset
    uint16_t delta[MaxNpar];
    for (const int o : offsets) {
        const std::vector<uint16_t> s = rip.Column0(o, npar);
        bool exact = true;
        for (int x = 0; x < npar; ++x) {
            delta[x] = uint16_t(s[size_t(x)] ^ entry.Syndrome[size_t(x)]);
            exact = exact && delta[x] == 0;
        }
        if (exact) {
            if (rip.DiscCrc(o) == entry.Crc) {
                match.Kind = TCtdbMatch::ErrorFree;
                match.Offset = o;
                return match;
            }
            if (firstExact == INT32_MIN)
                firstExact = o;
            continue;
        }
        // Fewer than npar/2: random syndromes of a wrong offset give npar/2 nearly always.
        const int n = ErrorCount(delta, npar);
        if (n > 0 && n < npar / 2)
            decodable.push_back({n, o});
    }
    if (firstExact != INT32_MIN) {
        match.Kind = TCtdbMatch::HasErrors;
        match.Offset = firstExact;
        return match;
    }
    // Fewest errors first, then nearest to 0; the root search confirms the count.
    std::stable_sort(decodable.begin(), decodable.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [n, o] : decodable) {
        const std::vector<uint16_t> s = rip.Column0(o, npar);
        for (int x = 0; x < npar; ++x)
            delta[x] = uint16_t(s[size_t(x)] ^ entry.Syndrome[size_t(x)]);
        if (DecodeColumn(delta, npar, rip.Toc().Rows()).Ok) {
            match.Kind = rip.DiscCrc(o) == entry.Crc ? TCtdbMatch::ErrorFree : TCtdbMatch::HasErrors;
            match.Offset = o;
            return match;
        }
    }
    return match;
}

TCtdbVerdict CtdbVerdictOf(const TCtdbAccumulator& rip, const std::vector<TCtdbEntry>& entries,
                           const TCtdbParityFetch& fetch)
{
    TCtdbVerdict v;
    const int tracks = rip.Toc().Tracks();
    v.TrackConfidence.assign(size_t(tracks), 0);
    if (entries.empty()) {
        v.Status = TCtdbVerdict::NotInDatabase;
        return v;
    }
    v.Status = TCtdbVerdict::Found;
    for (const TCtdbEntry& e : entries) {
        const TCtdbMatch m = CtdbMatch(rip, e);
        TCtdbEntryResult r;
        r.Entry = e;
        r.Offset = m.Offset;
        bool fits = false;
        if (m.Kind == TCtdbMatch::ErrorFree) {
            r.ErrorFree = fits = true;
        } else if (m.Kind == TCtdbMatch::HasErrors && !e.ParityUrl.isEmpty() && fetch) {
            QByteArray file;
            QString error;
            std::vector<uint16_t> syndromes;
            if (!fetch(e, file, error) || !CtdbParitySyndromes(file, e, syndromes, error)) {
                r.Repair.Error = error;
            } else {
                r.Repair = CtdbPlanRepair(rip, e, m.Offset, syndromes);
            }
            fits = r.Repair.Ok;
        }
        // Per track: the entry counts where it is error-free, where its repair leaves the
        // track alone, or where its track CRC matches at its offset or any shift nearby.
        const bool trackCrcs = int(e.TrackCrcs.size()) == tracks;
        for (int t = 1; t <= tracks && rip.Complete(); ++t) {
            bool counts = r.ErrorFree;
            if (!counts && fits) {
                counts = true;
                for (const int64_t w : r.Repair.Words) {
                    const int64_t sample = w / 2 + r.Offset;
                    if (sample >= rip.TrackBegin(t) && sample < rip.TrackEnd(t)) {
                        counts = false;
                        break;
                    }
                }
            }
            if (!counts && trackCrcs) {
                const uint32_t want = e.TrackCrcs[size_t(t - 1)];
                counts = (m.Kind != TCtdbMatch::NoMatch && rip.TrackCrc(t, m.Offset) == want) ||
                         rip.TrackCrcNear(t, want, CtdbTrackSearch);
            }
            if (counts)
                v.TrackConfidence[size_t(t - 1)] += e.Confidence;
        }
        if (!fits)
            continue;
        if (r.ErrorFree && e.Toc == rip.Toc().Text)
            v.DiscConfidence += e.Confidence;
        v.Matches.push_back(std::move(r));
    }
    std::stable_sort(v.Matches.begin(), v.Matches.end(), [](const TCtdbEntryResult& a, const TCtdbEntryResult& b) {
        return a.Entry.Confidence > b.Entry.Confidence;
    });
    return v;
}

QStringList TCtdbVerdict::Lines() const
{
    switch (Status) {
    case Off:
        return {};
    case Failed:
        return {QStringLiteral("database access error: ") + Error};
    case NotInDatabase:
        return {QStringLiteral("disc not present in database")};
    case Found:
        break;
    }
    if (Matches.empty())
        return {QStringLiteral("could not be verified")};
    QStringList lines;
    for (const TCtdbEntryResult& m : Matches)
        lines << (m.ErrorFree ? QStringLiteral("verified OK, confidence %1").arg(m.Entry.Confidence)
                              : QStringLiteral("differs in %1 samples, confidence %2")
                                    .arg(m.Repair.Corrected())
                                    .arg(m.Entry.Confidence));
    return lines;
}

const TCtdbRepair* TCtdbVerdict::BestRepair() const
{
    for (const TCtdbEntryResult& m : Matches)
        if (m.ErrorFree)
            return nullptr;
    for (const TCtdbEntryResult& m : Matches)
        if (m.Repair.Ok)
            return &m.Repair;
    return nullptr;
}
