#include "cd/RipLog.h"

#include <QCryptographicHash>
#include <QStringList>
#include <algorithm>
#include <set>

namespace {

QString Hex(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

const QByteArray kChecksumHead = "==== Log checksum SHA-256 ";
const QByteArray kChecksumTail = " ====";

QString Column(const QString& text, int width)
{
    return text.rightJustified(width);
}

bool CopyOk(const TRipLogTrack& t)
{
    return t.Read && t.Failure.isEmpty() && t.ReadErrors.empty() && (!t.Tested || t.TestCrc == t.Crc);
}

void TocTable(QStringList& out, const std::vector<TRipLogToc>& toc)
{
    out << QStringLiteral("TOC of the extracted CD");
    out << QString();
    out << QStringLiteral("     Track |   Start  |  Length  | Start sector | End sector");
    out << QStringLiteral("    ---------------------------------------------------------");
    for (const TRipLogToc& row : toc)
        out << QStringLiteral("     %1 | %2 | %3 | %4 | %5")
                   .arg(Column(QString::number(row.Track), 5), Column(MsfText(row.Start), 8),
                        Column(MsfText(row.End - row.Start + 1), 8), Column(QString::number(row.Start), 12),
                        Column(QString::number(row.End), 10));
}

void TrackLines(QStringList& out, const TRipLogTrack& t, const TRipLogToc* row)
{
    out << QStringLiteral("Track %1").arg(t.Number);
    if (!t.FileName.isEmpty())
        out << QStringLiteral("  File name: ") + t.FileName;
    if (row && row->Pregap >= 0)
        out << QStringLiteral("  Pre-gap length: ") + MsfText(row->Pregap);
    else if (!t.Data)
        out << QStringLiteral("  Pre-gap length: not detected");
    if (row && !row->Isrc.isEmpty())
        out << QStringLiteral("  ISRC: ") + row->Isrc;
    out << QStringLiteral("  Range: sectors %1-%2").arg(t.FirstSector).arg(t.LastSector);
    if (t.Data) {
        out << QStringLiteral("  Data track: not read");
        out << QStringLiteral("  AccurateRip: ") + t.Verdict.Text();
        return;
    }
    if (t.LeadZeros > 0)
        out << QStringLiteral("  Before the disc: %1 samples of silence").arg(t.LeadZeros);
    if (t.TailZeros > 0)
        out << QStringLiteral("  Past the disc: %1 samples of silence").arg(t.TailZeros);
    if (t.Read && t.Peak >= 0)
        out << QStringLiteral("  Peak level: %1 %").arg(double(t.Peak) * 100.0 / 32768.0, 0, 'f', 1);
    if (t.Read && t.ReadMs > 0) {
        const double seconds = double(t.LastSector - t.FirstSector + 1) / 75.0;
        out << QStringLiteral("  Extraction speed: %1x").arg(seconds * 1000.0 / double(t.ReadMs), 0, 'f', 1);
    }
    if (!t.Pass.isEmpty())
        out << QStringLiteral("  Read pass: ") + t.Pass;
    if (t.Tested)
        out << QStringLiteral("  Test CRC: ") + Hex(t.TestCrc);
    if (t.Read) {
        out << QStringLiteral("  Copy CRC: ") + Hex(t.Crc);
        if (t.Tested && t.TestCrc != t.Crc)
            out << QStringLiteral("  Test and copy CRCs differ: the copy is not reliable");
        out << QStringLiteral("  AccurateRip v1: ") + Hex(t.V1);
        out << QStringLiteral("  AccurateRip v2: ") + Hex(t.V2);
        out << QStringLiteral("  AccurateRip: ") + t.Verdict.Text();
        if (!t.Ctdb.isEmpty())
            out << QStringLiteral("  CTDB: ") + t.Ctdb;
        for (const QString& range : t.Corrected)
            out << QStringLiteral("  Repaired samples: ") + range;
    } else {
        out << QStringLiteral("  Copy failed: ") + t.Failure;
    }
    for (const QString& line : ReadErrorLines(t.ReadErrors))
        out << QStringLiteral("  ") + line;
    out << QStringLiteral("  Jitter repairs: %1").arg(t.JitterRepairs);
    out << (CopyOk(t) ? QStringLiteral("  Copy OK") : QStringLiteral("  Copy finished with errors"));
}

} // namespace

QString SignedNumber(int value)
{
    return value > 0 ? QStringLiteral("+%1").arg(value) : QString::number(value);
}

QString MsfText(int64_t sectors)
{
    const int64_t s = std::max<int64_t>(0, sectors);
    return QStringLiteral("%1:%2.%3")
        .arg(s / 4500, 2, 10, QLatin1Char('0'))
        .arg(s / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 75, 2, 10, QLatin1Char('0'));
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
    out << r.Program + QStringLiteral(" rip log");
    out << QStringLiteral("Date: ") + r.Date;
    out << QString();
    if (!r.Disc.isEmpty())
        out << QStringLiteral("Disc: ") + r.Disc;
    if (!r.Catalog.isEmpty())
        out << QStringLiteral("Catalog: ") + r.Catalog;
    out << QStringLiteral("Drive: ") + r.Drive;
    out << QStringLiteral("Read offset correction: ") + SignedNumber(r.ReadOffset);
    out << QStringLiteral("Read mode: ") + r.ReadMode;
    if (!r.ReadSpeed.isEmpty())
        out << QStringLiteral("Read speed: ") + r.ReadSpeed;
    out << QStringLiteral("Paranoia mode: %1, retries %2").arg(r.Paranoia).arg(r.Retries);
    out << QStringLiteral("Test and copy: ") + QLatin1String(r.TestAndCopy ? "yes" : "no");
    out << QStringLiteral("Gap handling: ") + r.GapHandling;
    if (!r.HiddenAudio.isEmpty())
        out << QStringLiteral("Audio before track 1: ") + r.HiddenAudio;
    out << QStringLiteral("Output format: ") + r.OutputFormat;
    if (r.Normalized)
        out << QStringLiteral("Normalize: on; the checksums are of the read, before normalizing");
    out << QStringLiteral("AccurateRip id: ") + r.AccurateRipId;
    if (!r.CtdbId.isEmpty())
        out << QStringLiteral("CTDB TOC id: ") + r.CtdbId;
    out << QString();
    TocTable(out, r.Toc);

    int accurate = 0;
    int audio = 0;
    QStringList faulty;
    for (const TRipLogTrack& t : r.Tracks) {
        const auto row = std::find_if(r.Toc.begin(), r.Toc.end(), [&t](const TRipLogToc& e) { return e.Track == t.Number; });
        out << QString();
        TrackLines(out, t, row == r.Toc.end() ? nullptr : &*row);
        if (t.Data)
            continue;
        ++audio;
        if (t.Read && t.Verdict.Kind == TTrackVerdict::Accurate)
            ++accurate;
        if (!CopyOk(t))
            faulty << QString::number(t.Number);
    }
    out << QString();
    for (const QString& line : r.CtdbLines)
        out << QStringLiteral("CTDB: ") + line;
    for (const QString& line : r.RepairLines)
        out << QStringLiteral("CTDB repair: ") + line;
    out << QStringLiteral("Summary: %1 of %2 tracks accurate").arg(accurate).arg(audio);
    out << (faulty.isEmpty() ? QStringLiteral("No errors occurred")
                             : QStringLiteral("Tracks with errors: ") + faulty.join(QStringLiteral(", ")));
    if (r.Stopped)
        out << QStringLiteral("Rip stopped by the user: %1 of %2 tracks done").arg(r.Tracks.size()).arg(
                   std::max<qsizetype>(r.Selected, qsizetype(r.Tracks.size())));
    out << QString();
    const QByteArray text = (out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return QString::fromUtf8(text + RipLogChecksumLine(text) + '\n');
}

QByteArray RipLogChecksumLine(const QByteArray& text)
{
    return kChecksumHead + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().toUpper() + kChecksumTail;
}

bool RipLogChecksumOk(const QByteArray& log)
{
    QByteArray body = log;
    if (!body.endsWith('\n'))
        return false;
    body.chop(1);
    const qsizetype cut = body.lastIndexOf('\n') + 1;
    const QByteArray line = body.mid(cut);
    body.truncate(cut);
    return cut > 0 && line == RipLogChecksumLine(body);
}
