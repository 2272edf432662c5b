#include "platform/DiscExtras.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace {

// "MM:SS:FF" as sectors; nullopt for anything else.
std::optional<int> MsfSectors(const QString& text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    int v[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok || v[i] < 0 || parts[i].size() > 3)
            return std::nullopt;
    }
    if (v[1] > 59 || v[2] > 74)
        return std::nullopt;
    return (v[0] * 60 + v[1]) * 75 + v[2];
}

int Bcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }
uint8_t ToBcd(int n) { return uint8_t(((n / 10) % 10) << 4 | (n % 10)); }

void PutMsf(int sectors, uint8_t* at)
{
    at[0] = ToBcd(sectors / 4500);
    at[1] = ToBcd(sectors / 75 % 60);
    at[2] = ToBcd(sectors % 75);
}

// ISRC characters in the Q sub-channel: six bits, '0'-'9' as 0-9, 'A'-'Z' from 0x11.
int IsrcCode(QChar c)
{
    if (c >= u'0' && c <= u'9') return c.unicode() - '0';
    if (c >= u'A' && c <= u'Z') return c.unicode() - 'A' + 0x11;
    return 0;
}
QChar IsrcChar(int code)
{
    if (code <= 9) return QChar('0' + code);
    if (code >= 0x11 && code <= 0x2A) return QChar('A' + code - 0x11);
    return QChar();
}

} // namespace

bool ValidIsrc(const QString& isrc)
{
    static const QRegularExpression re(QStringLiteral("^[A-Z]{2}[A-Z0-9]{3}[0-9]{7}$"));
    return re.match(isrc).hasMatch();
}

bool ValidCatalog(const QString& mcn)
{
    static const QRegularExpression re(QStringLiteral("^[0-9]{13}$"));
    return re.match(mcn).hasMatch() && mcn != QStringLiteral("0000000000000");
}

TDiscExtras ParseCueExtras(const QByteArray& sheet, int tracks)
{
    TDiscExtras disc;
    disc.Tracks.resize(size_t(std::max(tracks, 0)));
    struct TIndices {
        std::optional<int> Gap, Start, PregapCommand;
        QList<std::pair<int, int>> More;   // number, position
    };
    std::vector<TIndices> found(disc.Tracks.size());
    int current = -1;
    for (QByteArray line : sheet.split('\n')) {
        QStringList words = QString::fromUtf8(line).simplified().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString key = words[0].toUpper();
        if (key == QLatin1String("TRACK")) {
            ++current;
            continue;
        }
        if (key == QLatin1String("CATALOG") && current < 0 && words.size() >= 2 && ValidCatalog(words[1])) {
            disc.Catalog = words[1];
            continue;
        }
        if (current < 0 || current >= int(disc.Tracks.size()))
            continue;
        TTrackExtras& t = disc.Tracks[size_t(current)];
        TIndices& ix = found[size_t(current)];
        if (key == QLatin1String("ISRC") && words.size() >= 2 && ValidIsrc(words[1].toUpper())) {
            t.Isrc = words[1].toUpper();
        } else if (key == QLatin1String("FLAGS")) {
            for (const QString& w : words.mid(1)) {
                t.PreEmphasis |= w.compare(QLatin1String("PRE"), Qt::CaseInsensitive) == 0;
                t.CopyPermitted |= w.compare(QLatin1String("DCP"), Qt::CaseInsensitive) == 0;
            }
        } else if (key == QLatin1String("PREGAP") && words.size() >= 2) {
            ix.PregapCommand = MsfSectors(words[1]);
        } else if (key == QLatin1String("INDEX") && words.size() >= 3) {
            bool ok = false;
            const int number = words[1].toInt(&ok);
            const std::optional<int> at = MsfSectors(words[2]);
            if (!ok || !at || number < 0 || number > 99)
                continue;
            if (number == 0) ix.Gap = at;
            else if (number == 1) ix.Start = at;
            else ix.More.append({number, *at});
        }
    }
    for (size_t i = 0; i < found.size(); ++i) {
        const TIndices& ix = found[i];
        TTrackExtras& t = disc.Tracks[i];
        if (ix.Gap && ix.Start && *ix.Gap < *ix.Start)
            t.Pregap = *ix.Start - *ix.Gap;
        else if (ix.PregapCommand)
            t.Pregap = *ix.PregapCommand;
        if (!ix.Start)
            continue;
        QList<std::pair<int, int>> more = ix.More;
        std::sort(more.begin(), more.end());
        for (const auto& [number, at] : more)
            if (at > *ix.Start && (t.Indices.empty() || *ix.Start + t.Indices.back() < at))
                t.Indices.push_back(at - *ix.Start);
    }
    return disc;
}

bool DecodeQ(const uint8_t* q, TQFrame& frame)
{
    frame = TQFrame();
    frame.Control = q[0] >> 4;
    frame.Adr = q[0] & 0x0F;
    if (frame.Adr == 1) {
        frame.Track = Bcd(q[1]);
        frame.Index = Bcd(q[2]);
        return true;
    }
    if (frame.Adr == 2) {
        for (int i = 0; i < 13; ++i) {
            const int nibble = (q[1 + i / 2] >> (i % 2 ? 0 : 4)) & 0x0F;
            if (nibble > 9) return false;
            frame.Text += QChar('0' + nibble);
        }
        return true;
    }
    if (frame.Adr == 3) {
        uint64_t bits = 0;
        for (int i = 1; i <= 8; ++i) bits = bits << 8 | q[i];
        for (int i = 0; i < 5; ++i) {
            const QChar c = IsrcChar(int(bits >> (58 - 6 * i)) & 0x3F);
            if (c.isNull()) return false;
            frame.Text += c;
        }
        for (int i = 0; i < 7; ++i) {
            const int digit = int(bits >> (28 - 4 * i)) & 0x0F;
            if (digit > 9) return false;
            frame.Text += QChar('0' + digit);
        }
        return true;
    }
    return false;
}

void EncodeQ(const TQFrame& frame, int relative, int absolute, uint8_t* q)
{
    std::fill(q, q + 12, uint8_t(0));
    q[0] = uint8_t(frame.Control << 4 | (frame.Adr & 0x0F));
    if (frame.Adr == 1) {
        q[1] = ToBcd(frame.Track);
        q[2] = ToBcd(frame.Index);
        PutMsf(relative, q + 3);
        PutMsf(absolute + 150, q + 7);
    } else if (frame.Adr == 2) {
        for (int i = 0; i < 13 && i < frame.Text.size(); ++i)
            q[1 + i / 2] |= uint8_t((frame.Text[i].unicode() - '0') << (i % 2 ? 0 : 4));
    } else if (frame.Adr == 3 && frame.Text.size() == 12) {
        uint64_t bits = 0;
        for (int i = 0; i < 5; ++i) bits |= uint64_t(IsrcCode(frame.Text[i])) << (58 - 6 * i);
        for (int i = 0; i < 7; ++i) bits |= uint64_t(frame.Text[5 + i].unicode() - '0') << (28 - 4 * i);
        for (int i = 8; i >= 1; --i, bits >>= 8) q[i] = uint8_t(bits);
    }
    if (frame.Adr != 1)
        q[9] = ToBcd((absolute + 150) % 75);   // the frame number only
}

namespace {

// A position frame at or near lba inside [lo, hi): the sector tried first, then its
// neighbours (a frame carrying a code or a failed read says nothing of the position).
bool PositionNear(TQChannel& channel, int lba, int lo, int hi, int& at, TQFrame& frame)
{
    for (int step = 0; step < 16; ++step) {
        const int candidate = lba + (step % 2 ? -(step + 1) / 2 : step / 2);
        if (candidate < lo || candidate >= hi)
            continue;
        if (channel.ReadQ(candidate, frame) && frame.Adr == 1) {
            at = candidate;
            return true;
        }
    }
    return false;
}

// The first sector of [lo, hi) whose position frame satisfies `reached` (hi when none),
// `reached` being false then true over the stretch. Where the sectors around the boundary
// cannot be read, the first one known to be past it.
template <typename F>
int FirstWhere(TQChannel& channel, int lo, int hi, F reached)
{
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        int at = mid;
        TQFrame frame;
        if (!PositionNear(channel, mid, lo, hi, at, frame))
            return hi;    // unreadable: the first sector known to be past the boundary
        if (reached(frame))
            hi = at;
        else
            lo = at + 1;
    }
    return lo;
}

} // namespace

TDiscExtras ScanQChannel(TQChannel& channel, const std::vector<int>& starts, bool readCodes)
{
    TDiscExtras disc;
    if (starts.size() < 2)
        return disc;
    const size_t tracks = starts.size() - 1;
    disc.Tracks.resize(tracks);
    std::vector<int> number(tracks, 0);
    for (size_t i = 0; i < tracks; ++i) {
        int at = starts[i];
        TQFrame frame;
        if (PositionNear(channel, starts[i], starts[i], starts[i + 1], at, frame)) {
            number[i] = frame.Track;
            disc.Tracks[i].PreEmphasis = (frame.Control & 0x01) != 0;
        }
    }
    // The gaps: where the previous track's numbers end.
    disc.Tracks[0].Pregap = std::max(starts[0], 0);
    for (size_t i = 1; i < tracks; ++i) {
        if (number[i] == 0)
            continue;
        const int first = FirstWhere(channel, starts[i - 1] + 1, starts[i],
                                     [&](const TQFrame& f) { return f.Track >= number[i]; });
        disc.Tracks[i].Pregap = starts[i] - first;
    }
    // The index points inside each track, before the next one's gap.
    for (size_t i = 0; i < tracks; ++i) {
        const int end = starts[i + 1] - (i + 1 < tracks ? disc.Tracks[i + 1].Pregap : 0);
        int at = end - 1;
        TQFrame last;
        if (number[i] == 0 || end <= starts[i] || !PositionNear(channel, end - 1, starts[i], end, at, last)
            || last.Track != number[i])
            continue;
        for (int k = 2; k <= last.Index && k <= 99; ++k) {
            const int lo = disc.Tracks[i].Indices.empty() ? starts[i] : starts[i] + disc.Tracks[i].Indices.back() + 1;
            const int found = FirstWhere(channel, lo, end, [&](const TQFrame& f) { return f.Index >= k; });
            if (found >= end)
                break;
            disc.Tracks[i].Indices.push_back(found - starts[i]);
        }
    }
    // The codes: a frame of each kind comes at least once in a hundred sectors; two
    // hundred are read, so that one unreadable frame does not lose the code.
    for (size_t i = 0; i < tracks && readCodes; ++i) {
        const int end = std::min(starts[i + 1], starts[i] + 200);
        for (int lba = starts[i]; lba < end && (disc.Tracks[i].Isrc.isEmpty() || (i == 0 && disc.Catalog.isEmpty())); ++lba) {
            TQFrame frame;
            if (!channel.ReadQ(lba, frame))
                continue;
            if (frame.Adr == 3 && ValidIsrc(frame.Text))
                disc.Tracks[i].Isrc = frame.Text;
            else if (frame.Adr == 2 && ValidCatalog(frame.Text))
                disc.Catalog = frame.Text;
        }
    }
    return disc;
}
