// Command line and cue sheet of make-test-disc.
#include "DiscSpec.h"
#include "DemoMusic.h"

#include <algorithm>

namespace {

constexpr int kMaxTracks = 99;
constexpr int kMaxSectors = 100 * 60 * 75 - 150;   // everything must fit below 100 minutes

bool ParseCount(const QString& text, int min, int max, int& value)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < min || v > max)
        return false;
    value = int(v);
    return true;
}

// A cue sheet has no escapes: quotes and line breaks cannot be stored.
bool CueSafe(const QString& text)
{
    return !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
           !text.contains(QLatin1Char('\r'));
}

// "N:TEXT" for --title and --performer.
bool ParseTrackText(const QString& value, int& track, QString& text)
{
    const int colon = value.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !ParseCount(value.left(colon), 1, kMaxTracks, track))
        return false;
    text = value.mid(colon + 1);
    return true;
}

QString Msf(int sectors)
{
    return QString::asprintf("%02d:%02d:%02d", sectors / 4500, (sectors / 75) % 60, sectors % 75);
}

} // namespace

QString UsageText()
{
    return QStringLiteral(
        "Usage: make-test-disc --out DIR/NAME [options]\n"
        "Writes the disc image DIR/NAME.bin and its cue sheet DIR/NAME.cue.\n"
        "\n"
        "  --out DIR/NAME         where to write (the folder must exist)\n"
        "  --track audio:SECTORS  add an audio track of SECTORS sectors (75 a second)\n"
        "  --track data:SECTORS   add a MODE1/2352 data track\n"
        "  --pregap SECTORS       silence before track 1 (INDEX 00), default 0\n"
        "  --hidden-audio         the --pregap sectors hold audio (the pattern of track 0)\n"
        "  --gap N:SECTORS        the first SECTORS of track N are its gap (INDEX 00)\n"
        "  --index N:SECTORS      a further index point of track N, SECTORS after INDEX 01\n"
        "  --isrc N:CODE          ISRC of track N\n"
        "  --catalog CODE         catalogue number (13 digits) of the disc\n"
        "  --pre N                track N is pre-emphasised (FLAGS PRE)\n"
        "  --dcp N                track N may be copied (FLAGS DCP)\n"
        "  --cdtext               write CD-Text, with default texts where none is given\n"
        "  --disc-title TEXT      CD-Text title of the disc\n"
        "  --disc-performer TEXT  CD-Text performer of the disc\n"
        "  --title N:TEXT         CD-Text title of track N\n"
        "  --performer N:TEXT     CD-Text performer of track N\n"
        "  --demo                 the demo disc: five pieces of music with CD-Text\n"
        "  --help                 show this text\n"
        "\n"
        "Audio tracks of test discs hold a pattern that tells track and position of every\n"
        "frame: left = frame index (low 16 bits), right = track number * 256 + bits 16-23\n"
        "of the frame index. The same arguments always give the same bytes.\n"
        "Exit status: 0 done, 1 the image could not be written, 2 bad arguments.\n");
}

bool ParseArguments(const QStringList& args, TDiscSpec& desc, QString& error, bool& help)
{
    help = false;
    struct TText { int Track; QString Text; bool Title; };
    std::vector<TText> texts;
    struct TMark { QString Kind; int Track; QString Value; };
    std::vector<TMark> marks;
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasValue = false;
        const int eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = args[++i];
            return true;
        };
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            help = true;
            return true;
        } else if (name == QLatin1String("--cdtext")) {
            desc.CdText = true;
        } else if (name == QLatin1String("--demo")) {
            desc.Demo = true;
        } else if (name == QLatin1String("--hidden-audio")) {
            desc.HiddenAudio = true;
        } else if (name == QLatin1String("--catalog")) {
            if (!takeValue())
                return false;
            desc.Catalog = value;
        } else if (name == QLatin1String("--gap") || name == QLatin1String("--index") || name == QLatin1String("--isrc")
                   || name == QLatin1String("--pre") || name == QLatin1String("--dcp")) {
            if (!takeValue())
                return false;
            TMark m{name, 0, QString()};
            const bool flag = name == QLatin1String("--pre") || name == QLatin1String("--dcp");
            if (flag ? !ParseCount(value, 1, kMaxTracks, m.Track) : !ParseTrackText(value, m.Track, m.Value)) {
                error = QStringLiteral("bad %1 \"%2\"").arg(name, value);
                return false;
            }
            marks.push_back(m);
        } else if (name == QLatin1String("--out")) {
            if (!takeValue())
                return false;
            desc.OutBase = value;
        } else if (name == QLatin1String("--track")) {
            if (!takeValue())
                return false;
            const QString kind = value.section(QLatin1Char(':'), 0, 0);
            TTrackSpec t;
            if ((kind != QLatin1String("audio") && kind != QLatin1String("data")) || !value.contains(QLatin1Char(':')) ||
                !ParseCount(value.section(QLatin1Char(':'), 1), 1, kMaxSectors, t.Sectors)) {
                error = QStringLiteral("bad --track \"%1\": expected audio:SECTORS or data:SECTORS with SECTORS >= 1").arg(value);
                return false;
            }
            t.Audio = kind == QLatin1String("audio");
            desc.Tracks.push_back(t);
        } else if (name == QLatin1String("--pregap")) {
            if (!takeValue())
                return false;
            if (!ParseCount(value, 0, kMaxSectors, desc.Pregap)) {
                error = QStringLiteral("bad --pregap \"%1\": expected a number of sectors").arg(value);
                return false;
            }
        } else if (name == QLatin1String("--disc-title") || name == QLatin1String("--disc-performer")) {
            if (!takeValue())
                return false;
            (name == QLatin1String("--disc-title") ? desc.DiscTitle : desc.DiscPerformer) = value;
            desc.CdText = true;
        } else if (name == QLatin1String("--title") || name == QLatin1String("--performer")) {
            if (!takeValue())
                return false;
            TText t;
            t.Title = name == QLatin1String("--title");
            if (!ParseTrackText(value, t.Track, t.Text)) {
                error = QStringLiteral("bad %1 \"%2\": expected TRACK:TEXT").arg(name, value);
                return false;
            }
            texts.push_back(t);
            desc.CdText = true;
        } else {
            error = QStringLiteral("unknown argument \"%1\"").arg(args[i]);
            return false;
        }
    }

    if (desc.OutBase.isEmpty()) {
        error = QStringLiteral("--out DIR/NAME is required");
        return false;
    }
    if (desc.Demo) {
        if (!desc.Tracks.empty()) {
            error = QStringLiteral("--demo makes its own tracks; --track cannot be used with it");
            return false;
        }
        desc.CdText = true;
        if (desc.DiscTitle.isEmpty())
            desc.DiscTitle = QStringLiteral("VarnelCD Demo");
        if (desc.DiscPerformer.isEmpty())
            desc.DiscPerformer = QStringLiteral("VarnelCD");
        for (int t = 1; t <= DemoTrackCount(); ++t) {
            TTrackSpec track;
            track.Sectors = DemoTrackSectors(t);
            track.Title = QString::fromUtf8(DemoTrackTitle(t));
            desc.Tracks.push_back(track);
        }
    }
    if (desc.Tracks.empty()) {
        error = QStringLiteral("no tracks: give at least one --track (or --demo)");
        return false;
    }
    if (int(desc.Tracks.size()) > kMaxTracks) {
        error = QStringLiteral("at most %1 tracks").arg(kMaxTracks);
        return false;
    }
    qlonglong total = desc.Pregap;
    for (const TTrackSpec& t : desc.Tracks)
        total += t.Sectors;
    if (total > kMaxSectors) {
        error = QStringLiteral("the tracks are longer than a CD can hold");
        return false;
    }
    for (const TMark& m : marks) {
        if (m.Track > int(desc.Tracks.size())) {
            error = QStringLiteral("%1 for track %2, but the disc has %3 tracks").arg(m.Kind).arg(m.Track).arg(desc.Tracks.size());
            return false;
        }
        TTrackSpec& t = desc.Tracks[size_t(m.Track - 1)];
        int sectors = 0;
        if ((m.Kind == QLatin1String("--gap") || m.Kind == QLatin1String("--index"))
            && !ParseCount(m.Value, 1, t.Sectors - 1, sectors)) {
            error = QStringLiteral("bad %1 \"%2\": a number of sectors inside track %3").arg(m.Kind, m.Value).arg(m.Track);
            return false;
        }
        if (m.Kind == QLatin1String("--gap")) t.Gap = sectors;
        else if (m.Kind == QLatin1String("--index")) t.Indices.push_back(sectors);
        else if (m.Kind == QLatin1String("--isrc")) t.Isrc = m.Value;
        else if (m.Kind == QLatin1String("--pre")) t.PreEmphasis = true;
        else t.CopyPermitted = true;
    }
    for (const TText& t : texts) {
        if (t.Track > int(desc.Tracks.size())) {
            error = QStringLiteral("CD-Text for track %1, but the disc has %2 tracks").arg(t.Track).arg(desc.Tracks.size());
            return false;
        }
        (t.Title ? desc.Tracks[t.Track - 1].Title : desc.Tracks[t.Track - 1].Performer) = t.Text;
    }
    if (desc.CdText) {
        if (desc.DiscTitle.isEmpty())
            desc.DiscTitle = QStringLiteral("Test Disc");
        if (desc.DiscPerformer.isEmpty())
            desc.DiscPerformer = QStringLiteral("make-test-disc");
        for (size_t i = 0; i < desc.Tracks.size(); ++i) {
            if (desc.Tracks[i].Title.isEmpty())
                desc.Tracks[i].Title = QString::asprintf("Track %02d", int(i + 1));
        }
    }
    QStringList all{desc.DiscTitle, desc.DiscPerformer};
    for (const TTrackSpec& t : desc.Tracks)
        all << t.Title << t.Performer;
    for (const QString& s : all) {
        if (!CueSafe(s)) {
            error = QStringLiteral("CD-Text \"%1\" contains a quote or a line break, which a cue sheet cannot hold").arg(s);
            return false;
        }
    }
    return true;
}

QByteArray BuildCueSheet(const TDiscSpec& desc, const QString& binName)
{
    QString cue;
    cue += QStringLiteral("REM COMMENT \"make-test-disc\"\n");
    if (desc.CdText) {
        cue += QStringLiteral("PERFORMER \"%1\"\n").arg(desc.DiscPerformer);
        cue += QStringLiteral("TITLE \"%1\"\n").arg(desc.DiscTitle);
    }
    if (!desc.Catalog.isEmpty())
        cue += QStringLiteral("CATALOG %1\n").arg(desc.Catalog);
    cue += QStringLiteral("FILE \"%1\" BINARY\n").arg(binName);
    int pos = desc.Pregap;
    for (size_t i = 0; i < desc.Tracks.size(); ++i) {
        const TTrackSpec& t = desc.Tracks[i];
        cue += QString::asprintf("  TRACK %02d %s\n", int(i + 1), t.Audio ? "AUDIO" : "MODE1/2352");
        if (t.PreEmphasis || t.CopyPermitted)
            cue += QStringLiteral("    FLAGS%1%2\n").arg(t.CopyPermitted ? " DCP" : "", t.PreEmphasis ? " PRE" : "");
        if (!t.Isrc.isEmpty())
            cue += QStringLiteral("    ISRC %1\n").arg(t.Isrc);
        if (desc.CdText && !t.Title.isEmpty())
            cue += QStringLiteral("    TITLE \"%1\"\n").arg(t.Title);
        if (desc.CdText && !t.Performer.isEmpty())
            cue += QStringLiteral("    PERFORMER \"%1\"\n").arg(t.Performer);
        if (i == 0 && desc.Pregap > 0)
            cue += QStringLiteral("    INDEX 00 00:00:00\n");
        if (t.Gap > 0)
            cue += QStringLiteral("    INDEX 00 %1\n").arg(Msf(pos));
        cue += QStringLiteral("    INDEX 01 %1\n").arg(Msf(pos + t.Gap));
        std::vector<int> indices = t.Indices;
        std::sort(indices.begin(), indices.end());
        for (size_t k = 0; k < indices.size(); ++k)
            if (pos + t.Gap + indices[k] < pos + t.Sectors)
                cue += QStringLiteral("    INDEX %1 %2\n").arg(k + 2, 2, 10, QLatin1Char('0')).arg(Msf(pos + t.Gap + indices[k]));
        pos += t.Sectors;
    }
    return cue.toUtf8();
}
