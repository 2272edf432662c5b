#include "metadata/TagReader.h"

#include "metadata/WavInfo.h"
#include "metadata/id3.h"
#include "platform/AvTags.h"
#include "settings/CDInfo.h"

#include <QFileInfo>

namespace {

enum class TField { Title, Artist, AlbumArtist, Album, Date, Genre, Track, TrackTotal, Disc, DiscTotal, Comment,
                    Isrc, Catalog, MbAlbum, MbDisc, TrackGain, TrackPeak, AlbumGain, AlbumPeak };

struct TKey {
    const char* Name;    // upper case
    TField Field;
};

// Vorbis comment names first, then the names FFmpeg gives other containers' fields.
constexpr TKey Keys[] = {
    {"TITLE", TField::Title}, {"ARTIST", TField::Artist}, {"AUTHOR", TField::Artist},
    {"ALBUMARTIST", TField::AlbumArtist}, {"ALBUM_ARTIST", TField::AlbumArtist},
    {"WM/ALBUMARTIST", TField::AlbumArtist}, {"ALBUM", TField::Album}, {"WM/ALBUMTITLE", TField::Album},
    {"DATE", TField::Date}, {"YEAR", TField::Date}, {"WM/YEAR", TField::Date}, {"GENRE", TField::Genre},
    {"WM/GENRE", TField::Genre}, {"TRACKNUMBER", TField::Track}, {"TRACK", TField::Track},
    {"WM/TRACKNUMBER", TField::Track}, {"TRACKTOTAL", TField::TrackTotal}, {"TOTALTRACKS", TField::TrackTotal},
    {"DISCNUMBER", TField::Disc}, {"DISC", TField::Disc}, {"DISCTOTAL", TField::DiscTotal},
    {"TOTALDISCS", TField::DiscTotal}, {"COMMENT", TField::Comment}, {"DESCRIPTION", TField::Comment},
    {"ISRC", TField::Isrc}, {"CATALOGNUMBER", TField::Catalog}, {"MUSICBRAINZ_ALBUMID", TField::MbAlbum},
    {"MUSICBRAINZ ALBUM ID", TField::MbAlbum}, {"MUSICBRAINZ_DISCID", TField::MbDisc},
    {"MUSICBRAINZ DISC ID", TField::MbDisc}, {"REPLAYGAIN_TRACK_GAIN", TField::TrackGain},
    {"REPLAYGAIN_TRACK_PEAK", TField::TrackPeak}, {"REPLAYGAIN_ALBUM_GAIN", TField::AlbumGain},
    {"REPLAYGAIN_ALBUM_PEAK", TField::AlbumPeak},
};

QString* TextOf(TTagRecord& tag, TField field)
{
    switch (field) {
    case TField::Title: return &tag.Title;
    case TField::Artist: return &tag.Artist;
    case TField::AlbumArtist: return &tag.AlbumArtist;
    case TField::Album: return &tag.Album;
    case TField::Date: return &tag.Date;
    case TField::Genre: return &tag.Genre;
    case TField::Comment: return &tag.Comment;
    case TField::Isrc: return &tag.Isrc;
    case TField::Catalog: return &tag.Catalog;
    case TField::MbAlbum: return &tag.MbAlbumId;
    case TField::MbDisc: return &tag.MbDiscId;
    default: return nullptr;
    }
}

void TakeNumber(const QString& value, int& number, int& total)
{
    int n = 0, t = 0;
    ParseNumberOfTotal(value, n, t);
    if (number == 0) number = n;
    if (total == 0) total = t;
}

void TakeDouble(double& field, double value)
{
    if (std::isnan(field)) field = value;
}

// What ID3v1 has that the record lacks.
bool FillFromId3v1(const QString& path, TTagRecord& tag)
{
    Tid3tag id3;
    if (Tid3tag::Failed(id3.ReadTag(path)))
        return false;
    const auto fill = [](QString& field, const QString& value) {
        if (field.isEmpty()) field = CleanReadText(value.trimmed());
    };
    fill(tag.Title, id3.Title());
    fill(tag.Artist, id3.Artist());
    fill(tag.Album, id3.Album());
    fill(tag.Date, id3.Year());
    fill(tag.Comment, id3.Comment());
    const int genre = Id3ToGenre(id3.Genre()) - 1;
    if (genre >= 0 && genre < GENRE_COUNT)
        fill(tag.Genre, QString::fromLatin1(GenreNames[size_t(genre)]));
    if (tag.Track == 0 && id3.HasTrack())
        tag.Track = id3.Track();
    return true;
}

QString MegaBytes(qsizetype bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
}

} // namespace

void TagRecordFromPairs(const TCommentList& pairs, TTagRecord& tag)
{
    for (const auto& [name, raw] : pairs) {
        const QString key = name.toUpper();
        const QString value = CleanReadText(raw).trimmed();
        if (value.isEmpty())
            continue;
        for (const TKey& k : Keys) {
            if (key != QLatin1String(k.Name))
                continue;
            if (QString* text = TextOf(tag, k.Field)) {
                if (text->isEmpty()) *text = value;
            } else if (k.Field == TField::Track) {
                TakeNumber(value, tag.Track, tag.TrackTotal);
            } else if (k.Field == TField::Disc) {
                TakeNumber(value, tag.Disc, tag.DiscTotal);
            } else if (k.Field == TField::TrackTotal || k.Field == TField::DiscTotal) {
                int& total = k.Field == TField::TrackTotal ? tag.TrackTotal : tag.DiscTotal;
                int count = 0, unused = 0;
                ParseNumberOfTotal(value, count, unused);
                if (total == 0) total = count;
            } else if (k.Field == TField::TrackGain || k.Field == TField::AlbumGain) {
                TakeDouble(k.Field == TField::TrackGain ? tag.TrackGain : tag.AlbumGain, ParseReplayGain(value));
            } else {
                TakeDouble(k.Field == TField::TrackPeak ? tag.TrackPeak : tag.AlbumPeak, ParseReplayPeak(value));
            }
            break;
        }
    }
}

bool ReadFileTags(const QString& path, TTagRecord& tag, QString* message)
{
    QString error;
    bool found = false;
    const QString suffix = QFileInfo(path).suffix().toLower();
    TCommentList pairs;
    if (suffix == QLatin1String("mp3")) {
        found = ReadId3v2Tag(path, tag, &error);
        found = FillFromId3v1(path, tag) || found;
        if (!found)
            error = QFileInfo(path).fileName() + QStringLiteral(": no ID3 tag");
    } else if (suffix == QLatin1String("flac") || suffix == QLatin1String("ogg") || suffix == QLatin1String("opus")) {
        const TXiphFile kind = suffix == QLatin1String("ogg")    ? TXiphFile::OggVorbis
                               : suffix == QLatin1String("opus") ? TXiphFile::OggOpus
                                                                 : TXiphFile::Flac;
        found = ReadXiphComments(path, kind, pairs, tag.Cover, tag.CoverMime, &error);
    } else if (suffix == QLatin1String("wav")) {
        found = ReadWavInfo(path, tag, &error);
    } else {
        found = ReadAvMetadata(path, pairs, tag.Cover, tag.CoverMime, &error);
    }
    TagRecordFromPairs(pairs, tag);
    QString note;
    if (tag.Cover.size() > MaxCoverBytes) {
        note = QFileInfo(path).fileName() + QStringLiteral(": the cover (%1) is larger than %2 and is left out")
                                                .arg(MegaBytes(tag.Cover.size()), MegaBytes(MaxCoverBytes));
        tag.Cover.clear();
        tag.CoverMime.clear();
    }
    if (!tag.HasTrackGain())
        tag.TrackGain = tag.TrackPeak = NAN;
    if (!tag.HasAlbumGain())
        tag.AlbumGain = tag.AlbumPeak = NAN;
    if (message)
        *message = found ? note : error;
    return found;
}
