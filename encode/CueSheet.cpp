#include "encode/CueSheet.h"
#include "platform/CDImageMedia.h"

#include "settings/CDInfo.h"

#include <QStringList>

namespace {

constexpr int MaxTextBytes = 1000;   // libcdio reads lines up to 4 KiB

QString Msf(int64_t frames)
{
    return QStringLiteral("%1:%2:%3")
        .arg(frames / (75 * 60), 2, 10, QLatin1Char('0'))
        .arg(frames / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(frames % 75, 2, 10, QLatin1Char('0'));
}

int64_t MsfFrames(const QString& text, bool& ok)
{
    const QStringList parts = text.split(u':');
    ok = parts.size() == 3;
    int64_t v[3] = {};
    for (int i = 0; ok && i < 3; ++i) {
        v[i] = parts[i].toLongLong(&ok);
        ok = ok && v[i] >= 0 && parts[i].size() <= 3;
    }
    ok = ok && v[1] < 60 && v[2] < 75;
    return ok ? (v[0] * 60 + v[1]) * 75 + v[2] : 0;
}

QString Quoted(const QString& text) { return u'"' + CueText(text) + u'"'; }


} // namespace

QString CueText(const QString& text)
{
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        QString c = pair ? text.mid(i, 2) : QString(text[i]);
        if (pair) ++i;
        else if (text[i].isSurrogate()) c = QChar(0xFFFD);
        else if (text[i].unicode() < 0x20 || text[i].unicode() == 0x7F) c = QStringLiteral(" ");
        else if (text[i] == u'"') c = QStringLiteral("'");
        const int size = int(c.toUtf8().size());
        if (bytes + size > MaxTextBytes) break;
        bytes += size;
        out += c;
    }
    // A reader trims what surrounds a word.
    return out.trimmed();
}

QByteArray WriteCueSheet(const TCueDisc& disc)
{
    QStringList lines;
    if (!disc.Genre.isEmpty()) lines << QStringLiteral("REM GENRE ") + Quoted(disc.Genre);
    if (!disc.Date.isEmpty()) lines << QStringLiteral("REM DATE ") + Quoted(disc.Date);
    if (!disc.DiscId.isEmpty()) lines << QStringLiteral("REM DISCID ") + CueText(disc.DiscId).remove(u' ');
    if (!disc.Comment.isEmpty()) lines << QStringLiteral("REM COMMENT ") + Quoted(disc.Comment);
    if (ValidCatalog(disc.Catalog)) lines << QStringLiteral("CATALOG ") + disc.Catalog;
    if (!disc.Performer.isEmpty()) lines << QStringLiteral("PERFORMER ") + Quoted(disc.Performer);
    if (!disc.Title.isEmpty()) lines << QStringLiteral("TITLE ") + Quoted(disc.Title);
    QString file;
    const auto fileLine = [&](const QString& name) {
        if (name == file) return;
        file = name;
        lines << QStringLiteral("FILE ") + Quoted(name) + QStringLiteral(" WAVE");
    };
    for (const TCueTrack& t : disc.Tracks) {
        if (t.Indices.empty()) continue;
        // A track starting its file names the file first.
        if (t.Indices.front().File != file && (t.Indices.front().Number == 1 || file.isEmpty()))
            fileLine(t.Indices.front().File);
        lines << QStringLiteral("  TRACK %1 AUDIO").arg(t.Number, 2, 10, QLatin1Char('0'));
        if (!t.Title.isEmpty()) lines << QStringLiteral("    TITLE ") + Quoted(t.Title);
        if (!t.Performer.isEmpty()) lines << QStringLiteral("    PERFORMER ") + Quoted(t.Performer);
        if (ValidIsrc(t.Isrc)) lines << QStringLiteral("    ISRC ") + t.Isrc;
        if (t.PreEmphasis || t.CopyPermitted)
            lines << QStringLiteral("    FLAGS") + (t.CopyPermitted ? QStringLiteral(" DCP") : QString())
                         + (t.PreEmphasis ? QStringLiteral(" PRE") : QString());
        if (t.Pregap > 0) lines << QStringLiteral("    PREGAP ") + Msf(t.Pregap);
        for (const TCueIndex& ix : t.Indices) {
            fileLine(ix.File);
            lines << QStringLiteral("    INDEX %1 ").arg(ix.Number, 2, 10, QLatin1Char('0')) + Msf(ix.Frames);
        }
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

TCueDisc ReadCueSheet(const QByteArray& text)
{
    TCueDisc disc;
    QString file;
    for (const QByteArray& raw : text.split('\n')) {
        QString rest = QString::fromUtf8(raw);
        rest.replace(u'\t', u' ');
        rest.remove(u'\r');
        const QString key = TakeCueWord(rest).toUpper();
        TCueTrack* track = disc.Tracks.empty() ? nullptr : &disc.Tracks.back();
        if (key == QLatin1String("REM")) {
            const QString what = TakeCueWord(rest).toUpper();
            const QString value = TakeCueWord(rest);
            if (what == QLatin1String("GENRE")) disc.Genre = value;
            else if (what == QLatin1String("DATE")) disc.Date = value;
            else if (what == QLatin1String("DISCID")) disc.DiscId = value;
            else if (what == QLatin1String("COMMENT")) disc.Comment = value;
        } else if (key == QLatin1String("CATALOG")) {
            disc.Catalog = TakeCueWord(rest);
        } else if (key == QLatin1String("FILE")) {
            file = TakeCueWord(rest);
        } else if (key == QLatin1String("TRACK")) {
            TCueTrack t;
            t.Number = TakeCueWord(rest).toInt();
            disc.Tracks.push_back(t);
        } else if (key == QLatin1String("TITLE") || key == QLatin1String("PERFORMER")) {
            const QString value = TakeCueWord(rest);
            const bool title = key == QLatin1String("TITLE");
            if (track) (title ? track->Title : track->Performer) = value;
            else (title ? disc.Title : disc.Performer) = value;
        } else if (key == QLatin1String("ISRC") && track) {
            track->Isrc = TakeCueWord(rest);
        } else if (key == QLatin1String("FLAGS") && track) {
            for (QString w = TakeCueWord(rest); !w.isEmpty(); w = TakeCueWord(rest)) {
                track->PreEmphasis |= w.toUpper() == QLatin1String("PRE");
                track->CopyPermitted |= w.toUpper() == QLatin1String("DCP");
            }
        } else if (key == QLatin1String("PREGAP") && track) {
            bool ok = false;
            const int64_t frames = MsfFrames(TakeCueWord(rest), ok);
            if (ok) track->Pregap = frames;
        } else if (key == QLatin1String("INDEX") && track) {
            bool numberOk = false, ok = false;
            const int number = TakeCueWord(rest).toInt(&numberOk);
            const int64_t frames = MsfFrames(TakeCueWord(rest), ok);
            if (numberOk && ok) track->Indices.push_back({number, file, frames});
        }
    }
    return disc;
}

TCueDisc RipCueSheet(const std::vector<TCuePiece>& pieces, const std::vector<int64_t>& starts, const TDiscExtras& extras,
                     const TCDInfo& info, const QString& discId, const QStringList& performers)
{
    TCueDisc disc;
    disc.Title = info.Album;
    disc.Performer = info.Artist;
    if (info.Genre >= 0 && info.Genre < GENRE_COUNT) disc.Genre = QString::fromLatin1(GenreNames[size_t(info.Genre)]);
    disc.Date = info.Year;
    disc.DiscId = discId;
    disc.Comment = info.Comment;
    disc.Catalog = extras.Catalog;
    const int tracks = int(starts.size()) - 1;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const TCuePiece& p = pieces[i];
        if (p.Track < 1 || p.Track > tracks) continue;
        const size_t t = size_t(p.Track - 1);
        const TTrackExtras x = t < extras.Tracks.size() ? extras.Tracks[t] : TTrackExtras();
        TCueTrack track;
        track.Number = p.Track;
        track.Title = p.Track <= MAX_TITLES ? info.Titles[size_t(p.Track)] : QString();
        track.Performer = performers.value(p.Track - 1);
        if (track.Performer.isEmpty()) track.Performer = info.Artist;
        track.Isrc = x.Isrc;
        track.PreEmphasis = x.PreEmphasis;
        track.CopyPermitted = x.CopyPermitted;
        if (x.Pregap > 0) {
            if (i > 0 && pieces[i - 1].Track == p.Track - 1) {
                // The gap was read with the track before it (track 1's: with the hidden
                // track, from the disc's start): the end of that track's file.
                const TCuePiece& before = pieces[i - 1];
                const int64_t previous = t > 0 ? starts[t - 1] : 0;
                track.Indices.push_back({0, before.File, before.At + (starts[t] - previous) - x.Pregap});
            } else if (t == 0 && p.At >= x.Pregap) {
                track.Indices.push_back({0, p.File, p.At - x.Pregap});   // the disc's start is in the file
            } else if (t == 0) {
                track.Pregap = x.Pregap;
            }
        }
        track.Indices.push_back({1, p.File, p.At});
        for (size_t k = 0; k < x.Indices.size(); ++k)
            track.Indices.push_back({int(k) + 2, p.File, p.At + x.Indices[k]});
        disc.Tracks.push_back(track);
    }
    return disc;
}
