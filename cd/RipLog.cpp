#include "cd/RipLog.h"

#include <QStringList>
#include <algorithm>
#include <set>

namespace {

QString Hex(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString SignedNumber(int value)
{
    return value > 0 ? QStringLiteral("+%1").arg(value) : QString::number(value);
}

QStringList ReadErrorLines(const std::vector<int64_t>& sectors)
{
    // A sector met twice (a retry failing again) is named once.
    const std::set<int64_t> unique(sectors.begin(), sectors.end());
    QStringList lines;
    for (auto it = unique.begin(); it != unique.end();) {
        const int64_t first = *it;
        int64_t last = first;
        while (++it != unique.end() && *it == last + 1)
            last = *it;
        lines.append(first == last ? QStringLiteral("Read error at sector %1").arg(first)
                                   : QStringLiteral("Read error at sectors %1-%2").arg(first).arg(last));
    }
    return lines;
}

QString RipLogText(const TRipLogRecord& r)
{
    QStringList out;
    out << QStringLiteral("VarnelCD rip log");
    if (!r.Disc.isEmpty())
        out << QStringLiteral("Disc: ") + r.Disc;
    out << QStringLiteral("Drive: ") + r.Drive;
    out << QStringLiteral("Read offset correction: ") + SignedNumber(r.ReadOffset);
    out << QStringLiteral("Paranoia mode: %1, retries %2").arg(r.Paranoia).arg(r.Retries);
    out << QStringLiteral("AccurateRip id: ") + r.AccurateRipId;
    if (r.Normalized)
        out << QStringLiteral("Normalize: on; the checksums are of the read, before normalizing");
    int accurate = 0;
    int audio = 0;
    for (const TRipLogTrack& t : r.Tracks) {
        out << QString();
        out << QStringLiteral("Track %1").arg(t.Number);
        out << QStringLiteral("  Range: sectors %1-%2").arg(t.FirstSector).arg(t.LastSector);
        if (t.Data) {
            out << QStringLiteral("  Data track: not read");
            out << QStringLiteral("  AccurateRip: ") + t.Verdict.Text();
            continue;
        }
        ++audio;
        if (t.LeadZeros > 0)
            out << QStringLiteral("  Before the disc: %1 samples of silence").arg(t.LeadZeros);
        if (t.TailZeros > 0)
            out << QStringLiteral("  Past the disc: %1 samples of silence").arg(t.TailZeros);
        if (t.Tested)
            out << QStringLiteral("  Test CRC: ") + Hex(t.TestCrc);
        if (t.Read) {
            out << QStringLiteral("  Copy CRC: ") + Hex(t.Crc);
            if (t.Tested && t.TestCrc != t.Crc)
                out << QStringLiteral("  Test and copy CRCs differ: the copy is not reliable");
            out << QStringLiteral("  AccurateRip v1: ") + Hex(t.V1);
            out << QStringLiteral("  AccurateRip v2: ") + Hex(t.V2);
            out << QStringLiteral("  AccurateRip: ") + t.Verdict.Text();
            if (t.Verdict.Kind == TTrackVerdict::Accurate)
                ++accurate;
        } else {
            out << QStringLiteral("  Copy failed: ") + t.Failure;
        }
        for (const QString& line : ReadErrorLines(t.ReadErrors))
            out << QStringLiteral("  ") + line;
        out << QStringLiteral("  Jitter repairs: %1").arg(t.JitterRepairs);
    }
    out << QString();
    out << QStringLiteral("Summary: %1 of %2 tracks accurate").arg(accurate).arg(audio);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
