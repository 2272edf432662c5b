#include "cd/Ctdb.h"
#include "cd/RipAudit.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cstring>
#include <zlib.h>

using namespace ctdb;

namespace {

constexpr int kSectorSamples = 588;
constexpr int kEnhancedGap = 11400;     // sectors between the audio and a data session
constexpr int kMaxTocTracks = 99;
constexpr int64_t kMaxLba = 100 * 60 * 75;   // far past any disc

uint32_t ZeroAdvance(uint32_t crc, int64_t bytes)
{
    return uint32_t(crc32_combine64(crc, 0, z_off64_t(bytes)));
}

} // namespace

int TCtdbToc::Rows() const
{
    const int64_t rows = AudioSamples / StrideSamples - 2;
    return Valid && rows > 0 ? int(rows) : 0;
}

TCtdbToc CtdbTocOf(const TDiscLayout& disc)
{
    TCtdbToc toc;
    const int n = disc.Tracks();
    if (n == 0 || int(disc.Data.size()) != n || n > kMaxTocTracks)
        return toc;
    int firstAudio = -1, lastAudio = -1;
    for (int i = 0; i < n; ++i)
        if (!disc.Data[size_t(i)]) {
            if (firstAudio < 0)
                firstAudio = i;
            lastAudio = i;
        }
    if (firstAudio < 0)
        return toc;
    for (int i = 0; i < n; ++i) {
        const int64_t next = i + 1 < n ? disc.Starts[size_t(i + 1)] : disc.LeadOut;
        if (disc.Starts[size_t(i)] < 0 || disc.Starts[size_t(i)] >= next || next > kMaxLba)
            return toc;
    }
    const int64_t a1 = disc.Starts[size_t(firstAudio)];
    const int64_t end = lastAudio == n - 1 ? disc.LeadOut : disc.Starts[size_t(lastAudio + 1)] - kEnhancedGap;
    if (end <= disc.Starts[size_t(lastAudio)])
        return toc;

    QByteArray idText;
    for (int i = firstAudio; i <= lastAudio; ++i) {
        if (disc.Data[size_t(i)])
            continue;
        toc.TrackStarts.push_back((disc.Starts[size_t(i)] - a1) * kSectorSamples);
        if (i != firstAudio)
            idText += QByteArray::number(qulonglong(disc.Starts[size_t(i)] - a1), 16).toUpper().rightJustified(8, '0');
    }
    idText += QByteArray::number(qulonglong(end - a1), 16).toUpper().rightJustified(8, '0');
    idText = idText.leftJustified(800, '0');
    QByteArray id = QCryptographicHash::hash(idText, QCryptographicHash::Sha1).toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    toc.Id = QString::fromLatin1(id);
    toc.AudioSamples = (end - a1) * kSectorSamples;

    QStringList parts;
    for (int i = 0; i < n; ++i)
        parts << (disc.Data[size_t(i)] ? QStringLiteral("-") : QString()) + QString::number(disc.Starts[size_t(i)]);
    parts << QString::number(disc.LeadOut);
    toc.Text = parts.join(QLatin1Char(':'));
    toc.Valid = true;
    return toc;
}

TCtdbToc CtdbTocOf(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > kMaxTocTracks + 1)
        return {};
    TDiscLayout disc;
    for (int i = 0; i < parts.size(); ++i) {
        QString p = parts[i];
        const bool data = p.startsWith(QLatin1Char('-'));
        if (data)
            p.remove(0, 1);
        bool ok = false;
        const qlonglong v = p.toLongLong(&ok);
        if (!ok || v < 0 || v > kMaxLba || p.isEmpty() || !p[0].isDigit())
            return {};
        if (i + 1 == parts.size()) {
            if (data)
                return {};
            disc.LeadOut = v;
        } else {
            disc.Starts.push_back(v);
            disc.Data.push_back(data);
        }
    }
    return CtdbTocOf(disc);
}

// ---- the accumulator ---------------------------------------------------------------------

void TCtdbAccumulator::Reset(const TCtdbToc& toc)
{
    *this = TCtdbAccumulator();
    FToc = toc;
    FRows = toc.Rows();
    if (FRows <= 0)
        return;
    const int64_t n = toc.AudioSamples;
    std::vector<int64_t> bounds;
    for (int t = 1; t <= toc.Tracks() + 1; ++t)
        bounds.push_back(t <= toc.Tracks() ? TrackBegin(t) : TrackEnd(toc.Tracks()));
    bounds.push_back(n);   // the whole rip's CRC too
    for (const int64_t b : bounds)
        for (int64_t k = std::max<int64_t>(0, b - StrideSamples); k <= std::min(n, b + StrideSamples); ++k)
            FPoints.push_back(k);
    std::sort(FPoints.begin(), FPoints.end());
    FPoints.erase(std::unique(FPoints.begin(), FPoints.end()), FPoints.end());
    FPointCrc.assign(FPoints.size(), 0);
    FHead.assign(size_t(2 * Columns), 0);
    FTail.assign(size_t(2 * Columns), 0);
    FSyn.assign(size_t(Columns) * MaxNpar, 0);
}

int64_t TCtdbAccumulator::TrackBegin(int track) const
{
    return track <= 1 ? StrideSamples : std::max<int64_t>(StrideSamples, FToc.TrackStarts[size_t(track - 1)]);
}

int64_t TCtdbAccumulator::TrackEnd(int track) const
{
    const int64_t windowEnd = StrideSamples + int64_t(FRows) * StrideSamples;
    return track >= FToc.Tracks() ? windowEnd : std::min(windowEnd, FToc.TrackStarts[size_t(track)]);
}

void TCtdbAccumulator::Word(int64_t w, uint16_t v)
{
    if (w < 2 * Columns)
        FHead[size_t(w)] = v;
    const int64_t tail = int64_t(FRows) * Columns;
    if (w >= tail && w < tail + 2 * Columns)
        FTail[size_t(w - tail)] = v;
    if (w >= Columns && w < tail + Columns) {
        SyndromeStep(&FSyn[size_t(FColumn) * MaxNpar], v);
        if (++FColumn == Columns)
            FColumn = 0;
    }
}

void TCtdbAccumulator::Words(const uint8_t* p, size_t n)
{
    int64_t w = FBytes / 2;
    if (FHaveOdd && n > 0) {
        Word(w++, uint16_t(FOdd | (p[0] << 8)));
        FHaveOdd = false;
        ++p;
        --n;
    }
    const int64_t tail = int64_t(FRows) * Columns;
    while (n >= 2) {
        // Inside the window and away from the kept rows: only the syndromes.
        if (w >= 2 * Columns && w < tail) {
            const int64_t run = std::min<int64_t>(int64_t(n / 2), tail - w);
            uint16_t* syn = FSyn.data();
            for (int64_t i = 0; i < run; ++i) {
                SyndromeStep(syn + size_t(FColumn) * MaxNpar, uint16_t(p[0] | (p[1] << 8)));
                if (++FColumn == Columns)
                    FColumn = 0;
                p += 2;
            }
            n -= size_t(run) * 2;
            w += run;
            continue;
        }
        Word(w++, uint16_t(p[0] | (p[1] << 8)));
        p += 2;
        n -= 2;
    }
    if (n == 1) {
        FOdd = p[0];
        FHaveOdd = true;
    }
}

void TCtdbAccumulator::Add(const uint8_t* data, size_t bytes)
{
    if (FRows <= 0)
        return;
    const int64_t total = FToc.AudioSamples * 4;
    bytes = size_t(std::min<int64_t>(int64_t(bytes), total - FBytes));
    while (true) {
        while (FNextPoint < FPoints.size() && FPoints[FNextPoint] * 4 == FBytes)
            FPointCrc[FNextPoint++] = FCrc;
        if (bytes == 0)
            break;
        size_t take = bytes;
        if (FNextPoint < FPoints.size())
            take = size_t(std::min<int64_t>(int64_t(take), FPoints[FNextPoint] * 4 - FBytes));
        take = std::min<size_t>(take, size_t(1) << 30);
        FCrc = uint32_t(crc32(FCrc, data, uInt(take)));
        Words(data, take);
        FBytes += int64_t(take);
        data += take;
        bytes -= take;
    }
}

int64_t TCtdbAccumulator::CrcAt(int64_t sample) const
{
    const auto it = std::lower_bound(FPoints.begin(), FPoints.end(), sample);
    if (it == FPoints.end() || *it != sample || size_t(it - FPoints.begin()) >= FNextPoint)
        return -1;
    return FPointCrc[size_t(it - FPoints.begin())];
}

uint32_t TCtdbAccumulator::CrcRange(int64_t a, int64_t b) const
{
    const int64_t ca = CrcAt(a), cb = CrcAt(b);
    if (ca < 0 || cb < 0 || b < a)
        return 0;
    return uint32_t(cb) ^ ZeroAdvance(uint32_t(ca), 4 * (b - a));
}

uint32_t TCtdbAccumulator::DiscCrc(int offset) const
{
    return CrcRange(TrackBegin(1) - offset, TrackEnd(FToc.Tracks()) - offset);
}

uint32_t TCtdbAccumulator::TrackCrc(int track, int offset) const
{
    return CrcRange(TrackBegin(track) - offset, TrackEnd(track) - offset);
}

bool TCtdbAccumulator::TrackCrcNear(int track, uint32_t want, int range) const
{
    // Every shift covers the same length: one zero-advance operator serves them all.
    const int64_t a = TrackBegin(track), b = TrackEnd(track);
    if (b <= a)
        return false;
    const uLong op = crc32_combine_gen64(z_off64_t(4 * (b - a)));
    for (int o = -range; o <= range; ++o) {
        const int64_t ca = CrcAt(a - o), cb = CrcAt(b - o);
        if (ca >= 0 && cb >= 0 && (uint32_t(cb) ^ uint32_t(crc32_combine_op(uLong(ca), 0, op))) == want)
            return true;
    }
    return false;
}

// The word of the offset-0 window's row r (-1..L), column c, as kept.
uint16_t TCtdbAccumulator::Shifted(int64_t word) const
{
    if (word >= 0 && word < 2 * Columns)
        return FHead[size_t(word)];
    const int64_t tail = int64_t(FRows) * Columns;
    return word >= tail && word < tail + 2 * Columns ? FTail[size_t(word - tail)] : 0;
}

std::vector<uint16_t> TCtdbAccumulator::AllColumns(int offset) const
{
    std::vector<uint16_t> out(size_t(Columns) * MaxNpar, 0);
    if (FRows <= 0)
        return out;
    const int s = -offset;
    const int64_t last = int64_t(FRows) * Columns;   // rip word of offset-0 row L-1, column 0
    std::vector<uint16_t> topPow(MaxNpar);             // alpha^(x(L-1))
    for (int x = 0; x < MaxNpar; ++x)
        topPow[size_t(x)] = GfPow(int64_t(x) * (FRows - 1));
    for (int c = 0; c < Columns; ++c) {
        uint16_t* o = &out[size_t(c) * MaxNpar];
        const int cs = c + 2 * s;
        if (cs >= 0 && cs < Columns) {
            std::memcpy(o, &FSyn[size_t(cs) * MaxNpar], MaxNpar * sizeof(uint16_t));
        } else if (cs >= Columns) {
            // Rows 1..L of column c': drop row 0, take the row after the window.
            const int cp = cs - Columns;
            const uint16_t* in = &FSyn[size_t(cp) * MaxNpar];
            const uint16_t first = Shifted(Columns + cp), next = Shifted(last + Columns + cp);
            for (int x = 0; x < MaxNpar; ++x)
                o[x] = uint16_t(GfMul(GfPow(x), uint16_t(in[x] ^ GfMul(first, topPow[size_t(x)]))) ^ next);
        } else {
            // Rows -1..L-2 of column c': the row before the window, without row L-1.
            const int cp = cs + Columns;
            const uint16_t* in = &FSyn[size_t(cp) * MaxNpar];
            const uint16_t before = Shifted(cp), lastWord = Shifted(last + cp);
            for (int x = 0; x < MaxNpar; ++x)
                o[x] = uint16_t(GfMul(before, topPow[size_t(x)]) ^ GfMul(GfPow(-x), uint16_t(in[x] ^ lastWord)));
        }
    }
    return out;
}

std::vector<uint16_t> TCtdbAccumulator::Column0(int offset, int npar) const
{
    // Column 0 is made the same way as every other: reuse the general case for one column.
    std::vector<uint16_t> out(size_t(npar), 0);
    if (FRows <= 0)
        return out;
    const int s = -offset;
    const int64_t last = int64_t(FRows) * Columns;
    const int cs = 2 * s;
    for (int x = 0; x < npar; ++x) {
        const uint16_t top = GfPow(int64_t(x) * (FRows - 1));
        if (cs >= 0) {
            out[size_t(x)] = FSyn[size_t(cs) * MaxNpar + size_t(x)];
        } else {
            const int cp = cs + Columns;
            const uint16_t in = FSyn[size_t(cp) * MaxNpar + size_t(x)];
            out[size_t(x)] = uint16_t(GfMul(Shifted(cp), top) ^ GfMul(GfPow(-x), uint16_t(in ^ Shifted(last + cp))));
        }
    }
    return out;
}
